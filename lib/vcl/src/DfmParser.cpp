// The form-description parser: one pass over the text, recursive descent, no tokens kept.
// The description is read at every start-up and carries the artwork as a large hex block,
// so the hex decoder is a table look-up over a buffer sized once.
#include "vcl/DfmParser.h"

#include <array>
#include <charconv>
#include <cstring>
#include <limits>
#include <utility>

#include "vcl/SysUtils.h"

namespace vcl::dfm {

namespace {

constexpr std::uint8_t kInvalid = 0xFF;
constexpr std::uint8_t kBlank = 0x10;    // space, tab, carriage return
constexpr std::uint8_t kNewline = 0x11;

constexpr std::array<std::uint8_t, 256> MakeHexTable() {
  std::array<std::uint8_t, 256> t{};
  for (auto& v : t) v = kInvalid;
  for (int c = '0'; c <= '9'; ++c) t[c] = static_cast<std::uint8_t>(c - '0');
  for (int c = 'a'; c <= 'f'; ++c) t[c] = static_cast<std::uint8_t>(c - 'a' + 10);
  for (int c = 'A'; c <= 'F'; ++c) t[c] = static_cast<std::uint8_t>(c - 'A' + 10);
  t[' '] = kBlank;
  t['\t'] = kBlank;
  t['\r'] = kBlank;
  t['\n'] = kNewline;
  return t;
}
constexpr std::array<std::uint8_t, 256> kHex = MakeHexTable();

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsIdentChar(char c) { return IsAlpha(c) || IsDigit(c); }
bool IsFloatTypeLetter(char c) {
  const char l = static_cast<char>(c | 0x20);
  return l == 's' || l == 'f' || l == 'c' || l == 'd';
}
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// Names in messages are cut short: a hostile description may hold a megabyte-long one.
std::string Quote(std::string_view s) {
  constexpr std::size_t kMax = 40;
  if (s.size() > kMax) return "'" + std::string(s.substr(0, kMax)) + "...'";
  return "'" + std::string(s) + "'";
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Length of the well-formed UTF-8 sequence at p (lead byte >= 0x80), or 0 when it is not
// one: overlong forms, encoded surrogates and code points past U+10FFFF are refused.
std::size_t Utf8SequenceLength(const unsigned char* p, const unsigned char* end) {
  const unsigned char b0 = p[0];
  auto cont = [&](std::size_t i, unsigned char lo, unsigned char hi) {
    return p + i < end && p[i] >= lo && p[i] <= hi;
  };
  if (b0 >= 0xC2 && b0 <= 0xDF) return cont(1, 0x80, 0xBF) ? 2 : 0;
  if (b0 >= 0xE0 && b0 <= 0xEF) {
    const unsigned char lo = b0 == 0xE0 ? 0xA0 : 0x80;
    const unsigned char hi = b0 == 0xED ? 0x9F : 0xBF;
    return cont(1, lo, hi) && cont(2, 0x80, 0xBF) ? 3 : 0;
  }
  if (b0 >= 0xF0 && b0 <= 0xF4) {
    const unsigned char lo = b0 == 0xF0 ? 0x90 : 0x80;
    const unsigned char hi = b0 == 0xF4 ? 0x8F : 0xBF;
    return cont(1, lo, hi) && cont(2, 0x80, 0xBF) && cont(3, 0x80, 0xBF) ? 4 : 0;
  }
  return 0;
}

class Parser {
 public:
  explicit Parser(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

  Object ParseRoot() {
    if (end_ - p_ >= 3 && std::memcmp(p_, "\xEF\xBB\xBF", 3) == 0) p_ += 3;
    SkipSpace();
    const std::string_view word = PeekIdent();
    if (!IsObjectKeyword(word))
      Fail("expected 'object', 'inherited' or 'inline' at the start, found " + Describe());
    Object root = ParseObject(1);
    SkipSpace();
    if (p_ != end_) Fail("unexpected " + Describe() + " after the final 'end'");
    return root;
  }

 private:
  const char* p_;
  const char* end_;
  int line_ = 1;

  [[noreturn]] void Fail(const std::string& message) const { FailAt(line_, message); }
  [[noreturn]] static void FailAt(int line, const std::string& message) {
    throw EReadError("Line " + std::to_string(line) + ": " + message);
  }

  // What stands at the current position, for messages.
  std::string Describe() const {
    if (p_ != end_ && IsAlpha(*p_)) return Quote(PeekIdent());
    return DescribeByte();
  }
  std::string DescribeByte() const {
    if (p_ == end_) return "the end of the text";
    if (*p_ == '\n' || *p_ == '\r') return "the end of the line";
    const auto c = static_cast<unsigned char>(*p_);
    if (c >= 0x21 && c < 0x7F) return std::string("'") + *p_ + "'";
    static const char kDigits[] = "0123456789ABCDEF";
    return std::string("byte 0x") + kDigits[c >> 4] + kDigits[c & 15];
  }

  // Within one line: the object header is written on a single line.
  void SkipBlanks() {
    while (p_ != end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\r')) ++p_;
  }

  void SkipSpace() {
    while (p_ != end_) {
      const char c = *p_;
      if (c == '\n') {
        ++line_;
      } else if (c != ' ' && c != '\t' && c != '\r') {
        return;
      }
      ++p_;
    }
  }

  // The (possibly dotted) identifier at the current position, without consuming it; empty
  // when none starts here. A dot joins only when an identifier follows it.
  std::string_view PeekIdent() const {
    const char* q = p_;
    if (q == end_ || !IsAlpha(*q)) return {};
    for (;;) {
      while (q != end_ && IsIdentChar(*q)) ++q;
      if (q + 1 < end_ && *q == '.' && IsAlpha(q[1])) {
        ++q;
        continue;
      }
      return {p_, static_cast<std::size_t>(q - p_)};
    }
  }

  std::string_view TakeIdent() {
    const std::string_view id = PeekIdent();
    p_ += id.size();
    return id;
  }

  static bool IsObjectKeyword(std::string_view w) {
    return SameText(w, "object") || SameText(w, "inherited") || SameText(w, "inline");
  }

  void CheckDepth(int depth) const {
    if (depth > kMaxDepth)
      Fail("nesting deeper than " + std::to_string(kMaxDepth) + " levels");
  }

  // Object header and body; the keyword is at the current position.
  Object ParseObject(int depth) {
    CheckDepth(depth);
    Object obj;
    obj.line = line_;
    const std::string_view keyword = TakeIdent();
    if (SameText(keyword, "inherited")) {
      obj.header = Object::Header::Inherited;
    } else if (SameText(keyword, "inline")) {
      obj.header = Object::Header::Inline;
    }
    SkipBlanks();
    const std::string_view first = TakeIdent();
    if (first.empty())
      Fail("expected a component name or class name after " + Quote(keyword) + ", found " +
           Describe());
    SkipBlanks();
    if (p_ != end_ && *p_ == ':') {
      ++p_;
      SkipBlanks();
      const std::string_view cls = TakeIdent();
      if (cls.empty()) Fail("expected a class name after ':', found " + Describe());
      obj.name = first;
      obj.class_name = cls;
      SkipBlanks();
    } else {
      obj.class_name = first;
    }
    if (p_ != end_ && *p_ == '[') obj.index = ParseOrder();

    const std::string what = obj.name.empty() ? "object of class " + Quote(obj.class_name)
                                              : "object " + Quote(obj.name);
    for (;;) {
      SkipSpace();
      if (p_ == end_)
        Fail("unexpected end of the text: 'end' missing for the " + what + " of line " +
             std::to_string(obj.line));
      const std::string_view word = PeekIdent();
      if (word.empty())
        Fail("expected a property, an object or 'end', found " + Describe());
      if (SameText(word, "end")) {
        p_ += word.size();
        return obj;
      }
      if (IsObjectKeyword(word)) {
        obj.children.push_back(ParseObject(depth + 1));
        continue;
      }
      if (!obj.children.empty())
        Fail("property " + Quote(word) + " after the child objects of the " + what);
      obj.properties.push_back(ParseProperty(depth));
    }
  }

  // `[n]`: the position of an inherited child or the order of a collection item.
  int ParseOrder() {
    ++p_;  // '['
    SkipSpace();
    if (p_ == end_ || !IsDigit(*p_)) Fail("expected a number after '[', found " + Describe());
    int value = 0;
    while (p_ != end_ && IsDigit(*p_)) {
      const int digit = *p_ - '0';
      if (value > (std::numeric_limits<int>::max() - digit) / 10) Fail("order index too large");
      value = value * 10 + digit;
      ++p_;
    }
    SkipSpace();
    if (p_ == end_ || *p_ != ']') Fail("expected ']' after the order index, found " + Describe());
    ++p_;
    return value;
  }

  Property ParseProperty(int depth) {
    Property prop;
    prop.line = line_;
    prop.name = TakeIdent();
    SkipSpace();
    if (p_ == end_ || *p_ != '=')
      Fail("expected '=' after property name " + Quote(prop.name) + ", found " + Describe());
    ++p_;
    SkipSpace();
    prop.value = ParseValue(depth, prop.name);
    return prop;
  }

  Value ParseValue(int depth, std::string_view prop_name) {
    if (p_ == end_)
      Fail("expected a value for " + Quote(prop_name) + ", found the end of the text");
    const char c = *p_;
    Value v;
    if (c == '-' || IsDigit(c)) {
      v = ParseNumber();
    } else if (c == '$') {
      v = ParseHex();
    } else if (c == '\'' || c == '#') {
      v = ParseString();
    } else if (IsAlpha(c)) {
      // A keyword here means the value was left out: "Left =" followed by "end".
      const std::string_view id = PeekIdent();
      if (SameText(id, "end") || IsObjectKeyword(id))
        Fail("expected a value for " + Quote(prop_name) + ", found " + Quote(id));
      v = Value::Ident(std::string(TakeIdent()));
    } else if (c == '[') {
      return ParseSet();
    } else if (c == '{') {
      return ParseBinary();
    } else if (c == '(') {
      return ParseList(depth + 1, prop_name);
    } else if (c == '<') {
      return ParseCollection(depth + 1);
    } else {
      Fail("expected a value for " + Quote(prop_name) + ", found " + Describe());
    }
    // A number, string or identifier must stand alone: "12px" or "'a'b" is a typo.
    if (p_ != end_ && *p_ != ' ' && *p_ != '\t' && *p_ != '\r' && *p_ != '\n' && *p_ != ')')
      Fail("unexpected " + Describe() + " after the " + KindName(v.kind) + " value of " +
           Quote(prop_name));
    return v;
  }

  Value ParseNumber() {
    const char* start = p_;
    const bool negative = *p_ == '-';
    if (negative) ++p_;
    if (p_ == end_ || !IsDigit(*p_)) Fail("expected a digit after '-', found " + Describe());
    const char* digits = p_;
    while (p_ != end_ && IsDigit(*p_)) ++p_;
    bool is_float = false;
    if (p_ + 1 < end_ && *p_ == '.' && IsDigit(p_[1])) {
      is_float = true;
      ++p_;
      while (p_ != end_ && IsDigit(*p_)) ++p_;
    }
    if (p_ != end_ && (*p_ == 'e' || *p_ == 'E')) {
      is_float = true;
      ++p_;
      if (p_ != end_ && (*p_ == '+' || *p_ == '-')) ++p_;
      if (p_ == end_ || !IsDigit(*p_)) Fail("expected digits in the exponent, found " + Describe());
      while (p_ != end_ && IsDigit(*p_)) ++p_;
    }
    // A type letter (single, double/extended, currency, date) may follow; every float is
    // kept as a double, so the letter only makes the number a float.
    const char* number_end = p_;
    if (p_ != end_ && IsFloatTypeLetter(*p_) && (p_ + 1 == end_ || !IsIdentChar(p_[1]))) {
      is_float = true;
      ++p_;
    }
    if (is_float) {
      double d = 0;
      const auto [ptr, ec] = std::from_chars(start, number_end, d);
      if (ec != std::errc() || ptr != number_end)
        Fail("number " + Quote({start, static_cast<std::size_t>(number_end - start)}) +
             " out of range");
      return Value::Float(d);
    }
    // Accumulate the magnitude unsigned so that the most negative 64-bit value still fits.
    const std::uint64_t limit =
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
    std::uint64_t magnitude = 0;
    for (const char* d = digits; d != p_; ++d) {
      const auto digit = static_cast<std::uint64_t>(*d - '0');
      if (magnitude > (limit - digit) / 10)
        Fail("integer " + Quote({start, static_cast<std::size_t>(p_ - start)}) +
             " out of range");
      magnitude = magnitude * 10 + digit;
    }
    // Two's complement negation in unsigned arithmetic, then a well-defined conversion.
    return Value::Int(static_cast<std::int64_t>(negative ? ~magnitude + 1 : magnitude));
  }

  Value ParseHex() {
    const char* start = p_;
    ++p_;  // '$'
    if (p_ == end_ || kHex[static_cast<unsigned char>(*p_)] >= 16)
      Fail("expected hex digits after '$', found " + Describe());
    std::uint64_t value = 0;
    while (p_ != end_) {
      const std::uint8_t nibble = kHex[static_cast<unsigned char>(*p_)];
      if (nibble >= 16) break;
      if (value >> 60)
        Fail("integer " + Quote({start, static_cast<std::size_t>(p_ + 1 - start)}) +
             " out of range");
      value = value << 4 | nibble;
      ++p_;
    }
    return Value::Int(static_cast<std::int64_t>(value));
  }

  // Quoted pieces and #nnn character codes written next to each other form one string;
  // '+' joins further pieces across spaces and lines. Codes are UTF-16 units, so a
  // surrogate pair written as two codes becomes one character.
  Value ParseString() {
    std::string out;
    std::uint32_t high = 0;  // pending high surrogate, 0 when none
    for (;;) {
      if (p_ == end_) break;
      if (*p_ == '\'') {
        if (high) Fail("unpaired surrogate in a character code");
        ReadQuoted(out);
      } else if (*p_ == '#') {
        const std::uint32_t unit = ReadCharCode();
        if (unit >= 0xD800 && unit <= 0xDBFF) {
          if (high) Fail("unpaired surrogate in a character code");
          high = unit;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
          if (!high) Fail("unpaired surrogate in a character code");
          AppendUtf8(out, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
          high = 0;
        } else {
          if (high) Fail("unpaired surrogate in a character code");
          AppendUtf8(out, unit);
        }
      } else {
        // Look past blanks for a '+' continuation; blanks are skipped by the caller anyway.
        const char* save = p_;
        const int save_line = line_;
        SkipSpace();
        if (p_ != end_ && *p_ == '+') {
          ++p_;
          SkipSpace();
          if (p_ == end_ || (*p_ != '\'' && *p_ != '#'))
            Fail("expected a string after '+', found " + Describe());
          continue;
        }
        p_ = save;
        line_ = save_line;
        break;
      }
    }
    if (high) Fail("unpaired surrogate in a character code");
    return Value::String(std::move(out));
  }

  void ReadQuoted(std::string& out) {
    ++p_;  // opening quote
    for (;;) {
      // Copy the plain run up to the next quote, line end or non-ASCII byte in one go.
      const char* run = p_;
      while (p_ != end_) {
        const auto c = static_cast<unsigned char>(*p_);
        if (c == '\'' || c == '\n' || c == '\r' || c == 0 || c >= 0x80) break;
        ++p_;
      }
      out.append(run, p_);
      if (p_ == end_ || *p_ == '\n' || *p_ == '\r') Fail("unterminated string");
      const auto c = static_cast<unsigned char>(*p_);
      if (c == 0) Fail("NUL byte inside a string");
      if (c == '\'') {
        if (p_ + 1 < end_ && p_[1] == '\'') {
          out += '\'';
          p_ += 2;
          continue;
        }
        ++p_;
        return;
      }
      const auto* u = reinterpret_cast<const unsigned char*>(p_);
      const std::size_t n = Utf8SequenceLength(u, reinterpret_cast<const unsigned char*>(end_));
      if (n == 0) Fail("invalid UTF-8 in a string");
      out.append(p_, n);
      p_ += n;
    }
  }

  // #65 or #$41: one UTF-16 code unit.
  std::uint32_t ReadCharCode() {
    ++p_;  // '#'
    std::uint32_t value = 0;
    const bool hex = p_ != end_ && *p_ == '$';
    if (hex) ++p_;
    const char* digits = p_;
    while (p_ != end_) {
      std::uint32_t digit;
      if (hex) {
        digit = kHex[static_cast<unsigned char>(*p_)];
        if (digit >= 16) break;
      } else {
        if (!IsDigit(*p_)) break;
        digit = static_cast<std::uint32_t>(*p_ - '0');
      }
      value = value * (hex ? 16 : 10) + digit;
      if (value > 0xFFFF) Fail("character code out of range (above 65535)");
      ++p_;
    }
    if (p_ == digits) Fail("expected a number after '#', found " + Describe());
    return value;
  }

  Value ParseSet() {
    ++p_;  // '['
    std::vector<std::string> names;
    SkipSpace();
    if (p_ != end_ && *p_ == ']') {
      ++p_;
      return Value::Set(std::move(names));
    }
    for (;;) {
      SkipSpace();
      const std::string_view name = TakeIdent();
      if (name.empty()) Fail("expected a set element name, found " + Describe());
      names.emplace_back(name);
      SkipSpace();
      if (p_ != end_ && *p_ == ',') {
        ++p_;
        continue;
      }
      if (p_ != end_ && *p_ == ']') {
        ++p_;
        return Value::Set(std::move(names));
      }
      Fail("expected ',' or ']' in a set, found " + Describe());
    }
  }

  Value ParseBinary() {
    const int start_line = line_;
    ++p_;  // '{'
    const auto* close = static_cast<const char*>(std::memchr(p_, '}', static_cast<std::size_t>(end_ - p_)));
    if (!close) FailAt(start_line, "binary data without a closing '}'");
    // At most one byte per two characters: size once, fill through a raw pointer.
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(close - p_) / 2);
    std::uint8_t* out = bytes.data();
    const auto* s = reinterpret_cast<const unsigned char*>(p_);
    const auto* stop = reinterpret_cast<const unsigned char*>(close);
    int hi = -1;
    while (s != stop) {
      // Fast path: a whole byte's two digits.
      if (hi < 0 && s + 1 != stop) {
        const std::uint8_t a = kHex[s[0]];
        const std::uint8_t b = kHex[s[1]];
        if ((a | b) < 16) {
          *out++ = static_cast<std::uint8_t>(a << 4 | b);
          s += 2;
          continue;
        }
      }
      const std::uint8_t v = kHex[*s];
      if (v < 16) {
        if (hi < 0) {
          hi = v;
        } else {
          *out++ = static_cast<std::uint8_t>(hi << 4 | v);
          hi = -1;
        }
      } else if (v == kNewline) {
        ++line_;
      } else if (v != kBlank) {
        p_ = reinterpret_cast<const char*>(s);
        Fail("unexpected " + DescribeByte() + " in binary data (hex digits expected)");
      }
      ++s;
    }
    if (hi >= 0) FailAt(start_line, "binary data has an odd number of hex digits");
    bytes.resize(static_cast<std::size_t>(out - bytes.data()));
    p_ = close + 1;
    return Value::Binary(std::move(bytes));
  }

  Value ParseList(int depth, std::string_view prop_name) {
    CheckDepth(depth);
    const int start_line = line_;
    ++p_;  // '('
    std::vector<Value> items;
    for (;;) {
      SkipSpace();
      if (p_ == end_) FailAt(start_line, "list without a closing ')'");
      if (*p_ == ')') {
        ++p_;
        return Value::List(std::move(items));
      }
      items.push_back(ParseValue(depth, prop_name));
    }
  }

  Value ParseCollection(int depth) {
    CheckDepth(depth);
    const int start_line = line_;
    ++p_;  // '<'
    std::vector<CollectionItem> entries;
    for (;;) {
      SkipSpace();
      if (p_ == end_) FailAt(start_line, "collection without a closing '>'");
      if (*p_ == '>') {
        ++p_;
        return Value::Collection(std::move(entries));
      }
      if (!SameText(PeekIdent(), "item"))
        Fail("expected 'item' or '>' in a collection, found " + Describe());
      CollectionItem entry;
      entry.line = line_;
      p_ += 4;
      SkipSpace();
      if (p_ != end_ && *p_ == '[') entry.index = ParseOrder();
      for (;;) {
        SkipSpace();
        if (p_ == end_)
          Fail("unexpected end of the text: 'end' missing for the collection item of line " +
               std::to_string(entry.line));
        const std::string_view word = PeekIdent();
        if (word.empty()) Fail("expected a property or 'end' in a collection item, found " + Describe());
        if (SameText(word, "end")) {
          p_ += word.size();
          break;
        }
        entry.properties.push_back(ParseProperty(depth));
      }
      entries.push_back(std::move(entry));
    }
  }
};

}  // namespace

bool Value::IsIdent(std::string_view name) const { return kind == Kind::Ident && SameText(text, name); }

Value Value::Int(std::int64_t v) {
  Value r;
  r.kind = Kind::Integer;
  r.integer = v;
  return r;
}
Value Value::Float(double v) {
  Value r;
  r.kind = Kind::Float;
  r.real = v;
  return r;
}
Value Value::String(std::string utf8) {
  Value r;
  r.kind = Kind::String;
  r.text = std::move(utf8);
  return r;
}
Value Value::Ident(std::string name) {
  Value r;
  r.kind = Kind::Ident;
  r.text = std::move(name);
  return r;
}
Value Value::Set(std::vector<std::string> names) {
  Value r;
  r.kind = Kind::Set;
  r.set = std::move(names);
  return r;
}
Value Value::Binary(std::vector<std::uint8_t> data) {
  Value r;
  r.kind = Kind::Binary;
  r.bytes = std::move(data);
  return r;
}
Value Value::List(std::vector<Value> values) {
  Value r;
  r.kind = Kind::List;
  r.items = std::move(values);
  return r;
}
Value Value::Collection(std::vector<CollectionItem> entries) {
  Value r;
  r.kind = Kind::Collection;
  r.collection = std::move(entries);
  return r;
}

const char* KindName(Value::Kind kind) {
  switch (kind) {
    case Value::Kind::Integer: return "integer";
    case Value::Kind::Float: return "float";
    case Value::Kind::String: return "string";
    case Value::Kind::Ident: return "identifier";
    case Value::Kind::Set: return "set";
    case Value::Kind::Binary: return "binary data";
    case Value::Kind::List: return "list";
    case Value::Kind::Collection: return "collection";
  }
  return "value";
}

const Property* FindProperty(const std::vector<Property>& properties, std::string_view name) {
  for (auto it = properties.rbegin(); it != properties.rend(); ++it)
    if (SameText(it->name, name)) return &*it;
  return nullptr;
}

const Property* Object::FindProperty(std::string_view prop_name) const {
  return dfm::FindProperty(properties, prop_name);
}

const Object* Object::FindChild(std::string_view child_name) const {
  for (const Object& child : children)
    if (SameText(child.name, child_name)) return &child;
  return nullptr;
}

Object ParseForm(std::string_view text) {
  // Far above any real form, and low enough that line numbers can never overflow an int.
  constexpr std::size_t kMaxText = std::size_t{256} << 20;
  if (text.size() > kMaxText) throw EReadError("Line 1: form description larger than 256 MB");
  return Parser(text).ParseRoot();
}

}  // namespace vcl::dfm
