// Components with ownership, the class registry that the form-description reader creates
// components from, per-class property tables, and the embedded resources.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "vcl/DfmParser.h"
#include "vcl/SysUtils.h"

namespace vcl {

class TObject {
 public:
  virtual ~TObject() = default;
  // The registered class name ("TImage", "TForm1").
  virtual const char* ClassName() const { return "TObject"; }
};

#define VCL_CLASS_NAME(Name) \
  const char* ClassName() const override { return #Name; }

using TNotifyEvent = std::function<void(TObject* Sender)>;

// A component is owned by another and destroyed with it: an owner destroys what it owns in the
// reverse order of creation, and a component destroyed on its own leaves its owner's list.
class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;
  VCL_CLASS_NAME(TComponent)

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int i) const { return components_[static_cast<size_t>(i)]; }
  TComponent* FindComponent(std::string_view name) const;
  std::string Name;

  // Called by the reader once every property of the whole form has been set.
  virtual void Loaded() {}
  bool Loading = false;

 protected:
  // Destroys what this component owns, last created first. Derived destructors call it first,
  // so owned components go while the owner is still whole.
  void DestroyComponents();

 private:
  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
};

// ---- the class registry and property tables ----

class TReadContext;
using TPropertySetter = std::function<void(TObject* obj, const dfm::Value& value, TReadContext& ctx)>;
using TComponentFactory = std::function<TComponent*(TComponent* owner)>;

struct CaseLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

struct TClassInfo {
  std::string Name;
  const TClassInfo* Parent = nullptr;
  TComponentFactory Create;  // empty for classes that the reader may not create
  std::map<std::string, TPropertySetter, CaseLess> Properties;

  // The setter for a (dotted) property name, looked up in this class and its ancestors.
  const TPropertySetter* FindProperty(const std::string& name) const;
  TClassInfo& Property(const std::string& name, TPropertySetter setter) {
    Properties[name] = std::move(setter);
    return *this;
  }
};

// Registers (or returns the already registered) class; the parent must be registered first.
TClassInfo& RegisterClass(const std::string& name, const std::string& parent, TComponentFactory factory);
const TClassInfo* FindClass(std::string_view name);
// Registers the class library's own classes; runs once, before any look-up.
void RegisterStandardClasses();

// Static registrars of units: `static vcl::TRegistrar reg([] { ... });`
struct TRegistrar {
  explicit TRegistrar(void (*fn)());
};
// Runs every unit's registration once (the units' initialisation).
void RunRegistrars();

// Typed setters for the tables.
std::int64_t ReadInt(const dfm::Value& v, const std::string& prop);
bool ReadBool(const dfm::Value& v, const std::string& prop);
std::string ReadString(const dfm::Value& v, const std::string& prop);
template <class T>
TPropertySetter IntProp(void (T::*set)(int)) {
  return [set](TObject* o, const dfm::Value& v, TReadContext&) {
    (dynamic_cast<T&>(*o).*set)(static_cast<int>(ReadInt(v, "")));
  };
}
template <class T>
TPropertySetter IntField(int T::*field) {
  return [field](TObject* o, const dfm::Value& v, TReadContext&) { dynamic_cast<T&>(*o).*field = static_cast<int>(ReadInt(v, "")); };
}
template <class T>
TPropertySetter BoolProp(void (T::*set)(bool)) {
  return [set](TObject* o, const dfm::Value& v, TReadContext&) { (dynamic_cast<T&>(*o).*set)(ReadBool(v, "")); };
}
template <class T>
TPropertySetter BoolField(bool T::*field) {
  return [field](TObject* o, const dfm::Value& v, TReadContext&) { dynamic_cast<T&>(*o).*field = ReadBool(v, ""); };
}
// Identifiers of an enumeration, matched case-insensitively.
template <class T, class E>
TPropertySetter EnumField(E T::*field, std::vector<std::pair<const char*, E>> names) {
  return [field, names](TObject* o, const dfm::Value& v, TReadContext&) {
    for (auto& [n, e] : names)
      if (v.kind == dfm::Value::Kind::Ident && v.IsIdent(n)) {
        dynamic_cast<T&>(*o).*field = e;
        return;
      }
    throw EReadError("Invalid property value");
  };
}
// Accepted and ignored: settings that have no effect in this program.
TPropertySetter IgnoredProp();

// ---- resources ----

// Embedded resources by name, like a module's resource section: the form descriptions under
// their form class names ("TFORM1"), the icon under "MAINICON".
void RegisterResource(const std::string& name, const uint8_t* begin, const uint8_t* end);
bool FindResource(const std::string& name, const uint8_t** data, size_t* size);
// Replaces a resource's bytes with a copy of these (tests).
void ReplaceResource(const std::string& name, std::string bytes);

}  // namespace vcl
