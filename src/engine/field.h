#pragma once
// Field types of our tables and how each is declared in the SQLite schema. The declared type is
// what a table remembers of its fields, so it must survive a round trip through the schema.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorlend::engine {

enum class FieldType { Text, Integer, Boolean, Double, Date, Untyped };

struct FieldDef {
  std::string name;
  FieldType type = FieldType::Text;
};

// An index over one or more fields; its name is the field names joined by "+".
struct IndexDef {
  std::string name;
  std::vector<int> fields;  // positions in the table's field list
};

// Names used on command lines: text, integer, boolean, double, date, untyped.
const char* FieldTypeName(FieldType type);
// Accepts the names above in any letter case, and the short forms int, bool, any.
std::optional<FieldType> ParseFieldType(std::string_view name);

// The SQLite column type. Untyped fields are declared without a type, so SQLite keeps each
// value's own storage class instead of applying an affinity.
const char* DeclaredType(FieldType type);
std::optional<FieldType> FieldTypeFromDeclared(std::string_view declared);

// Field names compare without regard to letter case, as the host component's do.
bool SameFieldName(std::string_view a, std::string_view b);

}  // namespace vorlend::engine
