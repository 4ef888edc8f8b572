#include "seed/rights.h"

#include "engine/table.h"
#include "engine/table_files.h"
#include "platform/environment.h"

namespace vorlend::seed {

namespace {

// New model: the users table PRISUZIV. Its ".dat" is also the file by which Money tells the new
// model from the old one. No PRISPOL table: every level right then counts as granted.
std::string WriteNewModel(const std::string& dataDir) {
  const std::string path = dataDir + "PRISUZIV.DAT";
  using engine::FieldType;
  if (auto error = engine::CreateTable(path,
                                       {{"Jmeno", FieldType::Text},
                                        {"UzivOS", FieldType::Text},
                                        {"Password", FieldType::Text},
                                        {"PrihlZp", FieldType::Integer},
                                        {"ID_Pristup", FieldType::Integer},
                                        {"KonfigName", FieldType::Text},
                                        {"Poznamka", FieldType::Text},
                                        {"VisPorCenu", FieldType::Boolean},
                                        {"UzamceniDo", FieldType::Boolean},
                                        {"ZobrAkce", FieldType::Boolean}},
                                       {"Jmeno", "Password", "UzivOS"}))
    return *error;
  std::string error;
  auto t = engine::Table::Open(path, error);
  if (!t) return error;
  const std::string user = CurrentUserName();
  t->appendBlank();
  t->setValue("Jmeno", Variant::FromString(user));
  t->setValue("UzivOS", Variant::FromString(user));
  t->setValue("Password", Variant::FromString(std::string()));
  t->setValue("PrihlZp", Variant::FromInt(1));
  t->setValue("ID_Pristup", Variant::FromInt(1));
  t->setValue("KonfigName", Variant::FromString(std::string()));
  t->setValue("Poznamka", Variant::FromString("Správce agendy"));
  t->setValue("VisPorCenu", Variant::FromBool(true));
  t->setValue("UzamceniDo", Variant::FromBool(true));
  t->setValue("ZobrAkce", Variant::FromBool(true));
  if (!t->post()) return t->lastError();
  return {};
}

}  // namespace

std::string WriteRights(const std::string& dataDir, RightsModel model) {
  switch (model) {
    case RightsModel::None: return {};
    case RightsModel::New: return WriteNewModel(dataDir);
    case RightsModel::Old: return "the old rights model is not written yet";
  }
  return {};
}

}  // namespace vorlend::seed
