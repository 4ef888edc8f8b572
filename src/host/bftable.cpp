#include "host/bftable.h"

#include "engine/table.h"
#include "host/bftable_engine.h"
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

engine::Table& EngineTableOf(TBFTable& table) {
  if (!table.m_table) throw HostError("Tabulka není otevřena.");
  return *table.m_table;
}

namespace {

int OpenWith(const std::string& path, engine::OpenOptions options, std::unique_ptr<engine::Table>& table,
             std::string& lastError) {
  std::string error;
  bool busy = false;
  table = engine::Table::Open(path, error, options, &busy);
  lastError = table ? std::string() : error;
  return table ? 0 : busy ? kTableBusy : kFailed;
}

}  // namespace

int TBFTable::OpenTable(const std::string& path) {
  CloseTable();
  return OpenWith(path, engine::OpenOptions{}, m_table, m_lastError);
}

int TBFTable::OpenTable(const std::string& path, OwnTableMode mode) {
  CloseTable();
  // Never through a link; read, read-only and as it stands.
  const bool read = mode == OwnTableMode::Read;
  return OpenWith(path, engine::OpenOptions{true, read, read}, m_table, m_lastError);
}

void TBFTable::CloseTable() {
  m_table.reset();
}

bool TBFTable::IsOpen() const {
  return m_table != nullptr;
}

std::string TBFTable::IntegrityCheck() {
  return EngineTableOf(*this).IntegrityCheck();
}

int TBFTable::RecCount() {
  const std::int64_t count = EngineTableOf(*this).RecordCount();
  return count > INT32_MAX ? INT32_MAX : static_cast<int>(count);
}

int TBFTable::SetOrder(const std::string& indexName) {
  return EngineTableOf(*this).SetOrder(indexName) ? 0 : kFailed;
}

int TBFTable::GoTop() {
  return EngineTableOf(*this).GoTop() ? 0 : kFailed;
}

int TBFTable::Skip() {
  EngineTableOf(*this).Skip();
  return 0;
}

bool TBFTable::IsEof() {
  return EngineTableOf(*this).Eof();
}

int TBFTable::Seek1(const Variant& key) {
  m_keys.assign(1, key);
  return EngineTableOf(*this).Seek(m_keys) ? kSeekFound : kNotFound;
}

int TBFTable::Seek2(const Variant& key1, const Variant& key2) {
  return EngineTableOf(*this).Seek({key1, key2}) ? kSeekFound : kNotFound;
}

int TBFTable::SeekN(const std::vector<Variant>& keys) {
  return EngineTableOf(*this).Seek(keys) ? kSeekFound : kNotFound;
}

int TBFTable::AppendBlank() {
  EngineTableOf(*this).AppendBlank();
  return 0;
}

int TBFTable::Post() {
  engine::Table& t = EngineTableOf(*this);
  const bool ok = t.Post();
  m_lastError = t.LastError();
  if (ok) return 0;
  return t.LastFailureBusy() ? kTableBusy : kFailed;
}

int TBFTable::LockRecord() {
  engine::Table& t = EngineTableOf(*this);
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
  engine::Table& t = EngineTableOf(*this);
  if (!g_transactionsAvailable) return kTransactionUnavailable;
  const bool ok = t.BeginTransaction(synced);
  m_lastError = t.LastError();
  if (ok) return 0;
  return t.LastFailureBusy() ? kTableBusy : kFailed;
}

int TBFTable::Commit(bool synced) {
  engine::Table& t = EngineTableOf(*this);
  const bool ok = t.CommitTransaction(synced);
  m_lastError = t.LastError();
  return ok ? 0 : kFailed;
}

int TBFTable::DeferIndexes() {
  engine::Table& t = EngineTableOf(*this);
  if (!g_transactionsAvailable) return kTransactionUnavailable;
  const bool ok = t.DeferIndexes();
  m_lastError = t.LastError();
  return ok ? 0 : kFailed;
}

int TBFTable::BuildDeferredIndexes() {
  engine::Table& t = EngineTableOf(*this);
  const bool ok = t.BuildDeferredIndexes();
  m_lastError = t.LastError();
  return ok ? 0 : kFailed;
}

void TBFTable::Rollback() {
  if (m_table) m_table->RollbackTransaction();
}

int TBFTable::EditRecord() {
  return EngineTableOf(*this).HasRecord() ? 0 : kFailed;
}

int TBFTable::DeleteRecord() {
  engine::Table& t = EngineTableOf(*this);
  const bool ok = t.DeleteRecord();
  m_lastError = t.LastError();
  return ok ? 0 : kFailed;
}

Variant TBFTable::Value(const std::string& field) {
  return EngineTableOf(*this).Value(field);
}

void TBFTable::SetValue(const std::string& field, const Variant& value) {
  EngineTableOf(*this).SetValue(field, value);
}

int TBFTable::FieldIndex(const std::string& field) {
  return EngineTableOf(*this).RequireField(field);
}

Variant TBFTable::Value(int field) {
  return EngineTableOf(*this).Value(field);
}

std::int64_t TBFTable::RecordNumber() {
  return EngineTableOf(*this).RecordNumber();
}

int TBFTable::LockRecordForBlock() {
  engine::Table& t = EngineTableOf(*this);
  const bool ok = t.LockRecordForBlock();
  m_lastError = t.LastError();
  if (ok) return 0;
  return t.LastFailureLockFile() ? kLockRecordUnavailable : kFailed;
}

void TBFTable::ReadRecords(const std::vector<std::int64_t>& recnos, const std::vector<int>& fields,
                           std::vector<std::int64_t>& found, std::vector<Variant>& values) {
  EngineTableOf(*this).ReadRecords(recnos, fields, found, values);
}

void TBFTable::ReadRecordsAfter(std::int64_t after, std::size_t limit, const std::vector<int>& fields,
                                std::vector<std::int64_t>& found, std::vector<Variant>& values) {
  EngineTableOf(*this).ReadRecordsAfter(after, limit, fields, found, values);
}

int TBFTable::InsertRecords(const std::vector<int>& fields, const std::vector<Variant>& values) {
  engine::Table& t = EngineTableOf(*this);
  const bool ok = t.InsertRecords(fields, values);
  m_lastError = t.LastError();
  return ok ? 0 : kFailed;
}

int TBFTable::SetField(const std::vector<std::int64_t>& recnos, int field, const Variant& value) {
  engine::Table& t = EngineTableOf(*this);
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

bool FindDocument(TBFTable& table, std::int32_t key) {
  return table.Seek1(Variant::FromInt(key)) == kSeekFound;
}

}  // namespace vorlend
