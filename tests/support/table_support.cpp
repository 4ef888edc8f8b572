#include "support/table_support.h"

#include <stdexcept>

#include "engine/table.h"
#include "engine/table_files.h"
#include "host/bftable.h"
#include "host/bftable_engine.h"

namespace vorlend::test {

std::string ToolPath(const std::string& name) {
  return std::string(VORLEND_BIN_DIR) + "/" + name + VORLEND_EXE_SUFFIX;
}

std::string MakeDocTable(const TempDir& dir, const std::string& name, const std::vector<int>& keys) {
  const std::string path = dir / name;
  using engine::FieldType;
  if (auto error = engine::CreateTable(
          path, {{"Cislo", FieldType::Integer}, {"Uzamceni", FieldType::Boolean}, {"Firma", FieldType::Text}},
          {"Cislo"}))
    throw std::runtime_error(*error);
  TBFTable t;
  if (t.OpenTable(path) != 0) throw std::runtime_error("cannot open " + path);
  if (!EngineTableOf(t).BeginTransaction()) throw std::runtime_error("cannot write " + path);
  for (int key : keys) {
    t.AppendBlank();
    t.SetValue("Cislo", Variant::FromInt(key));
    t.SetValue("Uzamceni", Variant::FromBool(false));
    t.SetValue("Firma", Variant::FromString("F" + std::to_string(key)));
    if (t.Post() != 0) throw std::runtime_error("cannot post " + path);
  }
  if (!EngineTableOf(t).CommitTransaction()) throw std::runtime_error("cannot commit " + path);
  return path;
}

}  // namespace vorlend::test
