// Fuzz entry for the form-description parser. Any input must either parse or raise
// EReadError whose message names a line; anything else (a crash, another exception, a
// sanitizer report) is a finding. The unit build runs the same entry over the corpus.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "vcl/DfmParser.h"
#include "vcl/SysUtils.h"

namespace {

// Lines in the tree never run backwards and never point past the text.
void CheckLines(const vcl::dfm::Object& obj, int last_line) {
  int line = obj.line;
  if (line < 1 || line > last_line) std::abort();
  for (const auto& prop : obj.properties) {
    if (prop.line < line || prop.line > last_line) std::abort();
    line = prop.line;
  }
  for (const auto& child : obj.children) {
    if (child.line < line) std::abort();
    CheckLines(child, last_line);
    line = child.line;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  int last_line = 1;
  for (char c : text) last_line += c == '\n';
  try {
    const vcl::dfm::Object root = vcl::dfm::ParseForm(text);
    CheckLines(root, last_line);
  } catch (const vcl::EReadError& e) {
    if (e.Message.rfind("Line ", 0) != 0) std::abort();
  }
  return 0;
}
