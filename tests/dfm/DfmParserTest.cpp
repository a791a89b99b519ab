// Form-description parser: values and trees of good texts, messages and lines of bad ones,
// and every truncation of a realistic form.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "vcl/DfmParser.h"
#include "vcl/SysUtils.h"

namespace vcl::dfm {

// Readable failure output: gtest would otherwise dump the trees as raw bytes.
void PrintTo(const Value& v, std::ostream* os) {
  switch (v.kind) {
    case Value::Kind::Integer: *os << v.integer; break;
    case Value::Kind::Float: *os << "float " << v.real; break;
    case Value::Kind::String: *os << "string '" << v.text << "'"; break;
    case Value::Kind::Ident: *os << "ident " << v.text; break;
    case Value::Kind::Set:
      *os << "[";
      for (const auto& s : v.set) *os << s << ",";
      *os << "]";
      break;
    case Value::Kind::Binary:
      *os << "{" << v.bytes.size() << " bytes:";
      for (auto b : v.bytes) *os << " " << int{b};
      *os << "}";
      break;
    case Value::Kind::List:
      *os << "(";
      for (const auto& item : v.items) {
        PrintTo(item, os);
        *os << " ";
      }
      *os << ")";
      break;
    case Value::Kind::Collection:
      *os << "<";
      for (const auto& entry : v.collection) {
        *os << "item[" << entry.index << "]@" << entry.line << " ";
        for (const auto& p : entry.properties) {
          *os << p.name << "@" << p.line << "=";
          PrintTo(p.value, os);
          *os << " ";
        }
        *os << "end ";
      }
      *os << ">";
      break;
  }
}

void PrintTo(const Object& o, std::ostream* os) {
  *os << "\n{" << static_cast<int>(o.header) << " " << o.name << ":" << o.class_name << "["
      << o.index << "]@" << o.line;
  for (const auto& p : o.properties) {
    *os << "\n  " << p.name << "@" << p.line << " = ";
    PrintTo(p.value, os);
  }
  for (const auto& c : o.children) PrintTo(c, os);
  *os << "}";
}

}  // namespace vcl::dfm

namespace {

using vcl::EReadError;
using vcl::dfm::CollectionItem;
using vcl::dfm::Object;
using vcl::dfm::ParseForm;
using vcl::dfm::Property;
using vcl::dfm::Value;

Property P(std::string name, Value value, int line) { return {std::move(name), std::move(value), line}; }

Object Obj(std::string name, std::string cls, int line, std::vector<Property> props,
           std::vector<Object> children = {}) {
  Object o;
  o.name = std::move(name);
  o.class_name = std::move(cls);
  o.line = line;
  o.properties = std::move(props);
  o.children = std::move(children);
  return o;
}

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<std::uint8_t> out;
  for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

// The value written after "V = " on line 2 of a one-property form.
Value ValueOf(const std::string& source) {
  const Object root = ParseForm("object A: TA\n  V = " + source + "\nend\n");
  EXPECT_EQ(root.properties.size(), 1u);
  return root.properties.empty() ? Value{} : root.properties[0].value;
}

struct ValueCase {
  std::string source;
  Value expected;
};

TEST(DfmParser, ValuesOfEveryKind) {
  constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
  constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
  const ValueCase cases[] = {
      {"751", Value::Int(751)},
      {"-11", Value::Int(-11)},
      {"0", Value::Int(0)},
      {"007", Value::Int(7)},
      {"9223372036854775807", Value::Int(kMax)},
      {"-9223372036854775808", Value::Int(kMin)},
      {"$1F", Value::Int(31)},
      {"$00f0f0F0", Value::Int(0xF0F0F0)},
      {"$FFFFFFFFFFFFFFFF", Value::Int(-1)},
      {"$8000000000000000", Value::Int(kMin)},
      {"$0000000000000000001", Value::Int(1)},  // leading zeros do not count as overflow
      {"1.5", Value::Float(1.5)},
      {"1.5E3", Value::Float(1500.0)},
      {"-2.5e-3", Value::Float(-0.0025)},
      {"1E3", Value::Float(1000.0)},
      {"2e+2", Value::Float(200.0)},
      {"1.5s", Value::Float(1.5)},  // type letters: single, currency, date
      {"5c", Value::Float(5.0)},
      {"-0.25D", Value::Float(-0.25)},
      {"'Setup'", Value::String("Setup")},
      {"''", Value::String("")},
      {"'It''s'", Value::String("It's")},
      {"''''", Value::String("'")},
      {"'tab\there'", Value::String("tab\there")},
      {"'a'#13#10'b'", Value::String("a\r\nb")},
      {"#65#$42'c'", Value::String("ABc")},
      {"#0", Value::String(std::string(1, '\0'))},
      {"#233", Value::String("\xC3\xA9")},
      {"#23433#35013", Value::String("安装")},
      {"#55357#56832", Value::String("\xF0\x9F\x98\x80")},     // surrogate pair: U+1F600
      {"'x'#$D83D#$DE00", Value::String("x\xF0\x9F\x98\x80")},
      {"#55357 +\n    #56832", Value::String("\xF0\x9F\x98\x80")},  // pair split by '+'
      {"'安装主程序 / Install Applications'", Value::String("安装主程序 / Install Applications")},
      {"'\xE2\x82\xAC \xF0\x9D\x84\x9E'", Value::String("\xE2\x82\xAC \xF0\x9D\x84\x9E")},
      {"'ab' +\n    'cd'", Value::String("abcd")},
      {"'a' + #13 +\n\n  'b'+'c'", Value::String("a\rbc")},
      {"bsNone", Value::Ident("bsNone")},
      {"True", Value::Ident("True")},
      {"Form2.Button1", Value::Ident("Form2.Button1")},
      {"_x1", Value::Ident("_x1")},
      {"[]", Value::Set({})},
      {"[ ]", Value::Set({})},
      {"[fsBold, fsItalic]", Value::Set({"fsBold", "fsItalic"})},
      {"[ fsBold ,\n  fsItalic ]", Value::Set({"fsBold", "fsItalic"})},
      {"{}", Value::Binary({})},
      {"{0A54}", Value::Binary(Bytes({0x0A, 0x54}))},
      {"{\n    0a 5\n4FF\n  }", Value::Binary(Bytes({0x0A, 0x54, 0xFF}))},  // a byte split by a line
      {"()", Value::List({})},
      {"('a' 'b')", Value::List({Value::String("a"), Value::String("b")})},
      {"(\n  'a' +\n  'b'\n  'c')", Value::List({Value::String("ab"), Value::String("c")})},
      {"(1 (2 $3) x [a] {FF})",
       Value::List({Value::Int(1), Value::List({Value::Int(2), Value::Int(3)}), Value::Ident("x"),
                    Value::Set({"a"}), Value::Binary(Bytes({0xFF}))})},
      {"<>", Value::Collection({})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    try {
      EXPECT_EQ(ValueOf(c.source), c.expected);
    } catch (const EReadError& e) {
      ADD_FAILURE() << e.Message;
    }
  }
}

TEST(DfmParser, CollectionItemsKeepTheirPropertiesOrderAndLines) {
  const Value v = ValueOf(
      "<\n"
      "    item\n"
      "      Caption = 'Name'\n"
      "      Width.Min = 64\n"
      "    end\n"
      "    ITEM [3]\n"
      "    End\n"
      "    item\n"
      "      Items = <\n"
      "        item\n"
      "        end>\n"
      "    end>");
  CollectionItem first{{P("Caption", Value::String("Name"), 4), P("Width.Min", Value::Int(64), 5)}, -1, 3};
  CollectionItem second{{}, 3, 7};
  CollectionItem inner{{}, -1, 11};
  CollectionItem third{{P("Items", Value::Collection({inner}), 10)}, -1, 9};
  EXPECT_EQ(v, Value::Collection({first, second, third}));
}

// The form as the product ships it, with the artwork and icon blocks cut short.
const char kRealisticForm[] =
    "object Form1: TForm1\n"                                    // 1
    "  Left = 751\n"                                            // 2
    "  Top = 130\n"                                             // 3
    "  AutoSize = True\n"                                       // 4
    "  BorderStyle = bsNone\n"                                  // 5
    "  Caption = 'Setup'\n"                                     // 6
    "  ClientHeight = 319\n"                                    // 7
    "  ClientWidth = 546\n"                                     // 8
    "  Font.Charset = DEFAULT_CHARSET\n"                        // 9
    "  Font.Color = clWindowText\n"                             // 10
    "  Font.Height = -11\n"                                     // 11
    "  Font.Name = 'MS Sans Serif'\n"                           // 12
    "  Font.Style = []\n"                                       // 13
    "  Icon.Data = {\n"                                         // 14
    "    0000010004003030\n"                                    // 15
    "    00000100}\n"                                           // 16
    "  OldCreateOrder = False\n"                                // 17
    "  Position = poScreenCenter\n"                             // 18
    "  OnCreate = FormCreate\n"                                 // 19
    "  PixelsPerInch = 96\n"                                    // 20
    "  TextHeight = 13\n"                                       // 21
    "  object Image1: TImage\n"                                 // 22
    "    Left = 0\n"                                            // 23
    "    Top = 0\n"                                             // 24
    "    Width = 546\n"                                         // 25
    "    Height = 319\n"                                        // 26
    "    Picture.Data = {\n"                                    // 27
    "      0A54504E474F626A65637489504E470D0A1A0A\n"            // 28
    "      0000000D49484452}\n"                                 // 29
    "  end\n"                                                   // 30
    "  object Label1: TLabel\n"                                 // 31
    "    Left = 112\n"                                          // 32
    "    Caption = #169' 2009 Maker Co., Ltd. All rights ' +\n"  // 33
    "      'reserved.'\n"                                       // 34
    "    Font.Color = clBtnText\n"                              // 35
    "    Transparent = True\n"                                  // 36
    "  end\n"                                                   // 37
    "  object SeSkinButton1: TSeSkinButton\n"                   // 38
    "    Left = 328\n"                                          // 39
    "    Caption = '安装主程序 / Install Applications'\n"       // 40
    "    TabOrder = 0\n"                                        // 41
    "    Visible = False\n"                                     // 42
    "    OnClick = SeSkinButton1Click\n"                        // 43
    "  end\n"                                                   // 44
    "  object SeSkinButton4: TSeSkinButton\n"                   // 45
    "    Caption = '关闭 / Close'\n"                            // 46
    "    TabOrder = 1\n"                                        // 47
    "    OnClick = SeSkinButton4Click\n"                        // 48
    "  end\n"                                                   // 49
    "end\n";

Object RealisticTree() {
  return Obj("Form1", "TForm1", 1,
             {
                 P("Left", Value::Int(751), 2),
                 P("Top", Value::Int(130), 3),
                 P("AutoSize", Value::Ident("True"), 4),
                 P("BorderStyle", Value::Ident("bsNone"), 5),
                 P("Caption", Value::String("Setup"), 6),
                 P("ClientHeight", Value::Int(319), 7),
                 P("ClientWidth", Value::Int(546), 8),
                 P("Font.Charset", Value::Ident("DEFAULT_CHARSET"), 9),
                 P("Font.Color", Value::Ident("clWindowText"), 10),
                 P("Font.Height", Value::Int(-11), 11),
                 P("Font.Name", Value::String("MS Sans Serif"), 12),
                 P("Font.Style", Value::Set({}), 13),
                 P("Icon.Data", Value::Binary(Bytes({0, 0, 1, 0, 4, 0, 0x30, 0x30, 0, 0, 1, 0})), 14),
                 P("OldCreateOrder", Value::Ident("False"), 17),
                 P("Position", Value::Ident("poScreenCenter"), 18),
                 P("OnCreate", Value::Ident("FormCreate"), 19),
                 P("PixelsPerInch", Value::Int(96), 20),
                 P("TextHeight", Value::Int(13), 21),
             },
             {
                 Obj("Image1", "TImage", 22,
                     {P("Left", Value::Int(0), 23), P("Top", Value::Int(0), 24),
                      P("Width", Value::Int(546), 25), P("Height", Value::Int(319), 26),
                      P("Picture.Data",
                        Value::Binary(Bytes({0x0A, 'T', 'P', 'N', 'G', 'O', 'b', 'j', 'e', 'c', 't', 0x89,
                                             'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0x0D, 'I',
                                             'H', 'D', 'R'})),
                        27)}),
                 Obj("Label1", "TLabel", 31,
                     {P("Left", Value::Int(112), 32),
                      P("Caption", Value::String("\xC2\xA9 2009 Maker Co., Ltd. All rights reserved."), 33),
                      P("Font.Color", Value::Ident("clBtnText"), 35),
                      P("Transparent", Value::Ident("True"), 36)}),
                 Obj("SeSkinButton1", "TSeSkinButton", 38,
                     {P("Left", Value::Int(328), 39),
                      P("Caption", Value::String("安装主程序 / Install Applications"), 40),
                      P("TabOrder", Value::Int(0), 41), P("Visible", Value::Ident("False"), 42),
                      P("OnClick", Value::Ident("SeSkinButton1Click"), 43)}),
                 Obj("SeSkinButton4", "TSeSkinButton", 45,
                     {P("Caption", Value::String("关闭 / Close"), 46), P("TabOrder", Value::Int(1), 47),
                      P("OnClick", Value::Ident("SeSkinButton4Click"), 48)}),
             });
}

struct TreeCase {
  const char* name;
  std::string text;
  Object expected;
};

Object WithHeader(Object o, Object::Header header, int index = -1) {
  o.header = header;
  o.index = index;
  return o;
}

TEST(DfmParser, TreesOfGoodForms) {
  const TreeCase cases[] = {
      {"realistic form", kRealisticForm, RealisticTree()},
      {"empty object", "object Form1: TForm1\nend", Obj("Form1", "TForm1", 1, {})},
      {"keywords in any case", "OBJECT Form1: TForm1\n  Left = 1\nEnd\n",
       Obj("Form1", "TForm1", 1, {P("Left", Value::Int(1), 2)})},
      {"byte-order mark and CRLF lines", "\xEF\xBB\xBFobject A: TA\r\n  Left = 1\r\n  Top = 2\r\nend\r\n",
       Obj("A", "TA", 1, {P("Left", Value::Int(1), 2), P("Top", Value::Int(2), 3)})},
      {"blank lines and indentation do not matter",
       "\n\n  object A : TA\n\n\tLeft=1\n  object  B :TB end end\n\n",
       Obj("A", "TA", 3, {P("Left", Value::Int(1), 5)}, {Obj("B", "TB", 6, {})})},
      {"inherited, inline, unnamed and ordered children",
       "inherited Form2: TForm2\n"
       "  inline Frame1: TFrame1 [2]\n"
       "  end\n"
       "  object TPanel\n"
       "    object Inner: TButton\n"
       "    end\n"
       "  end\n"
       "end\n",
       WithHeader(Obj("Form2", "TForm2", 1, {},
                      {WithHeader(Obj("Frame1", "TFrame1", 2, {}), Object::Header::Inline, 2),
                       Obj("", "TPanel", 4, {}, {Obj("Inner", "TButton", 5, {})})}),
                  Object::Header::Inherited)},
      {"lines counted through string continuations and binary blocks",
       "object A: TA\n  S = 'a' +\n    'b'\n  D = {\n    00\n    11}\n  N = 1\nend",
       Obj("A", "TA", 1,
           {P("S", Value::String("ab"), 2), P("D", Value::Binary(Bytes({0, 0x11})), 4),
            P("N", Value::Int(1), 7)})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      EXPECT_EQ(ParseForm(c.text), c.expected);
    } catch (const EReadError& e) {
      ADD_FAILURE() << e.Message;
    }
  }
}

std::string NestedObjects(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "object O" + std::to_string(i) + ": T\n";
  for (int i = 0; i < depth; ++i) text += "end\n";
  return text;
}

std::string NestedLists(int depth) {
  return "object A: TA\n  V = " + std::string(static_cast<std::size_t>(depth), '(') +
         std::string(static_cast<std::size_t>(depth), ')') + "\nend";
}

TEST(DfmParser, NestingUpToTheLimitParses) {
  const Object root = ParseForm(NestedObjects(vcl::dfm::kMaxDepth));
  int depth = 1;
  for (const Object* o = &root; !o->children.empty(); o = &o->children[0]) ++depth;
  EXPECT_EQ(depth, vcl::dfm::kMaxDepth);
  // The root object is one level, so its property may hold kMaxDepth - 1 nested lists.
  EXPECT_NO_THROW(ParseForm(NestedLists(vcl::dfm::kMaxDepth - 1)));
}

struct BadCase {
  const char* name;
  std::string text;
  int line;
  const char* fragment;
};

TEST(DfmParser, BadFormsNameTheLineAndTheFault) {
  const std::string depth = std::to_string(vcl::dfm::kMaxDepth);
  const BadCase cases[] = {
      {"empty text", "", 1, "expected 'object', 'inherited' or 'inline' at the start"},
      {"no object header", "\n\nLeft = 1\n", 3, "expected 'object', 'inherited' or 'inline'"},
      {"missing '='", "object A: TA\n  Left 751\nend", 2, "expected '=' after property name 'Left'"},
      {"missing class name", "object A:\n  Left = 1\nend", 1,
       "expected a class name after ':', found the end of the line"},
      {"missing name", "object\n", 1, "expected a component name or class name after 'object'"},
      {"missing end", "object A: TA\n  Left = 1\n", 3, "'end' missing for the object 'A' of line 1"},
      {"missing inner end", "object A: TA\n  object B: TB\n    Left = 1\nend\n", 5,
       "'end' missing for the object 'A' of line 1"},
      {"text after the final end", "object A: TA\nend\nobject B: TB\nend\n", 3, "after the final 'end'"},
      {"property after a child", "object A: TA\n  object B: TB\n  end\n  Left = 1\nend", 4,
       "property 'Left' after the child objects of the object 'A'"},
      {"a comment is not syntax", "object A: TA\n  // note\nend", 2, "expected a property, an object or 'end', found '/'"},
      {"brace comment is binary data", "object A: TA\n  Left = { note }\nend", 2, "unexpected 'n' in binary data"},
      {"missing value", "object A: TA\n  Left =\nend", 3, "expected a value for 'Left', found 'end'"},
      {"missing value before a child", "object A: TA\n  Left =\n  object B: TB\n  end\nend", 3,
       "expected a value for 'Left', found 'object'"},
      {"value cut off at the end", "object A: TA\n  Left =", 2, "expected a value for 'Left', found the end of the text"},
      {"stray character as value", "object A: TA\n  Left = @\nend", 2, "expected a value for 'Left', found '@'"},
      {"decimal overflow", "object A: TA\n  V = 9223372036854775808\nend", 2, "out of range"},
      {"negative overflow", "object A: TA\n  V = -9223372036854775809\nend", 2, "out of range"},
      {"hex overflow", "object A: TA\n  V = $10000000000000000\nend", 2, "out of range"},
      {"float overflow", "object A: TA\n  V = 1e999\nend", 2, "'1e999' out of range"},
      {"lone minus", "object A: TA\n  V = -x\nend", 2, "expected a digit after '-'"},
      {"empty hex", "object A: TA\n  V = $\nend", 2, "expected hex digits after '$'"},
      {"empty exponent", "object A: TA\n  V = 1e\nend", 2, "expected digits in the exponent"},
      {"unit glued to a number", "object A: TA\n  V = 12px\nend", 2, "unexpected 'px' after the integer value of 'V'"},
      {"letter glued to a float", "object A: TA\n  V = 1.5x\nend", 2, "unexpected 'x' after the float value"},
      {"type letter followed by more", "object A: TA\n  V = 1.5sec\nend", 2, "unexpected 'sec' after the float value"},
      {"NUL after a number", std::string("object A: TA\n  V = 5\0\nend", 25), 2,
       "unexpected byte 0x00 after the integer value"},
      {"text glued to a string", "object A: TA\n  V = 'a'b\nend", 2, "after the string value of 'V'"},
      {"unterminated string", "object A: TA\n  V = 'abc\nend", 2, "unterminated string"},
      {"string at the end of the text", "object A: TA\n  V = 'abc", 2, "unterminated string"},
      {"NUL in a string", std::string("object A: TA\n  V = 'a\0b'\nend", 28), 2, "NUL byte"},
      {"stray continuation byte", "object A: TA\n  V = '\x80'\nend", 2, "invalid UTF-8"},
      {"overlong encoding", "object A: TA\n  V = '\xC0\xAF'\nend", 2, "invalid UTF-8"},
      {"overlong three-byte encoding", "object A: TA\n  V = '\xE0\x80\xAF'\nend", 2, "invalid UTF-8"},
      {"overlong four-byte encoding", "object A: TA\n  V = '\xF0\x80\x80\xAF'\nend", 2, "invalid UTF-8"},
      {"encoded surrogate", "object A: TA\n  V = '\xED\xA0\x80'\nend", 2, "invalid UTF-8"},
      {"beyond U+10FFFF", "object A: TA\n  V = '\xF4\x90\x80\x80'\nend", 2, "invalid UTF-8"},
      {"cut sequence", "object A: TA\n  V = '\xE5\xAE'\nend", 2, "invalid UTF-8"},
      {"UTF-8 outside quotes", "object A: TA\n  V = \xE5\xAE\x89\nend", 2, "found byte 0xE5"},
      {"character code too large", "object A: TA\n  V = #65536\nend", 2, "character code out of range"},
      {"empty character code", "object A: TA\n  V = #x\nend", 2, "expected a number after '#'"},
      {"lone high surrogate", "object A: TA\n  V = #55357'x'\nend", 2, "unpaired surrogate"},
      {"text between the halves of a pair", "object A: TA\n  V = #55357'x'#56832\nend", 2, "unpaired surrogate"},
      {"high surrogate at the end", "object A: TA\n  V = 'x'#55357\nend", 2, "unpaired surrogate"},
      {"lone low surrogate", "object A: TA\n  V = #56832\nend", 2, "unpaired surrogate"},
      {"two high surrogates", "object A: TA\n  V = #55357#55357#56832\nend", 2, "unpaired surrogate"},
      {"'+' without a string", "object A: TA\n  V = 'a' +\n    1\nend", 3, "expected a string after '+'"},
      {"odd hex digit count", "object A: TA\n  D = {\n    ABC\n  }\nend", 2, "odd number of hex digits"},
      {"non-hex in binary", "object A: TA\n  D = {\n    00\n    0G}\nend", 4, "unexpected 'G' in binary data"},
      {"binary without '}'", "object A: TA\n  D = {\n    00\nend", 2, "binary data without a closing '}'"},
      {"set without ']'", "object A: TA\n  S = [fsBold\nend", 3, "expected ',' or ']' in a set, found 'end'"},
      {"set with a number", "object A: TA\n  S = [1]\nend", 2, "expected a set element name, found '1'"},
      {"set with a trailing comma", "object A: TA\n  S = [a,]\nend", 2, "expected a set element name, found ']'"},
      {"list without ')'", "object A: TA\n  L = (\n   'a'\n", 2, "list without a closing ')'"},
      {"collection without '>'", "object A: TA\n  C = <\n  item\n  end\n", 2, "collection without a closing '>'"},
      {"collection without item", "object A: TA\n  C = <\n    Caption = 'x'\n  >\nend", 3,
       "expected 'item' or '>' in a collection, found 'Caption'"},
      {"collection item without end", "object A: TA\n  C = <\n  item\n    W = 1\n  >\nend", 5,
       "expected a property or 'end' in a collection item, found '>'"},
      {"order index not a number", "object A: TA [x]\nend", 1, "expected a number after '['"},
      {"order index too large", "object A: TA [99999999999]\nend", 1, "order index too large"},
      {"objects nested too deep", NestedObjects(vcl::dfm::kMaxDepth + 1), vcl::dfm::kMaxDepth + 1,
       "nesting deeper than"},
      {"lists nested too deep", NestedLists(vcl::dfm::kMaxDepth), 2, "nesting deeper than"},
      {"hostile list nesting", NestedLists(100000), 2, "nesting deeper than"},
      {"hostile object nesting", NestedObjects(100000), vcl::dfm::kMaxDepth + 1, "nesting deeper than"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      ParseForm(c.text);
      ADD_FAILURE() << "parsed without error";
    } catch (const EReadError& e) {
      const std::string prefix = "Line " + std::to_string(c.line) + ": ";
      EXPECT_EQ(e.Message.rfind(prefix, 0), 0u) << e.Message;
      EXPECT_NE(e.Message.find(c.fragment), std::string::npos) << e.Message;
      EXPECT_STREQ(e.ClassName(), "EReadError");
    }
  }
}

TEST(DfmParser, LongNamesAreCutShortInMessages) {
  const std::string name(100000, 'x');
  try {
    ParseForm("object A: TA\n  " + name + " 1\nend");
    FAIL() << "parsed without error";
  } catch (const EReadError& e) {
    EXPECT_LT(e.Message.size(), 200u) << e.Message.substr(0, 200);
    EXPECT_NE(e.Message.find("expected '=' after property name 'xxxx"), std::string::npos);
  }
}

// Every prefix of a realistic form (and of one that uses every kind of value) must either
// parse or raise EReadError with a line: never crash, hang or throw anything else.
TEST(DfmParser, EveryTruncationParsesOrRaisesReadError) {
  const std::string kitchen_sink =
      "inherited Form2: TForm2 [1]\n"
      "  Items.Strings = (\n    'one'\n    'two'#13#10 +\n    #55357#56832)\n"
      "  Columns = <\n    item [0]\n      Width = $40\n      Scale = 1.5E3\n    end>\n"
      "  Options = [a, b]\n"
      "  inline Frame1: TFrame1\n    Data = {00FF}\n  end\n"
      "end\n";
  for (const std::string& text : {std::string(kRealisticForm), kitchen_sink}) {
    ASSERT_NO_THROW(ParseForm(text));
    for (std::size_t n = 0; n < text.size(); ++n) {
      SCOPED_TRACE("prefix of " + std::to_string(n) + " bytes");
      try {
        ParseForm(std::string_view(text).substr(0, n));
      } catch (const EReadError& e) {
        EXPECT_EQ(e.Message.rfind("Line ", 0), 0u) << e.Message;
      }
    }
  }
}

// The product's own form description, as the build embeds it.
TEST(DfmParser, ShippedFormParses) {
  const std::filesystem::path path = std::filesystem::path(LAUNCHER_SOURCE_DIR) / "Unit1.dfm";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " is not in this tree yet";
  std::string text(std::filesystem::file_size(path), '\0');
  std::ifstream(path, std::ios::binary).read(text.data(), static_cast<std::streamsize>(text.size()));
  Object root;
  try {
    root = ParseForm(text);
  } catch (const EReadError& e) {
    FAIL() << path << ": " << e.Message;
  }
  EXPECT_EQ(root.name, "Form1");
  EXPECT_EQ(root.class_name, "TForm1");
  const Object* image = root.FindChild("Image1");
  ASSERT_NE(image, nullptr);
  const Property* picture = image->FindProperty("Picture.Data");
  ASSERT_NE(picture, nullptr);
  ASSERT_EQ(picture->value.kind, Value::Kind::Binary);
  // Class name with its length byte, then the PNG signature.
  const std::string head(picture->value.bytes.begin(),
                         picture->value.bytes.begin() + std::min<std::size_t>(15, picture->value.bytes.size()));
  EXPECT_EQ(head, "\x0ATPNGObject\x89PNG");
}

TEST(DfmParser, LookupsIgnoreCaseAndTheLaterDuplicateWins) {
  const Object root = ParseForm(
      "object Form1: TForm1\n"
      "  Caption = 'first'\n"
      "  Visible = TRUE\n"
      "  caption = 'second'\n"
      "  object Image1: TImage\n"
      "  end\n"
      "end\n");
  const Property* caption = root.FindProperty("CAPTION");
  ASSERT_NE(caption, nullptr);
  EXPECT_EQ(caption->value.text, "second");
  EXPECT_EQ(caption->line, 4);
  EXPECT_EQ(root.FindProperty("Left"), nullptr);
  EXPECT_EQ(vcl::dfm::FindProperty(root.properties, "visible"), &root.properties[1]);

  EXPECT_TRUE(root.properties[1].value.IsIdent("True"));
  EXPECT_FALSE(root.properties[1].value.IsIdent("False"));
  EXPECT_FALSE(Value::String("True").IsIdent("True"));  // a quoted 'True' is text, not the constant

  ASSERT_NE(root.FindChild("image1"), nullptr);
  EXPECT_EQ(root.FindChild("image1")->class_name, "TImage");
  EXPECT_EQ(root.FindChild("Label1"), nullptr);
}

}  // namespace
