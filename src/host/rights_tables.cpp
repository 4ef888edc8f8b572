#include "host/rights_tables.h"

#include <algorithm>
#include <iterator>

#include "engine/table_files.h"
#include "host/bftable.h"
#include "host/password.h"
#include "host/s3access_rights.h"
#include "platform/files.h"

namespace vorlend {

namespace {

using engine::FieldDef;
using engine::FieldType;

std::string LevelCode(const RightsUser& user, const std::string& right) {
  const auto it = user.levels.find(right);
  return it != user.levels.end() ? it->second : user.level;
}

bool BooleanRight(const RightsUser& user, AccessRight right) {
  switch (right) {
    case AccessRight::VisPorCenu:
      return user.VisPorCenu;
    case AccessRight::UzamceniDo:
      return user.UzamceniDo;
    case AccessRight::ZobrAkce:
      return user.ZobrAkce;
    default:
      return false;
  }
}

FieldType TypeOf(const AccessRightDef& def) {
  return def.kind == RightKind::Level ? FieldType::Text : FieldType::Boolean;
}

// The value a right's field holds for the user: the level's code, or the boolean.
Variant RightValue(const RightsUser& user, const AccessRightDef& def) {
  return def.kind == RightKind::Level ? Variant::FromString(LevelCode(user, def.name))
                                      : Variant::FromBool(BooleanRight(user, def.right));
}

// Creates the table and appends one record per row that `fill` writes.
template <class Rows, class Fill>
std::optional<std::string> WriteTable(const std::string& path, const std::vector<FieldDef>& fields,
                                      const std::vector<std::string>& indexes, const Rows& rows, Fill fill) {
  if (auto error = engine::CreateTable(path, fields, indexes)) return error;
  TBFTable table;
  if (table.OpenTable(path) != 0) return table.LastError();
  TableCloser closer(table);
  for (const auto& row : rows) {
    table.AppendBlank();
    fill(table, row);
    if (table.Post() != 0) return table.LastError();
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> WriteOldModelRights(const std::string& dataDir, const std::vector<RightsUser>& users) {
  // The reader would take the new model.
  if (FileExists(dataDir + "PrisUziv.dat")) return "soubor již existuje: " + ResolvePath(dataDir + "PrisUziv.dat");

  std::vector<FieldDef> first = {{"ID", FieldType::Integer},
                                 {"Jmeno", FieldType::Text},
                                 {"KonfigName", FieldType::Text},
                                 {"Poznamka", FieldType::Text},
                                 {"Password", FieldType::Text}};
  std::vector<FieldDef> second = {{"ID", FieldType::Integer}, {"Password", FieldType::Text}};
  for (const AccessRightDef& def : AccessRightDefs())
    (def.oldTable == OldRightsTable::Pristup ? first : second).push_back({def.oldField, TypeOf(def)});

  const auto fillRights = [](TBFTable& table, const RightsUser& user, OldRightsTable which) {
    table.SetValue("ID", Variant::FromInt(user.ID));
    table.SetValue("Password", Variant::FromString(ScramblePassword(user.Password)));
    for (const AccessRightDef& def : AccessRightDefs())
      if (def.oldTable == which) table.SetValue(def.oldField, RightValue(user, def));
  };
  if (auto error = WriteTable(dataDir + "PRISTUP", first, {"Jmeno", "Password"}, users,
                              [&](TBFTable& table, const RightsUser& user) {
                                table.SetValue("Jmeno", Variant::FromString(user.Name));
                                table.SetValue("KonfigName", Variant::FromString(user.ConfigName));
                                table.SetValue("Poznamka", Variant::FromString(user.note));
                                fillRights(table, user, OldRightsTable::Pristup);
                              }))
    return error;

  std::vector<RightsUser> withSecond;
  std::copy_if(users.begin(), users.end(), std::back_inserter(withSecond),
               [](const RightsUser& user) { return user.WithPristup2; });
  return WriteTable(dataDir + "PRISTUP2", second, {}, withSecond, [&](TBFTable& table, const RightsUser& user) {
    fillRights(table, user, OldRightsTable::Pristup2);
  });
}

std::optional<std::string> WriteNewModelRights(const std::string& dataDir, const std::vector<RightsUser>& users,
                                               bool withPrispol) {
  std::vector<FieldDef> fields = {{"ID_Pristup", FieldType::Integer}, {"Jmeno", FieldType::Text},
                                  {"UzivOS", FieldType::Text},        {"Password", FieldType::Text},
                                  {"PrihlZp", FieldType::Integer},    {"KonfigName", FieldType::Text},
                                  {"Poznamka", FieldType::Text}};
  for (const AccessRightDef& def : AccessRightDefs())
    if (def.kind == RightKind::Boolean) fields.push_back({def.name, FieldType::Boolean});

  // The users table's own data file "PRISUZIV.dat" is the file that marks the new model.
  if (auto error = WriteTable(dataDir + "PRISUZIV", fields, {"Jmeno", "Password", "UzivOS"}, users,
                              [](TBFTable& table, const RightsUser& user) {
                                table.SetValue("ID_Pristup", Variant::FromInt(user.ID));
                                table.SetValue("Jmeno", Variant::FromString(user.Name));
                                table.SetValue("UzivOS", Variant::FromString(user.osAccount));
                                table.SetValue("Password", Variant::FromString(user.Password));
                                table.SetValue("PrihlZp", Variant::FromInt(user.osLogin ? 1 : 0));
                                table.SetValue("KonfigName", Variant::FromString(user.ConfigName));
                                table.SetValue("Poznamka", Variant::FromString(user.note));
                                for (const AccessRightDef& def : AccessRightDefs())
                                  if (def.kind == RightKind::Boolean) table.SetValue(def.name, RightValue(user, def));
                              }))
    return error;
  if (!withPrispol) return std::nullopt;

  struct Item {
    std::int32_t id;
    std::string name;
    std::string code;
  };
  std::vector<Item> items;
  for (const RightsUser& user : users) {
    for (const AccessRightDef& def : AccessRightDefs()) {
      if (def.kind != RightKind::Level) continue;
      const auto& missing = user.missingItems;
      if (std::find(missing.begin(), missing.end(), def.name) != missing.end()) continue;
      items.push_back({user.ID, def.name, LevelCode(user, def.name)});
    }
  }
  return WriteTable(dataDir + "PRISPOL",
                    {{"FL_Pristup", FieldType::Integer}, {"Polozka", FieldType::Text}, {"Hodnota", FieldType::Text}},
                    {"FL_Pristup+Polozka"}, items, [](TBFTable& table, const Item& item) {
                      table.SetValue("FL_Pristup", Variant::FromInt(item.id));
                      table.SetValue("Polozka", Variant::FromString(item.name));
                      table.SetValue("Hodnota", Variant::FromString(item.code));
                    });
}

}  // namespace vorlend
