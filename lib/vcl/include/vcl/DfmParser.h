// The form-description parser: UTF-8 text in object/property syntax to a plain tree.
// It knows nothing about components; the reader walks this tree, creates components by
// class name and sets their properties by name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vcl::dfm {

struct Property;
struct CollectionItem;

// Deepest nesting of objects, lists and collections that ParseForm accepts; deeper input
// is refused with EReadError instead of running the stack out.
inline constexpr int kMaxDepth = 64;

// One property value. Only the members that belong to `kind` are filled; the rest stay empty.
struct Value {
  enum class Kind { Integer, Float, String, Ident, Set, Binary, List, Collection };

  Kind kind = Kind::Integer;
  std::int64_t integer = 0;               // Integer ($hex is read as 64 bits, two's complement)
  double real = 0;                        // Float
  std::string text;                       // String (UTF-8, pieces joined) or Ident (as written)
  std::vector<std::string> set;           // Set: element names in written order
  std::vector<std::uint8_t> bytes;        // Binary
  std::vector<Value> items;               // List
  std::vector<CollectionItem> collection;  // Collection

  // Case-insensitive match of an identifier value, e.g. IsIdent("True").
  bool IsIdent(std::string_view name) const;

  static Value Int(std::int64_t v);
  static Value Float(double v);
  static Value String(std::string utf8);
  static Value Ident(std::string name);
  static Value Set(std::vector<std::string> names);
  static Value Binary(std::vector<std::uint8_t> data);
  static Value List(std::vector<Value> values);
  static Value Collection(std::vector<CollectionItem> entries);

  bool operator==(const Value&) const = default;
};

// "integer", "float", "string", "identifier", "set", "binary data", "list", "collection":
// for messages such as "Line 12: Left expects an integer, not a string".
const char* KindName(Value::Kind kind);

struct Property {
  std::string name;  // as written, dotted for nested properties ("Font.Name")
  Value value;
  int line = 0;      // 1-based line of the name

  bool operator==(const Property&) const = default;
};

// One `item ... end` of a collection value.
struct CollectionItem {
  std::vector<Property> properties;
  int index = -1;  // the optional `item [n]` order, -1 when absent
  int line = 0;

  bool operator==(const CollectionItem&) const = default;
};

struct Object {
  enum class Header { Object, Inherited, Inline };

  Header header = Header::Object;
  std::string name;        // empty for `object TClass` without a name
  std::string class_name;
  int index = -1;          // the optional `[n]` after the class name, -1 when absent
  std::vector<Property> properties;  // in written order
  std::vector<Object> children;      // in written order
  int line = 0;                      // 1-based line of the header

  // The property with this name, compared case-insensitively (as identifiers are); when it
  // is written twice, the later one, since the reader sets them in order. nullptr when absent.
  const Property* FindProperty(std::string_view prop_name) const;
  // Direct child with this component name, compared case-insensitively; nullptr when absent.
  const Object* FindChild(std::string_view child_name) const;

  bool operator==(const Object&) const = default;
};

// The same look-up for a collection item's or any other property list.
const Property* FindProperty(const std::vector<Property>& properties, std::string_view name);

// Parses one form description (a single root object). A leading UTF-8 byte-order mark is
// skipped. Throws vcl::EReadError with a message that starts with "Line N: " on any error.
Object ParseForm(std::string_view text);

}  // namespace vcl::dfm
