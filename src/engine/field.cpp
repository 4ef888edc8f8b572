#include "engine/field.h"

#include "platform/text.h"

namespace vorlend::engine {

namespace {

bool AsciiSameText(std::string_view a, std::string_view b, bool& allAscii) {
  allAscii = true;
  if (a.size() != b.size()) {
    for (char c : a) allAscii = allAscii && static_cast<unsigned char>(c) < 0x80;
    for (char c : b) allAscii = allAscii && static_cast<unsigned char>(c) < 0x80;
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 0x80 || y >= 0x80) {
      allAscii = false;
      return false;
    }
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

const char* FieldTypeName(FieldType type) {
  switch (type) {
    case FieldType::Text:
      return "text";
    case FieldType::Integer:
      return "integer";
    case FieldType::Boolean:
      return "boolean";
    case FieldType::Double:
      return "double";
    case FieldType::Date:
      return "date";
    case FieldType::Untyped:
      return "untyped";
  }
  return "untyped";
}

std::optional<FieldType> ParseFieldType(std::string_view name) {
  const std::string n = LowerCase(name);
  if (n == "text" || n == "string") return FieldType::Text;
  if (n == "integer" || n == "int") return FieldType::Integer;
  if (n == "boolean" || n == "bool") return FieldType::Boolean;
  if (n == "double" || n == "float") return FieldType::Double;
  if (n == "date") return FieldType::Date;
  if (n == "untyped" || n == "any") return FieldType::Untyped;
  return std::nullopt;
}

const char* DeclaredType(FieldType type) {
  switch (type) {
    case FieldType::Text:
      return "TEXT";
    case FieldType::Integer:
      return "INTEGER";
    case FieldType::Boolean:
      return "BOOLEAN";
    case FieldType::Double:
      return "DOUBLE";
    case FieldType::Date:
      return "DATE";
    case FieldType::Untyped:
      return "";
  }
  return "";
}

std::optional<FieldType> FieldTypeFromDeclared(std::string_view declared) {
  const std::string d = UpperCase(declared);
  if (d == "TEXT") return FieldType::Text;
  if (d == "INTEGER") return FieldType::Integer;
  if (d == "BOOLEAN") return FieldType::Boolean;
  if (d == "DOUBLE") return FieldType::Double;
  if (d == "DATE") return FieldType::Date;
  if (d.empty()) return FieldType::Untyped;
  return std::nullopt;
}

bool SameFieldName(std::string_view a, std::string_view b) {
  bool ascii = true;
  if (AsciiSameText(a, b, ascii)) return true;
  return !ascii && SameText(a, b);
}

}  // namespace vorlend::engine
