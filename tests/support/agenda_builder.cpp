#include "support/agenda_builder.h"

#include <stdexcept>

#include "engine/table_files.h"
#include "host/bftable.h"
#include "host/rights_tables.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/text.h"

namespace vorlend::test {

std::vector<Document> MakeDocuments(int count, std::int32_t firstKey, int lockedEvery) {
  std::vector<Document> docs;
  for (int i = 0; i < count; ++i) {
    docs.push_back({firstKey + i, Variant::FromBool(lockedEvery > 0 && i % lockedEvery == 0)});
  }
  return docs;
}

AgendaBuilder::AgendaBuilder(const TempDir& dir, const std::string& agendaDirName, const std::string& firmName)
    : m_dataDir(dir / "Money/Data/"),
      m_agendaDir(m_dataDir + agendaDirName + "/"),
      m_agendaDirName(agendaDirName),
      m_firmName(firmName) {
  ForceDirectories(m_agendaDir);
  TIniFile ini(m_agendaDir + "AGENDA.INI");
  ini.WriteString("Údaje o firmě", "Název-obchodní", firmName);
}

void AgendaBuilder::AddRightsWithoutUsers() {
  if (const auto error = WriteNewModelRights(m_dataDir, {}, false)) throw std::runtime_error(*error);
}

std::string AgendaBuilder::AddYear(const std::string& dirName, const std::string& yearName) {
  const std::string year = m_agendaDir + dirName + "/";
  ForceDirectories(year);
  TIniFile ini(year + "ROK.INI");
  if (!yearName.empty())
    ini.WriteString("Global", "Účetní rok", yearName);
  else
    ini.WriteString("Global", "Jiný klíč", "x");
  return year;
}

void AgendaBuilder::AddTable(const std::string& yearDir, const std::string& table, const std::vector<Document>& docs) {
  const std::string key = table == "SKSEZDOK" ? "CDokladu" : "Cislo";
  const std::string path = m_agendaDir + yearDir + "/" + table;
  const auto error = engine::CreateTable(path,
                                         {{key, engine::FieldType::Integer},
                                          {"Uzamceni", engine::FieldType::Boolean},
                                          {"Partner", engine::FieldType::Text},
                                          {"Castka", engine::FieldType::Double}},
                                         {key});
  if (error) throw std::runtime_error(*error);
  TBFTable t;
  if (t.OpenTable(path) != 0) throw std::runtime_error("cannot open " + path);
  for (const auto& d : docs) {
    t.AppendBlank();
    t.SetValue(key, Variant::FromInt(d.key));
    t.SetValue("Uzamceni", d.lock);
    t.SetValue("Partner", Variant::FromString("Odběratel č. " + std::to_string(d.key)));
    t.SetValue("Castka", Variant::FromDouble(d.key * 10.5));
    if (t.Post() != 0) throw std::runtime_error("cannot post " + path);
  }
  t.CloseTable();
}

HostContext AgendaBuilder::Context() const {
  HostContext ctx;
  ctx.SetPaths(m_agendaDir, m_dataDir);
  const std::size_t dot = m_agendaDirName.rfind('.');
  ctx.AgendaExt = dot == std::string::npos ? "" : UpperCase(m_agendaDirName.substr(dot + 1));
  ctx.AgendaName = m_firmName;
  ctx.ConfigName = "Default";
  ctx.MoneyVersionText = "13.0";
  ForceDirectories(ctx.SettingsDir());
  return ctx;
}

std::vector<std::string> AgendaBuilder::Groups(const std::string& yearDir, const std::string& version) const {
  return {"?MAIN=1?MAIN", "?AKTROK=" + m_agendaDir + yearDir + "?AKTROK", "?MVERZE=" + version + "?MVERZE",
          "?AKTHESLO=?AKTHESLO", "?AKTCFGNAME=Default?AKTCFGNAME"};
}

void DeleteDocument(const std::string& tablePath, const std::string& keyField, std::int32_t key) {
  TBFTable t;
  if (t.OpenTable(tablePath) != 0 || t.SetOrder(keyField) != 0 || t.Seek1(Variant::FromInt(key)) != kSeekFound) {
    throw std::runtime_error("no document " + std::to_string(key) + " in " + tablePath);
  }
  t.DeleteRecord();
}

std::string LockText(const Variant& v) {
  if (v.IsNull()) return "Null";
  bool b = false;
  return v.ToBool(b) ? (b ? "1" : "0") : "?";
}

std::vector<std::pair<std::int32_t, std::string>> ReadLocks(const std::string& tablePath, const std::string& keyField) {
  std::vector<std::pair<std::int32_t, std::string>> out;
  TBFTable t;
  if (t.OpenTable(tablePath) != 0) throw std::runtime_error("cannot open " + tablePath);
  if (t.RecCount() > 0 && t.GoTop() == 0) {
    while (!t.IsEof()) {
      std::int32_t key = 0;
      t.Value(keyField).ToInt(key);
      out.emplace_back(key, LockText(t.Value(keyField == "ID" ? "Lock" : "Uzamceni")));
      t.Skip();
    }
  }
  t.CloseTable();
  return out;
}

std::string DumpTable(const std::string& tablePath) {
  std::string out, err;
  const int rc = RunProgram({ToolPath("tablectl"), "dump", tablePath}, &out, &err);
  if (rc != 0) throw std::runtime_error("tablectl dump failed: " + err);
  return out;
}

}  // namespace vorlend::test
