#include "seed/documents.h"

#include <cmath>

#include "engine/table.h"
#include "engine/table_files.h"
#include "platform/datetime.h"

namespace vorlend::seed {

namespace {

const std::vector<std::string>& Partners() {
  static const std::vector<std::string> partners = {
      "Železářství Dvořák s.r.o.", "Pekárna U Šímů", "Účetní služby Novák", "Stavebniny Křížek a.s.",
      "Zelenina Horáková", "Tiskárna Čermák", "Autodíly Růžička", "Květinářství Žofie",
      "Elektro Pospíšil s.r.o.", "Dřevovýroba Kučera", "Nábytek Beneš", "Řeznictví Procházka"};
  return partners;
}

}  // namespace

const std::vector<DocumentTable>& DocumentTables() {
  static const std::vector<DocumentTable> tables = {
      {"POKLKNIH", "Cislo", "Pokladní doklad"},  {"BANKKNIH", "Cislo", "Bankovní výpis"},
      {"KNIHPOHL", "Cislo", "Ostatní pohledávka"}, {"KNIHZAV", "Cislo", "Ostatní závazek"},
      {"INTDOKL", "Cislo", "Interní doklad"},     {"PFAKTURY", "Cislo", "Přijatá faktura"},
      {"VFAKTURY", "Cislo", "Vystavená faktura"}, {"SKSEZDOK", "CDokladu", "Skladový doklad"}};
  return tables;
}

std::string WriteDocumentTable(const std::string& yearDir, const DocumentTable& table,
                               const DocumentOptions& options, Random& random) {
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
  random.shuffle(order);
  std::vector<char> locked(static_cast<std::size_t>(docs), 0);
  const int lockedCount = static_cast<int>(std::lround(docs * options.lockedPercent / 100.0));
  std::vector<int> pickLocked = order;
  random.shuffle(pickLocked);
  for (int i = 0; i < lockedCount; ++i) locked[static_cast<std::size_t>(pickLocked[static_cast<std::size_t>(i)])] = 1;

  std::string error;
  auto t = engine::Table::Open(path, error);
  if (!t) return error;
  const TDateTime firstDay = EncodeDate(options.yearName, 1, 1);
  const auto days = static_cast<std::uint32_t>(EncodeDate(options.yearName, 12, 31) - firstDay + 1);
  if (!t->beginTransaction()) return t->lastError();
  for (int i : order) {
    t->appendBlank();
    t->setValue(0, Variant::FromInt(base + i + 1));
    t->setValue(1, Variant::FromBool(locked[static_cast<std::size_t>(i)] != 0));
    t->setValue(2, Variant::FromDate(firstDay + random.below(days)));
    t->setValue(3, Variant::FromString(random.pick(Partners())));
    t->setValue(4, Variant::FromDouble(static_cast<double>(100 + random.below(9990000)) / 100.0));
    t->setValue(5, Variant::FromString(std::string(table.description) + " " + std::to_string(base + i + 1)));
    if (!t->post()) return t->lastError();
  }
  if (!t->commitTransaction()) return t->lastError();
  return {};
}

}  // namespace vorlend::seed
