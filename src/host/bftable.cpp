#include "host/bftable.h"

#include "engine/table.h"

namespace vorlend {

namespace {

// Results of the component besides 0 (success) and SeekFound.
constexpr int Failed = 1;
constexpr int NotFound = 0;

bool g_transactionsAvailable = true;

}  // namespace

TBFTable::TBFTable() = default;
TBFTable::~TBFTable() = default;

engine::Table& TBFTable::table() {
  if (!m_table) throw HostError("Tabulka není otevřena.");
  return *m_table;
}

int TBFTable::OpenTable(const std::string& path) { return OpenTable(path, engine::OpenOptions{}); }

int TBFTable::OpenTable(const std::string& path, engine::OpenOptions options) {
  CloseTable();
  std::string error;
  m_table = engine::Table::Open(path, error, options);
  m_lastError = m_table ? std::string() : error;
  return m_table ? 0 : Failed;
}

void TBFTable::CloseTable() {
  m_table.reset();
}

bool TBFTable::IsOpen() const {
  return m_table != nullptr;
}

int TBFTable::RecCount() {
  const std::int64_t count = table().recordCount();
  return count > INT32_MAX ? INT32_MAX : static_cast<int>(count);
}

int TBFTable::SetOrder(const std::string& indexName) {
  return table().setOrder(indexName) ? 0 : Failed;
}

int TBFTable::GoTop() {
  return table().goTop() ? 0 : Failed;
}

int TBFTable::Skip() {
  table().skip();
  return 0;
}

bool TBFTable::IsEof() {
  return table().eof();
}

int TBFTable::Seek1(const Variant& key) {
  return table().seek({key}) ? SeekFound : NotFound;
}

int TBFTable::Seek2(const Variant& key1, const Variant& key2) {
  return table().seek({key1, key2}) ? SeekFound : NotFound;
}

int TBFTable::SeekN(const std::vector<Variant>& keys) {
  return table().seek(keys) ? SeekFound : NotFound;
}

int TBFTable::AppendBlank() {
  table().appendBlank();
  return 0;
}

int TBFTable::Post() {
  engine::Table& t = table();
  const bool ok = t.post();
  m_lastError = t.lastError();
  if (ok) return 0;
  return t.lastFailureBusy() ? PostBusy : Failed;
}

int TBFTable::LockRecord() {
  engine::Table& t = table();
  const bool ok = t.lockRecord();
  m_lastError = t.lastError();
  if (ok) return 0;
  if (t.lastFailureLockFile()) return LockRecordUnavailable;
  return t.recordGone() ? LockRecordGone : Failed;
}

void TBFTable::SetTransactionsAvailable(bool available) {
  g_transactionsAvailable = available;
}

int TBFTable::StartTransaction(bool synced) {
  engine::Table& t = table();
  if (!g_transactionsAvailable) return TransactionUnavailable;
  const bool ok = t.beginTransaction(synced);
  m_lastError = t.lastError();
  if (ok) return 0;
  return t.lastFailureBusy() ? PostBusy : Failed;
}

int TBFTable::Commit(bool synced) {
  engine::Table& t = table();
  const bool ok = t.commitTransaction(synced);
  m_lastError = t.lastError();
  return ok ? 0 : Failed;
}

void TBFTable::Rollback() {
  if (m_table) m_table->rollbackTransaction();
}

int TBFTable::EditRecord() {
  return table().hasRecord() ? 0 : Failed;
}

int TBFTable::DeleteRecord() {
  engine::Table& t = table();
  const bool ok = t.deleteRecord();
  m_lastError = t.lastError();
  return ok ? 0 : Failed;
}

Variant TBFTable::Value(const std::string& field) {
  return table().value(field);
}

void TBFTable::SetValue(const std::string& field, const Variant& value) {
  table().setValue(field, value);
}

}  // namespace vorlend
