// The class library's exceptions: one base class, so one catch covers everything.
#pragma once

#include <stdexcept>
#include <string>

namespace vcl {

class Exception : public std::exception {
 public:
  // Address is the code address where the exception was made (the start-up error box shows it
  // relative to the module).
  explicit Exception(std::string message)
      : Message(std::move(message)), Address(__builtin_return_address(0)) {}
  const char* what() const noexcept override { return Message.c_str(); }
  // The class name shown in the start-up error box ("Exception %s in module ...").
  virtual const char* ClassName() const { return "Exception"; }
  std::string Message;
  const void* Address = nullptr;
};

#define VCL_EXCEPTION_CLASS(Name, Base)                                  \
  class Name : public Base {                                             \
   public:                                                                \
    using Base::Base;                                                    \
    const char* ClassName() const override { return #Name; }             \
  }

// The silent abort: the message loop's guard ignores it.
VCL_EXCEPTION_CLASS(EAbort, Exception);
VCL_EXCEPTION_CLASS(EInvalidGraphic, Exception);
VCL_EXCEPTION_CLASS(EReadError, Exception);
VCL_EXCEPTION_CLASS(EClassNotFound, Exception);
VCL_EXCEPTION_CLASS(EOutOfResources, Exception);

}  // namespace vcl
