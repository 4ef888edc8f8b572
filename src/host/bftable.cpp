#include "host/bftable.h"

#include "engine/table.h"
#include "platform/files.h"

namespace vorlend {

namespace {

// Results of the component besides 0 (success) and SeekFound.
constexpr int kFailed = 1;
constexpr int kNotFound = 0;

bool g_transactionsAvailable = true;

}  // namespace

TBFTable::TBFTable() = default;
TBFTable::~TBFTable() = default;

engine::Table& TBFTable::Table() {
  if (!m_table) throw HostError("Tabulka není otevřena.");
  return *m_table;
}

int TBFTable::OpenTable(const std::string& path) {
  return OpenTable(path, engine::OpenOptions{});
}

int TBFTable::OpenTable(const std::string& path, engine::OpenOptions options) {
  CloseTable();
  std::string error;
  bool busy = false;
  m_table = engine::Table::Open(path, error, options, &busy);
  m_lastError = m_table ? std::string() : error;
  return m_table ? 0 : busy ? kTableBusy : kFailed;
}

void TBFTable::CloseTable() {
  m_table.reset();
}

bool TBFTable::IsOpen() const {
  return m_table != nullptr;
}

std::string TBFTable::IntegrityCheck() {
  return Table().IntegrityCheck();
}

int TBFTable::RecCount() {
  const std::int64_t count = Table().RecordCount();
  return count > INT32_MAX ? INT32_MAX : static_cast<int>(count);
}

int TBFTable::SetOrder(const std::string& indexName) {
  return Table().SetOrder(indexName) ? 0 : kFailed;
}

int TBFTable::GoTop() {
  return Table().GoTop() ? 0 : kFailed;
}

int TBFTable::Skip() {
  Table().Skip();
  return 0;
}

bool TBFTable::IsEof() {
  return Table().Eof();
}

int TBFTable::Seek1(const Variant& key) {
  m_keys.assign(1, key);
  return Table().Seek(m_keys) ? kSeekFound : kNotFound;
}

int TBFTable::Seek2(const Variant& key1, const Variant& key2) {
  return Table().Seek({key1, key2}) ? kSeekFound : kNotFound;
}

int TBFTable::SeekN(const std::vector<Variant>& keys) {
  return Table().Seek(keys) ? kSeekFound : kNotFound;
}

int TBFTable::AppendBlank() {
  Table().AppendBlank();
  return 0;
}

int TBFTable::Post() {
  engine::Table& t = Table();
  const bool ok = t.Post();
  m_lastError = t.LastError();
  if (ok) return 0;
  return t.LastFailureBusy() ? kTableBusy : kFailed;
}

int TBFTable::LockRecord() {
  engine::Table& t = Table();
  const bool ok = t.LockRecord();
  m_lastError = t.LastError();
  if (ok) return 0;
  if (t.LastFailureLockFile()) return kLockRecordUnavailable;
  return t.RecordGone() ? kLockRecordGone : kFailed;
}

void TBFTable::SetTransactionsAvailable(bool available) {
  g_transactionsAvailable = available;
}

int TBFTable::StartTransaction(bool synced) {
  engine::Table& t = Table();
  if (!g_transactionsAvailable) return kTransactionUnavailable;
  const bool ok = t.BeginTransaction(synced);
  m_lastError = t.LastError();
  if (ok) return 0;
  return t.LastFailureBusy() ? kTableBusy : kFailed;
}

int TBFTable::Commit(bool synced) {
  engine::Table& t = Table();
  const bool ok = t.CommitTransaction(synced);
  m_lastError = t.LastError();
  return ok ? 0 : kFailed;
}

void TBFTable::Rollback() {
  if (m_table) m_table->RollbackTransaction();
}

int TBFTable::EditRecord() {
  return Table().HasRecord() ? 0 : kFailed;
}

int TBFTable::DeleteRecord() {
  engine::Table& t = Table();
  const bool ok = t.DeleteRecord();
  m_lastError = t.LastError();
  return ok ? 0 : kFailed;
}

Variant TBFTable::Value(const std::string& field) {
  return Table().Value(field);
}

void TBFTable::SetValue(const std::string& field, const Variant& value) {
  Table().SetValue(field, value);
}

int TBFTable::FieldIndex(const std::string& field) {
  return Table().RequireField(field);
}

Variant TBFTable::Value(int field) {
  return Table().Value(field);
}

std::int64_t TBFTable::RecordNumber() {
  return Table().RecordNumber();
}

int TBFTable::LockRecordForBlock() {
  engine::Table& t = Table();
  const bool ok = t.LockRecordForBlock();
  m_lastError = t.LastError();
  if (ok) return 0;
  return t.LastFailureLockFile() ? kLockRecordUnavailable : kFailed;
}

void TBFTable::ReadRecords(const std::vector<std::int64_t>& recnos, const std::vector<int>& fields,
                           std::vector<std::int64_t>& found, std::vector<Variant>& values) {
  Table().ReadRecords(recnos, fields, found, values);
}

void TBFTable::ReadRecordsAfter(std::int64_t after, std::size_t limit, const std::vector<int>& fields,
                                std::vector<std::int64_t>& found, std::vector<Variant>& values) {
  Table().ReadRecordsAfter(after, limit, fields, found, values);
}

int TBFTable::InsertRecords(const std::vector<int>& fields, const std::vector<Variant>& values) {
  engine::Table& t = Table();
  const bool ok = t.InsertRecords(fields, values);
  m_lastError = t.LastError();
  return ok ? 0 : kFailed;
}

int TBFTable::SetField(const std::vector<std::int64_t>& recnos, int field, const Variant& value) {
  engine::Table& t = Table();
  const bool ok = t.SetField(recnos, field, value);
  m_lastError = t.LastError();
  return ok ? 0 : kFailed;
}

std::chrono::milliseconds TableBusyWait() {
  return std::chrono::milliseconds(engine::BusyTimeout());
}

std::string TableFileText(const std::string& tablePath) {
  return ResolvePath(tablePath + ".DAT");
}

}  // namespace vorlend
