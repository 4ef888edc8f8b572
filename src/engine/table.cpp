// Opening a table (its files checked, its fields and indexes read, the statement texts built)
// and the current record's values. The walk is in table_walk.cpp, the writes in table_write.cpp.
#include "engine/table.h"

#include <algorithm>
#include <cerrno>

#include "engine/host_error.h"
#include "engine/table_files.h"
#include "platform/files.h"
#include "platform/text.h"

namespace vorlend::engine {

namespace {

// A writer that holds the table longer than this makes a post fail as busy, and the user decides
// as for a held document (a second, like the batch tool's wait for a held document); ordinary
// commits take microseconds, a block's synced commit milliseconds.
int g_busyTimeoutMs = 1000;

// Runs a one-off query (schema reading) row by row; false with the SQLite message on failure.
template <typename RowFn>
bool QueryRows(sqlite3* db, const std::string& sql, std::string& error, RowFn onRow) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
    error = SqliteMessage(db);
    sqlite3_finalize(stmt);
    return false;
  }
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) onRow(stmt);
  if (rc != SQLITE_DONE) error = SqliteMessage(db);
  sqlite3_finalize(stmt);
  return rc == SQLITE_DONE;
}

std::string ColumnText(sqlite3_stmt* stmt, int column) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
  return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt, column))) : std::string();
}

}  // namespace

void SetBusyTimeout(int milliseconds) {
  g_busyTimeoutMs = milliseconds;
}
int BusyTimeout() {
  return g_busyTimeoutMs;
}

std::unique_ptr<Table> Table::Open(const std::string& path, std::string& error, OpenOptions options, bool* busy) {
  std::unique_ptr<Table> table(new Table());
  if (busy) *busy = false;
  if (!table->Load(path, error, options)) {
    const int code = table->m_db ? sqlite3_extended_errcode(table->m_db) & 0xff : SQLITE_OK;
    if (busy) *busy = code == SQLITE_BUSY || code == SQLITE_LOCKED;
    // Opening makes the log files beside the table: a full disk stops it there.
    if (OutOfSpace(table->m_db)) NoteWriteFailure(ENOSPC, table->m_datPath);
    return nullptr;
  }
  return table;
}

Table::~Table() {
  // Closing the connection rolls back an open transaction; closing the lock file drops every
  // record lock this handle holds.
  m_inTransaction = false;
  ReleaseLock();
  m_lockFile.Close();
  m_statements.reset();
  sqlite3_close_v2(m_db);
}

bool Table::Load(const std::string& path, std::string& error, OpenOptions options) {
  const TablePaths paths = ResolveTablePaths(path);
  m_datPath = paths.dat;
  m_diaPath = paths.dia;
  if (!CheckTableFiles(error, options) || !OpenConnection(error, options) || !CheckIsTable(error) ||
      !ReadFields(error) || !ReadIndexes(error)) {
    return false;
  }
  // Touches the right edge of the records; a database cut short usually fails here already.
  if (!QueryRows(m_db, "SELECT max(" + QuoteIdent(kRecNoColumn) + ") FROM " + QuoteIdent(kRecordsTable), error,
                 [](sqlite3_stmt*) {})) {
    return false;
  }
  if (!m_lockFile.Open(m_diaPath, error, !options.readOnly, options.noFollow)) return false;
  PrepareRecordBuffers();
  try {
    static_cast<void>(GoTop());  // an empty table opens at eof
  } catch (const HostError& e) {
    error = e.what();
    return false;
  }
  return true;
}

// Only regular files: a FIFO or a device in a table's place would block or never end a read.
// Without following links, a link is no table either.
bool Table::CheckTableFiles(std::string& error, OpenOptions options) const {
  if (!FileExists(m_datPath)) {
    error = "soubor neexistuje: " + m_datPath;
    return false;
  }
  if (TypeOfEntry(m_datPath, !options.noFollow) != EntryType::PlainFile ||
      TypeOfEntry(m_diaPath, !options.noFollow) == EntryType::Other) {
    error = "není tabulkou: " + m_datPath;
    return false;
  }
  return true;
}

// Opened read-write but never created, and nothing is written while opening: the journal mode
// belongs to the file and was set when the table was created. SQLite refuses a link in the
// table's place itself when it must not follow one, so a link put there meanwhile is refused too.
bool Table::OpenConnection(std::string& error, OpenOptions options) {
  const int nofollow = options.noFollow ? SQLITE_OPEN_NOFOLLOW : 0;
  // Closed cleanly: everything is in the .dat, read as it stands with nothing created beside it.
  const bool asStored = options.readOnly && options.asStored && !PathExists(m_datPath + "-wal");
  const int flags = options.readOnly || asStored ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
  if (OpenDatabase(m_datPath, flags | SQLITE_OPEN_NOMUTEX | nofollow, &m_db, asStored) != SQLITE_OK) {
    error = SqliteMessage(m_db);
    return false;
  }
  sqlite3_extended_result_codes(m_db, 1);
  sqlite3_busy_timeout(m_db, g_busyTimeoutMs);
  return true;
}

std::string Table::IntegrityCheck() {
  std::string result, error;
  const bool ran = QueryRows(m_db, "PRAGMA integrity_check", error,
                             [&](sqlite3_stmt* s) { result += (result.empty() ? "" : "\n") + ColumnText(s, 0); });
  return ran ? result : error;
}

// The first reads of the file: a text file, an empty or a truncated database fails here.
bool Table::CheckIsTable(std::string& error) {
  int applicationId = 0;
  auto readApplicationId = [&] {
    return QueryRows(m_db, "PRAGMA application_id", error,
                     [&](sqlite3_stmt* s) { applicationId = sqlite3_column_int(s, 0); });
  };
  if (!readApplicationId() && !(ReopenAsStored(error) && readApplicationId())) return false;
  if (applicationId != kTableApplicationId) {
    error = "soubor není tabulka: " + m_datPath;
    return false;
  }
  // SQLite writes whole pages only, so a file cut inside a page is damaged even where SQLite
  // would read the missing tail as zeros. The size is looked up without opening the file: closing
  // it again would drop SQLite's own locks on it.
  int pageSize = 0;
  if (!QueryRows(m_db, "PRAGMA page_size", error, [&](sqlite3_stmt* s) { pageSize = sqlite3_column_int(s, 0); })) {
    return false;
  }
  const std::int64_t fileSize = FileSizeOf(m_datPath);
  if (fileSize < 0 || pageSize <= 0 || fileSize % pageSize != 0) {
    error = "poškozená tabulka (soubor je zkrácený): " + m_datPath;
    return false;
  }
  return QueryRows(m_db, "PRAGMA synchronous=NORMAL", error, [](sqlite3_stmt*) {});
}

// A table in a folder that takes no new files (read-only storage, an archive copied to a
// read-only share): SQLite cannot create the files of its write-ahead log. A table closed cleanly
// has everything in its .dat, so it is read as it stands; any write then fails. False when the
// first read failed for another reason.
bool Table::ReopenAsStored(std::string& error) {
  const int code = sqlite3_extended_errcode(m_db) & 0xff;
  if ((code != SQLITE_CANTOPEN && code != SQLITE_READONLY) || FolderTakesNewFiles(ExtractFilePath(m_datPath)) ||
      FileExists(m_datPath + "-wal")) {
    return false;
  }
  sqlite3_close_v2(m_db);
  m_db = nullptr;
  if (OpenDatabase(m_datPath, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, &m_db, true) != SQLITE_OK) {
    error = SqliteMessage(m_db);
    return false;
  }
  sqlite3_extended_result_codes(m_db, 1);
  return true;
}

bool Table::ReadFields(std::string& error) {
  bool schemaOk = true;
  bool sawRecNo = false;
  if (!QueryRows(m_db, "PRAGMA table_info(" + QuoteIdent(kRecordsTable) + ")", error, [&](sqlite3_stmt* s) {
        const std::string name = ColumnText(s, 1);
        if (name == kRecNoColumn) {
          sawRecNo = true;
          return;
        }
        const auto type = FieldTypeFromDeclared(ColumnText(s, 2));
        if (!type) schemaOk = false;
        m_fields.push_back(FieldDef{name, type.value_or(FieldType::Untyped)});
      })) {
    return false;
  }
  if (!schemaOk || !sawRecNo || m_fields.empty()) {
    error = "soubor není tabulka: " + m_datPath;
    return false;
  }
  return true;
}

bool Table::ReadIndexes(std::string& error) {
  std::vector<std::string> indexNames;
  if (!QueryRows(m_db,
                 "SELECT name FROM sqlite_schema WHERE type='index' AND tbl_name='" + std::string(kRecordsTable) +
                     "' AND substr(name,1,3)='" + kIndexPrefix + "' ORDER BY rowid",
                 error, [&](sqlite3_stmt* s) { indexNames.push_back(ColumnText(s, 0)); })) {
    return false;
  }
  for (const std::string& sqliteName : indexNames) {
    IndexDef index;
    index.name = sqliteName.substr(3);
    if (!QueryRows(m_db, "PRAGMA index_info(" + QuoteIdent(sqliteName) + ")", error,
                   [&](sqlite3_stmt* s) { index.fields.push_back(FieldIndex(ColumnText(s, 2))); })) {
      return false;
    }
    if (std::find(index.fields.begin(), index.fields.end(), -1) != index.fields.end()) {
      error = "poškozený index " + index.name + ": " + m_datPath;
      return false;
    }
    m_indexes.push_back(std::move(index));
  }
  return true;
}

// The statement texts built once per table, and the buffers of the current record.
void Table::PrepareRecordBuffers() {
  m_wanted.assign(m_fields.size(), 0);
  m_selectList = QuoteIdent(kRecNoColumn);
  for (const FieldDef& f : m_fields) m_selectList += "," + QuoteIdent(f.name);
  m_rereadSql = SelectSql() + " WHERE " + QuoteIdent(kRecNoColumn) + "=?";
  std::string columns, marks;
  for (std::size_t j = 0; j < m_fields.size(); ++j) {
    columns += (j ? "," : "") + QuoteIdent(m_fields[j].name);
    marks += j ? ",?" : "?";
  }
  m_insertSql = "INSERT INTO " + QuoteIdent(kRecordsTable) + "(" + columns + ") VALUES(" + marks + ")";
  BuildOrderBySql();
  m_statements = std::make_unique<StatementCache>(m_db);
  m_cells.resize(m_fields.size());
  m_current = m_cells.data();
  m_currentBytes = &m_cellBytes;
  m_row.resize(m_fields.size());
  m_rowReady.assign(m_fields.size(), 0);
  m_pending.resize(m_fields.size());
  m_dirty.assign(m_fields.size(), 0);
}

bool Table::DeferIndexes() {
  ClearFailure();
  if (!m_deferredIndexSql.empty()) return true;
  if (m_inTransaction) {
    FailWith("Tabulka " + m_datPath + " má otevřenou transakci.");
    return false;
  }
  std::vector<std::pair<std::string, std::string>> indexes;  // name, CREATE INDEX
  std::string error;
  if (!QueryRows(m_db,
                 "SELECT name, sql FROM sqlite_schema WHERE type='index' AND tbl_name='" + std::string(kRecordsTable) +
                     "' AND substr(name,1,3)='" + kIndexPrefix + "' ORDER BY rowid",
                 error, [&](sqlite3_stmt* s) { indexes.emplace_back(ColumnText(s, 0), ColumnText(s, 1)); })) {
    FailWith("Nelze číst databázi " + m_datPath + ": " + error);
    return false;
  }
  if (indexes.empty()) return true;
  if (!Begin()) return false;
  for (const auto& [name, sql] : indexes) {
    if (sqlite3_exec(m_db, ("DROP INDEX " + QuoteIdent(name)).c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
      FailWith("Nelze zapsat do databáze " + m_datPath + ": " + SqliteMessage(m_db));
      Rollback();
      return false;
    }
  }
  m_schemaChanged = true;
  if (!Commit()) return false;
  for (auto& index : indexes) m_deferredIndexSql.push_back(std::move(index.second));
  return true;
}

bool Table::BuildDeferredIndexes() {
  ClearFailure();
  if (m_deferredIndexSql.empty()) return true;
  if (m_inTransaction) {
    FailWith("Tabulka " + m_datPath + " má otevřenou transakci.");
    return false;
  }
  if (!Begin()) return false;
  for (const std::string& sql : m_deferredIndexSql) {
    if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
      FailWith("Nelze zapsat do databáze " + m_datPath + ": " + SqliteMessage(m_db));
      Rollback();
      return false;
    }
  }
  m_schemaChanged = true;
  if (!Commit()) return false;
  m_deferredIndexSql.clear();
  return true;
}

std::vector<std::string> Table::IndexNames() const {
  std::vector<std::string> names;
  for (const IndexDef& index : m_indexes) names.push_back(index.name);
  return names;
}

int Table::FieldIndex(std::string_view name) const {
  // Callers nearly always spell a field as it was declared; that costs one comparison.
  for (std::size_t i = 0; i < m_fields.size(); ++i)
    if (m_fields[i].name == name) return static_cast<int>(i);
  for (std::size_t i = 0; i < m_fields.size(); ++i)
    if (SameFieldName(m_fields[i].name, name)) return static_cast<int>(i);
  return -1;
}

int Table::RequireField(std::string_view name) const {
  const int index = FieldIndex(name);
  if (index < 0) throw HostError("Pole \"" + std::string(name) + "\" v tabulce " + m_datPath + " neexistuje.");
  return index;
}

void Table::RequireRecord(std::string_view field) const {
  if (!HasRecord())
    throw HostError("Tabulka " + m_datPath + " nestojí na žádném záznamu (pole \"" + std::string(field) + "\").");
}

Variant Table::CurrentValue(std::size_t field) {
  if (m_rowReady[field]) return m_row[field];
  if (m_current[field].storage == kStorageNotRead) {
    // A field first read in the middle of a block: the whole record is read again, and the
    // blocks that follow carry the field.
    MarkWanted(field);
    if (!RereadCurrent())
      throw HostError("Záznam tabulky " + m_datPath + " mezitím někdo smazal (pole \"" + m_fields[field].name + "\").");
  }
  return ToVariant(m_current[field], *m_currentBytes, m_fields[field].type);
}

void Table::SetStoredValue(std::size_t field, Variant value) {
  m_row[field] = std::move(value);
  m_rowReady[field] = 1;
}

void Table::CapturePositionKey() {
  m_positionKey.clear();
  for (int f : OrderFields()) m_positionKey.push_back(CurrentValue(static_cast<std::size_t>(f)));
}

void Table::DiscardChanges() {
  if (m_anyDirty) {
    std::fill(m_dirty.begin(), m_dirty.end(), 0);
    m_anyDirty = false;
  }
}

void Table::AppendBlank() {
  DiscardChanges();
  DropReadAhead();
  for (std::size_t j = 0; j < m_fields.size(); ++j) SetStoredValue(j, BlankValue(m_fields[j].type));
  m_recno = 0;
  m_state = State::New;
}

Variant Table::Value(std::string_view field) {
  const int index = RequireField(field);
  RequireRecord(field);
  return Value(index);
}

Variant Table::Value(int field) {
  const auto j = static_cast<std::size_t>(field);
  if (j >= m_fields.size())
    throw HostError("Pole č. " + std::to_string(field) + " v tabulce " + m_datPath + " neexistuje.");
  RequireRecord(m_fields[j].name);
  MarkWanted(j);
  return m_dirty[j] ? m_pending[j] : CurrentValue(j);
}

void Table::ConvertFor(std::size_t field, const Variant& v, Variant& out) const {
  const FieldDef& def = m_fields[field];
  if (!ConvertForField(v, def.type, out))
    throw HostError("Hodnotu \"" + v.ToString() + "\" nelze zapsat do pole \"" + def.name + "\" (" +
                    FieldTypeName(def.type) + ") tabulky " + m_datPath + ".");
}

void Table::SetValue(std::string_view field, const Variant& v) {
  SetValue(RequireField(field), v);
}

void Table::SetValue(int field, const Variant& v) {
  const auto j = static_cast<std::size_t>(field);
  if (j >= m_fields.size())
    throw HostError("Pole č. " + std::to_string(field) + " v tabulce " + m_datPath + " neexistuje.");
  RequireRecord(m_fields[j].name);
  Variant converted;
  ConvertFor(j, v, converted);
  m_pending[j] = std::move(converted);
  m_dirty[j] = 1;
  m_anyDirty = true;
}

}  // namespace vorlend::engine
