// Rewrites binary properties (`Name.Data = { ...hex... }`) in a text form description, leaving every
// other byte alone, so that a hand-edited form keeps its layout, comments and line endings.
#include <algorithm>
#include <stdexcept>

#include "assets.h"

namespace assets {
namespace {

constexpr size_t kHexPerLine = 64;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// If the line [begin, end) is `<indent><property> = {`, returns the offset just past the '{'.
std::optional<size_t> MatchPropertyLine(const std::string& text, size_t begin, size_t end,
                                        const std::string& property) {
  size_t i = begin;
  while (i < end && IsBlank(text[i])) ++i;
  if (text.compare(i, property.size(), property) != 0) return std::nullopt;
  i += property.size();
  while (i < end && IsBlank(text[i])) ++i;
  if (i >= end || text[i] != '=') return std::nullopt;
  ++i;
  while (i < end && IsBlank(text[i])) ++i;
  if (i >= end || text[i] != '{') return std::nullopt;
  return i + 1;
}

std::string HexLines(const Bytes& data, const std::string& indent, const std::string& eol) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < data.size(); ++i) {
    if (i % (kHexPerLine / 2) == 0) out += eol + indent;
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 15];
  }
  return out;
}

}  // namespace

std::string UpdateDfm(const std::string& text, const std::vector<DfmBlock>& blocks) {
  std::string out;
  std::vector<bool> seen(blocks.size(), false);
  size_t pos = 0;
  while (pos < text.size()) {
    size_t line_end = text.find('\n', pos);
    line_end = line_end == std::string::npos ? text.size() : line_end;
    const size_t content_end = line_end > pos && text[line_end - 1] == '\r' ? line_end - 1 : line_end;

    std::optional<size_t> open;
    size_t which = 0;
    for (; which < blocks.size(); ++which)
      if ((open = MatchPropertyLine(text, pos, content_end, blocks[which].property))) break;
    if (!open) {
      out.append(text, pos, line_end - pos);
      pos = line_end;
      if (pos < text.size()) out += text[pos++];
      continue;
    }

    const size_t close = text.find('}', *open);
    if (close == std::string::npos)
      throw std::runtime_error(blocks[which].property + ": no closing '}'");
    seen[which] = true;

    const std::string eol = content_end < line_end ? "\r\n" : "\n";
    size_t indent_len = 0;
    while (IsBlank(text[pos + indent_len])) ++indent_len;
    const std::string indent = text.substr(pos, indent_len) + "  ";

    // Keep the brace where the file had it: after the last hex digits (as the IDE writes it), or on
    // a line of its own with that line's indentation.
    size_t brace_line = text.rfind('\n', close);
    brace_line = brace_line == std::string::npos ? 0 : brace_line + 1;
    bool own_line = brace_line > *open;
    for (size_t i = brace_line; own_line && i < close; ++i) own_line = IsBlank(text[i]);

    out.append(text, pos, *open - pos);
    out += HexLines(blocks[which].data, indent, eol);
    if (own_line) {
      out += eol;
      out.append(text, brace_line, close - brace_line);
    }
    pos = close;  // the brace and whatever follows it are copied with the next line
  }
  for (size_t i = 0; i < blocks.size(); ++i)
    if (!seen[i]) throw std::runtime_error("no property " + blocks[i].property + " = { ... } found");
  return out;
}

Bytes PictureData(const Bytes& png) {
  static constexpr char kClass[] = "TPNGObject";
  Bytes out(1 + sizeof kClass - 1 + png.size());
  out[0] = static_cast<uint8_t>(sizeof kClass - 1);
  std::copy(kClass, kClass + sizeof kClass - 1, out.begin() + 1);
  std::copy(png.begin(), png.end(), out.begin() + sizeof kClass);
  return out;
}

}  // namespace assets
