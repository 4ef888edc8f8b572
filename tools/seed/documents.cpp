#include "seed/documents.h"

#include <cmath>

#include "engine/table.h"
#include "engine/table_files.h"
#include "platform/datetime.h"

namespace vorlend::seed {

namespace {

const std::vector<std::string>& Partners() {
  static const std::vector<std::string> kPartners = {
      "Železářství Dvořák s.r.o.", "Pekárna U Šímů",     "Účetní služby Novák", "Stavebniny Křížek a.s.",
      "Zelenina Horáková",         "Tiskárna Čermák",    "Autodíly Růžička",    "Květinářství Žofie",
      "Elektro Pospíšil s.r.o.",   "Dřevovýroba Kučera", "Nábytek Beneš",       "Řeznictví Procházka"};
  return kPartners;
}

}  // namespace

const std::vector<DocumentTable>& DocumentTables() {
  static const std::vector<DocumentTable> kTables = {
      {"POKLKNIH", "Cislo", "Pokladní doklad"},    {"BANKKNIH", "Cislo", "Bankovní výpis"},
      {"KNIHPOHL", "Cislo", "Ostatní pohledávka"}, {"KNIHZAV", "Cislo", "Ostatní závazek"},
      {"INTDOKL", "Cislo", "Interní doklad"},      {"PFAKTURY", "Cislo", "Přijatá faktura"},
      {"VFAKTURY", "Cislo", "Vystavená faktura"},  {"SKSEZDOK", "CDokladu", "Skladový doklad"}};
  return kTables;
}

std::string WriteDocumentTable(const std::string& yearDir, const DocumentTable& table, const DocumentOptions& options,
                               Random& random) {
  const std::string path = yearDir + table.table + ".DAT";
  using engine::FieldType;
  if (auto error = engine::CreateTable(path,
                                       {{table.keyField, FieldType::Integer},
                                        {"Uzamceni", FieldType::Boolean},
                                        {"Datum", FieldType::Date},
                                        {"Firma", FieldType::Text},
                                        {"Castka", FieldType::Double},
                                        {"Popis", FieldType::Text}},
                                       {table.keyField}))
    return *error;

  const int docs = options.documents;
  // Keys look like Money's document numbers: the year's last two digits, then a sequence.
  const int base = docs < 1000000 ? (options.yearName % 100) * 1000000 : 0;
  std::vector<int> order(static_cast<std::size_t>(docs));
  for (int i = 0; i < docs; ++i) order[static_cast<std::size_t>(i)] = i;
  random.Shuffle(order);
  std::vector<char> locked(static_cast<std::size_t>(docs), 0);
  const int lockedCount = static_cast<int>(std::lround(docs * options.lockedPercent / 100.0));
  std::vector<int> pickLocked = order;
  random.Shuffle(pickLocked);
  for (int i = 0; i < lockedCount; ++i) locked[static_cast<std::size_t>(pickLocked[static_cast<std::size_t>(i)])] = 1;

  std::string error;
  auto t = engine::Table::Open(path, error);
  if (!t) return error;
  const TDateTime firstDay = EncodeDate(options.yearName, 1, 1);
  const auto days = static_cast<std::uint32_t>(EncodeDate(options.yearName, 12, 31) - firstDay + 1);
  if (!t->BeginTransaction()) return t->LastError();
  for (int i : order) {
    t->AppendBlank();
    t->SetValue(0, Variant::FromInt(base + i + 1));
    t->SetValue(1, Variant::FromBool(locked[static_cast<std::size_t>(i)] != 0));
    t->SetValue(2, Variant::FromDate(firstDay + random.Below(days)));
    t->SetValue(3, Variant::FromString(random.Pick(Partners())));
    t->SetValue(4, Variant::FromDouble(static_cast<double>(100 + random.Below(9990000)) / 100.0));
    t->SetValue(5, Variant::FromString(std::string(table.description) + " " + std::to_string(base + i + 1)));
    if (!t->Post()) return t->LastError();
  }
  if (!t->CommitTransaction()) return t->LastError();
  return {};
}

}  // namespace vorlend::seed
