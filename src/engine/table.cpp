#include "engine/table.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>

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
// Rows read ahead per query while walking: enough to make a walk cost about what a plain
// SQLite loop costs, few enough to keep memory flat.
constexpr std::size_t BlockRows = 256;
// Rows read ahead are dropped after this long, so a walk that pauses (a question to the user)
// goes on from fresh data.
constexpr std::chrono::milliseconds ReadAheadLifetime{100};

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

// True when a new file can be made in the folder (tried with a probe that is removed at once).
bool FolderTakesNewFiles(const std::string& folder) {
  const std::string probe = folder + ".vorlend-probe-" + std::to_string(::getpid());
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return errno == EEXIST;
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

// A path as the path of a "file:" URI: the characters a URI gives a meaning to are escaped.
std::string UriPath(const std::string& path) {
  std::string out;
  for (const char c : path) {
    if (c == '%' || c == '?' || c == '#') {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

std::string ColumnText(sqlite3_stmt* stmt, int column) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
  return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt, column))) : std::string();
}

}  // namespace

void SetBusyTimeout(int milliseconds) { g_busyTimeoutMs = milliseconds; }

std::unique_ptr<Table> Table::Open(const std::string& path, std::string& error, OpenOptions options) {
  std::unique_ptr<Table> table(new Table());
  if (!table->load(path, error, options)) {
    // Opening makes the log files beside the table: a full disk stops it there.
    if (table->m_db && ((sqlite3_extended_errcode(table->m_db) & 0xff) == SQLITE_FULL ||
                        sqlite3_system_errno(table->m_db) == ENOSPC || sqlite3_system_errno(table->m_db) == EDQUOT)) {
      NoteWriteFailure(ENOSPC, table->m_datPath);
    }
    return nullptr;
  }
  return table;
}

Table::~Table() {
  // Closing the connection rolls back an open transaction; closing the lock file drops every
  // record lock this handle holds.
  m_inTransaction = false;
  releaseLock();
  m_lockFile.close();
  m_statements.reset();
  sqlite3_close_v2(m_db);
}

bool Table::load(const std::string& path, std::string& error, OpenOptions options) {
  const TablePaths paths = ResolveTablePaths(path);
  m_datPath = paths.dat;
  m_diaPath = paths.dia;
  if (!checkTableFiles(error, options) || !openConnection(error, options) || !checkIsTable(error) ||
      !readFields(error) || !readIndexes(error)) {
    return false;
  }
  // Touches the right edge of the records; a database cut short usually fails here already.
  if (!QueryRows(m_db, "SELECT max(" + QuoteIdent(RecNoColumn) + ") FROM " + QuoteIdent(RecordsTable), error,
                 [](sqlite3_stmt*) {})) {
    return false;
  }
  if (!m_lockFile.open(m_diaPath, error, !options.readOnly, options.noFollow)) return false;
  prepareRecordBuffers();
  try {
    goTop();
  } catch (const HostError& e) {
    error = e.what();
    return false;
  }
  return true;
}

// Only regular files: a FIFO or a device in a table's place would block or never end a read.
// Without following links, a link is no table either.
bool Table::checkTableFiles(std::string& error, OpenOptions options) const {
  if (!FileExists(m_datPath)) {
    error = "soubor neexistuje: " + m_datPath;
    return false;
  }
  std::error_code ec;
  auto status = [&](const std::string& file) {
    return options.noFollow ? std::filesystem::symlink_status(file, ec) : std::filesystem::status(file, ec);
  };
  const auto dia = status(m_diaPath);
  if (status(m_datPath).type() != std::filesystem::file_type::regular ||
      (dia.type() != std::filesystem::file_type::not_found && dia.type() != std::filesystem::file_type::regular)) {
    error = "není tabulkou: " + m_datPath;
    return false;
  }
  return true;
}

// Opened read-write but never created, and nothing is written while opening: the journal mode
// belongs to the file and was set when the table was created. SQLite refuses a link in the
// table's place itself when it must not follow one, so a link put there meanwhile is refused too.
bool Table::openConnection(std::string& error, OpenOptions options) {
  const int nofollow = options.noFollow ? SQLITE_OPEN_NOFOLLOW : 0;
  // Closed cleanly: everything is in the .dat, read as it stands with nothing created beside it.
  const bool asStored = options.readOnly && options.asStored && !PathExists(m_datPath + "-wal");
  const int flags = asStored ? SQLITE_OPEN_READONLY | SQLITE_OPEN_URI
                             : (options.readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE);
  const std::string name = asStored ? "file:" + UriPath(m_datPath) + "?immutable=1" : m_datPath;
  if (sqlite3_open_v2(name.c_str(), &m_db, flags | SQLITE_OPEN_NOMUTEX | nofollow, nullptr) != SQLITE_OK) {
    error = SqliteMessage(m_db);
    return false;
  }
  sqlite3_extended_result_codes(m_db, 1);
  sqlite3_busy_timeout(m_db, g_busyTimeoutMs);
  return true;
}

// The first reads of the file: a text file, an empty or a truncated database fails here.
bool Table::checkIsTable(std::string& error) {
  int applicationId = 0;
  auto readApplicationId = [&] {
    return QueryRows(m_db, "PRAGMA application_id", error,
                     [&](sqlite3_stmt* s) { applicationId = sqlite3_column_int(s, 0); });
  };
  if (!readApplicationId() && !(reopenAsStored(error) && readApplicationId())) return false;
  if (applicationId != TableApplicationId) {
    error = "soubor není tabulka: " + m_datPath;
    return false;
  }
  // SQLite writes whole pages only, so a file cut inside a page is damaged even where SQLite
  // would read the missing tail as zeros. The size comes from stat: opening the file here would
  // drop SQLite's own locks on it when closed.
  int pageSize = 0;
  if (!QueryRows(m_db, "PRAGMA page_size", error, [&](sqlite3_stmt* s) { pageSize = sqlite3_column_int(s, 0); })) {
    return false;
  }
  std::error_code ec;
  const auto fileSize = std::filesystem::file_size(m_datPath, ec);
  if (ec || pageSize <= 0 || fileSize % static_cast<std::uintmax_t>(pageSize) != 0) {
    error = "poškozená tabulka (soubor je zkrácený): " + m_datPath;
    return false;
  }
  return QueryRows(m_db, "PRAGMA synchronous=NORMAL", error, [](sqlite3_stmt*) {});
}

// A table in a folder that takes no new files (read-only storage, an archive copied to a
// read-only share): SQLite cannot create the files of its write-ahead log. A table closed cleanly
// has everything in its .dat, so it is read as it stands; any write then fails. False when the
// first read failed for another reason.
bool Table::reopenAsStored(std::string& error) {
  const int code = sqlite3_extended_errcode(m_db) & 0xff;
  if ((code != SQLITE_CANTOPEN && code != SQLITE_READONLY) || FolderTakesNewFiles(ExtractFilePath(m_datPath)) ||
      FileExists(m_datPath + "-wal")) {
    return false;
  }
  sqlite3_close_v2(m_db);
  m_db = nullptr;
  const std::string uri = "file:" + UriPath(m_datPath) + "?immutable=1";
  if (sqlite3_open_v2(uri.c_str(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    error = SqliteMessage(m_db);
    return false;
  }
  sqlite3_extended_result_codes(m_db, 1);
  return true;
}

bool Table::readFields(std::string& error) {
  bool schemaOk = true;
  bool sawRecNo = false;
  if (!QueryRows(m_db, "PRAGMA table_info(" + QuoteIdent(RecordsTable) + ")", error, [&](sqlite3_stmt* s) {
        const std::string name = ColumnText(s, 1);
        if (name == RecNoColumn) {
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

bool Table::readIndexes(std::string& error) {
  std::vector<std::string> indexNames;
  if (!QueryRows(m_db,
                 "SELECT name FROM sqlite_schema WHERE type='index' AND tbl_name='" + std::string(RecordsTable) +
                     "' AND substr(name,1,3)='" + IndexPrefix + "' ORDER BY rowid",
                 error, [&](sqlite3_stmt* s) { indexNames.push_back(ColumnText(s, 0)); })) {
    return false;
  }
  for (const std::string& sqliteName : indexNames) {
    IndexDef index;
    index.name = sqliteName.substr(3);
    if (!QueryRows(m_db, "PRAGMA index_info(" + QuoteIdent(sqliteName) + ")", error,
                   [&](sqlite3_stmt* s) { index.fields.push_back(fieldIndex(ColumnText(s, 2))); })) {
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
void Table::prepareRecordBuffers() {
  m_wanted.assign(m_fields.size(), 0);
  m_selectList = QuoteIdent(RecNoColumn);
  for (const FieldDef& f : m_fields) m_selectList += "," + QuoteIdent(f.name);
  m_rereadSql = selectSql() + " WHERE " + QuoteIdent(RecNoColumn) + "=?";
  std::string columns, marks;
  for (std::size_t j = 0; j < m_fields.size(); ++j) {
    columns += (j ? "," : "") + QuoteIdent(m_fields[j].name);
    marks += j ? ",?" : "?";
  }
  m_insertSql = "INSERT INTO " + QuoteIdent(RecordsTable) + "(" + columns + ") VALUES(" + marks + ")";
  buildOrderBySql();
  m_statements = std::make_unique<StatementCache>(m_db);
  m_cells.resize(m_fields.size());
  m_current = m_cells.data();
  m_currentBytes = &m_cellBytes;
  m_row.resize(m_fields.size());
  m_rowReady.assign(m_fields.size(), 0);
  m_pending.resize(m_fields.size());
  m_dirty.assign(m_fields.size(), 0);
}

std::vector<std::string> Table::indexNames() const {
  std::vector<std::string> names;
  for (const IndexDef& index : m_indexes) names.push_back(index.name);
  return names;
}

int Table::fieldIndex(std::string_view name) const {
  // Callers nearly always spell a field as it was declared; that costs one comparison.
  for (std::size_t i = 0; i < m_fields.size(); ++i)
    if (m_fields[i].name == name) return static_cast<int>(i);
  for (std::size_t i = 0; i < m_fields.size(); ++i)
    if (SameFieldName(m_fields[i].name, name)) return static_cast<int>(i);
  return -1;
}

int Table::requireField(std::string_view name) const {
  const int index = fieldIndex(name);
  if (index < 0) throw HostError("Pole \"" + std::string(name) + "\" v tabulce " + m_datPath + " neexistuje.");
  return index;
}

void Table::requireRecord(std::string_view field) const {
  if (!hasRecord())
    throw HostError("Tabulka " + m_datPath + " nestojí na žádném záznamu (pole \"" + std::string(field) + "\").");
}

Variant Table::storedValue(std::size_t field) {
  if (m_rowReady[field]) return m_row[field];
  if (m_current[field].storage == StorageNotRead) {
    // A field first read in the middle of a block: the whole record is read again, and the
    // blocks that follow carry the field.
    markWanted(field);
    if (!rereadCurrent())
      throw HostError("Záznam tabulky " + m_datPath + " mezitím někdo smazal (pole \"" + m_fields[field].name + "\").");
  }
  return ToVariant(m_current[field], *m_currentBytes, m_fields[field].type);
}

void Table::setStoredValue(std::size_t field, Variant value) {
  m_row[field] = std::move(value);
  m_rowReady[field] = 1;
}

void Table::capturePositionKey() {
  m_positionKey.clear();
  for (int f : orderFields()) m_positionKey.push_back(storedValue(static_cast<std::size_t>(f)));
}

void Table::discardChanges() {
  if (m_anyDirty) {
    std::fill(m_dirty.begin(), m_dirty.end(), 0);
    m_anyDirty = false;
  }
}

void Table::dropReadAhead() {
  if (m_currentBytes == &m_aheadBytes) {
    // The current record stays readable after the block is gone.
    m_cellBytes.clear();
    for (std::size_t j = 0; j < m_fields.size(); ++j) {
      m_cells[j] = m_current[j];
      if (m_cells[j].storage == SQLITE_TEXT || m_cells[j].storage == SQLITE_BLOB) {
        m_cells[j].offset = static_cast<std::uint32_t>(m_cellBytes.size());
        m_cellBytes.append(m_aheadBytes, m_current[j].offset, m_current[j].length);
      }
    }
    m_current = m_cells.data();
    m_currentBytes = &m_cellBytes;
  }
  m_aheadBytes.clear();
  m_aheadCount = 0;
  m_aheadNext = 0;
  m_aheadReachesEnd = false;
}

void Table::releaseLock() {
  if (m_lockedRecno != 0) {
    // Inside a transaction the record may carry a change nobody else may see or overwrite
    // before the commit: its lock is kept until the transaction ends.
    if (m_inTransaction) m_heldLocks.push_back(m_lockedRecno);
    else m_lockFile.unlock(m_lockedRecno);
    m_lockedRecno = 0;
  }
}

const std::vector<int>& Table::orderFields() const {
  static const std::vector<int> none;
  return m_order < 0 ? none : m_indexes[static_cast<std::size_t>(m_order)].fields;
}

const std::string& Table::order() const {
  static const std::string none;
  return m_order < 0 ? none : m_indexes[static_cast<std::size_t>(m_order)].name;
}

std::string Table::selectSql(bool readFieldsOnly) {
  if (!readFieldsOnly) return "SELECT " + m_selectList + " FROM " + QuoteIdent(RecordsTable);
  updateBlockFields();
  std::string list = QuoteIdent(RecNoColumn);
  for (int f : m_blockFields) list += "," + QuoteIdent(m_fields[static_cast<std::size_t>(f)].name);
  return "SELECT " + list + " FROM " + QuoteIdent(RecordsTable);
}

void Table::updateBlockFields() {
  m_blockFields.clear();
  const std::vector<int>& keyFields = orderFields();
  for (std::size_t j = 0; j < m_fields.size(); ++j) {
    if (m_wanted[j] || std::find(keyFields.begin(), keyFields.end(), static_cast<int>(j)) != keyFields.end())
      m_blockFields.push_back(static_cast<int>(j));
  }
}

void Table::buildOrderBySql() {
  m_orderBySql.clear();
  for (int f : orderFields()) m_orderBySql += QuoteIdent(m_fields[static_cast<std::size_t>(f)].name) + ",";
  m_orderBySql += QuoteIdent(RecNoColumn);
}

void Table::markWanted(std::size_t field) {
  if (m_wanted[field]) return;
  m_wanted[field] = 1;
  ++m_wantedVersion;
}

std::size_t Table::readRows(sqlite3_stmt* stmt, std::size_t limit, const std::vector<int>* fields) {
  const std::size_t n = m_fields.size();
  std::size_t got = 0;
  while (got < limit) {
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) throw HostError("Chyba při čtení tabulky " + m_datPath + ": " + SqliteMessage(m_db));
    const std::size_t row = m_aheadCount;
    if (m_aheadRecnos.size() <= row) {
      m_aheadRecnos.resize(row + 1);
      m_aheadCells.resize((row + 1) * n);
    }
    m_aheadRecnos[row] = sqlite3_column_int64(stmt, 0);
    StoredValue* cells = &m_aheadCells[row * n];
    if (!fields) {
      for (std::size_t j = 0; j < n; ++j) ReadStored(stmt, static_cast<int>(j + 1), cells[j], m_aheadBytes);
    } else {
      for (std::size_t j = 0; j < n; ++j) cells[j].storage = StorageNotRead;
      int column = 1;
      for (int f : *fields) ReadStored(stmt, column++, cells[f], m_aheadBytes);
    }
    ++m_aheadCount;
    ++got;
  }
  return got;
}

bool Table::takeNextRow() {
  if (m_aheadNext >= m_aheadCount) return false;
  const std::size_t n = m_fields.size();
  m_current = &m_aheadCells[m_aheadNext * n];
  m_currentBytes = &m_aheadBytes;
  std::fill(m_rowReady.begin(), m_rowReady.end(), 0);
  m_recno = m_aheadRecnos[m_aheadNext];
  ++m_aheadNext;
  m_state = State::Record;
  discardChanges();
  capturePositionKey();
  return true;
}

// The records after the current position in the current order: first those with the same key
// and a higher record number, then those whose key is greater, one key part at a time from the
// last, so that every query is a range of the index.
void Table::fetchAfterPosition(std::size_t limit) {
  dropReadAhead();
  m_aheadTime = std::chrono::steady_clock::now();
  const std::vector<int>& keyFields = orderFields();
  const std::size_t parts = keyFields.size();
  for (std::size_t level = parts + 1; level-- > 0 && m_aheadCount < limit;) {
    std::string where;
    std::vector<const Variant*> binds;  // nullptr stands for the record number
    const std::size_t equalParts = level == parts ? parts : level;
    for (std::size_t j = 0; j < equalParts; ++j) {
      const std::string column = QuoteIdent(m_fields[static_cast<std::size_t>(keyFields[j])].name);
      if (m_positionKey[j].isNull()) {
        where += column + " IS NULL AND ";
      } else {
        where += column + "=? AND ";
        binds.push_back(&m_positionKey[j]);
      }
    }
    if (level == parts) {
      where += QuoteIdent(RecNoColumn) + ">?";
      binds.push_back(nullptr);
    } else {
      const std::string column = QuoteIdent(m_fields[static_cast<std::size_t>(keyFields[level])].name);
      if (m_positionKey[level].isNull()) {
        where += column + " IS NOT NULL";
      } else {
        where += column + ">?";
        binds.push_back(&m_positionKey[level]);
      }
    }
    StatementUse use(m_statements->get(selectSql(true) + " WHERE " + where + " ORDER BY " + orderBySql() +
                                       " LIMIT ?"));
    int i = 1;
    for (const Variant* v : binds) {
      if (!v)
        sqlite3_bind_int64(use.get(), i++, m_recno);
      else
        BindValue(use.get(), i++, *v);
    }
    sqlite3_bind_int64(use.get(), i, static_cast<sqlite3_int64>(limit - m_aheadCount));
    readRows(use.get(), limit - m_aheadCount, &m_blockFields);
  }
  m_aheadReachesEnd = m_aheadCount < limit;
}

std::int64_t Table::recordCount() {
  StatementUse use(m_statements->get("SELECT count(*) FROM " + QuoteIdent(RecordsTable)));
  if (sqlite3_step(use.get()) != SQLITE_ROW)
    throw HostError("Chyba při čtení tabulky " + m_datPath + ": " + SqliteMessage(m_db));
  return sqlite3_column_int64(use.get(), 0);
}

bool Table::setOrder(std::string_view indexName) {
  int found = -1;
  if (!indexName.empty()) {
    for (std::size_t i = 0; i < m_indexes.size(); ++i)
      if (SameText(m_indexes[i].name, indexName)) found = static_cast<int>(i);
    if (found < 0) return false;
  }
  m_order = found;
  buildOrderBySql();
  dropReadAhead();
  if (m_state == State::Record || m_state == State::Gone) {
    try {
      capturePositionKey();
    } catch (const HostError&) {
      // The record vanished before its key in the new order was known: no place to go on from.
      m_state = State::Eof;
    }
  }
  return true;
}

bool Table::goTop() {
  discardChanges();
  dropReadAhead();
  m_aheadTime = std::chrono::steady_clock::now();
  StatementUse use(m_statements->get(selectSql() + " ORDER BY " + orderBySql() + " LIMIT 1"));
  readRows(use.get(), 1);
  if (takeNextRow()) return true;
  m_state = State::Eof;
  return false;
}

void Table::skip() {
  switch (m_state) {
    case State::Eof:
      return;
    case State::Nothing:
      goTop();
      return;
    case State::New:
      // An appended record that was never posted is dropped; it stood after the last record.
      discardChanges();
      m_state = State::Eof;
      return;
    case State::Record:
    case State::Gone:
      break;
  }
  discardChanges();
  // The clock is read at every step: after a pause (a question to the user) the walk must go on
  // from fresh data, not from rows read before it.
  const bool expired = std::chrono::steady_clock::now() - m_aheadTime > ReadAheadLifetime;
  if (expired || m_aheadNext >= m_aheadCount) {
    if (!expired && m_aheadReachesEnd) {
      m_state = State::Eof;
      return;
    }
    fetchAfterPosition(BlockRows);
  }
  if (!takeNextRow()) m_state = State::Eof;
}

bool Table::seek(const std::vector<Variant>& keys) {
  if (m_order < 0) throw HostError("Tabulka " + m_datPath + " nemá nastavený index pro hledání.");
  const std::vector<int>& keyFields = orderFields();
  if (keys.empty() || keys.size() > keyFields.size())
    throw HostError("Index " + order() + " tabulky " + m_datPath + " nemá " + std::to_string(keys.size()) +
                    " částí klíče.");
  discardChanges();
  dropReadAhead();
  m_aheadTime = std::chrono::steady_clock::now();

  std::vector<Variant> converted(keys.size());
  std::uint64_t nullKeys = 0;
  for (std::size_t j = 0; j < keys.size(); ++j) {
    const FieldDef& field = m_fields[static_cast<std::size_t>(keyFields[j])];
    // A key that cannot be a value of its field matches no record.
    if (!ConvertForField(keys[j], field.type, converted[j])) {
      m_state = State::Eof;
      return false;
    }
    if (converted[j].isNull()) nullKeys |= std::uint64_t{1} << (j % 64);
  }
  // The record found carries the fields read so far (and its key), like a block of a walk; a field
  // first read later reads the record again.
  SeekText& text = m_seekText;
  if (text.order != m_order || text.keys != keys.size() || text.nullKeys != nullKeys ||
      text.wantedVersion != m_wantedVersion || text.sql.empty()) {
    std::string where;
    for (std::size_t j = 0; j < keys.size(); ++j) {
      where += (j ? " AND " : "") + QuoteIdent(m_fields[static_cast<std::size_t>(keyFields[j])].name) +
               (converted[j].isNull() ? " IS NULL" : "=?");
    }
    text = SeekText{m_order, keys.size(), nullKeys, m_wantedVersion,
                    selectSql(true) + " WHERE " + where + " ORDER BY " + orderBySql() + " LIMIT 1"};
  } else {
    updateBlockFields();
  }
  StatementUse use(m_statements->get(text.sql));
  int i = 1;
  for (const Variant& key : converted)
    if (!key.isNull()) BindValue(use.get(), i++, key);
  readRows(use.get(), 1, &m_blockFields);
  if (takeNextRow()) return true;
  m_state = State::Eof;
  return false;
}

void Table::appendBlank() {
  discardChanges();
  dropReadAhead();
  for (std::size_t j = 0; j < m_fields.size(); ++j) setStoredValue(j, BlankValue(m_fields[j].type));
  m_recno = 0;
  m_state = State::New;
}

Variant Table::value(std::string_view field) {
  const int index = requireField(field);
  requireRecord(field);
  return value(index);
}

Variant Table::value(int field) {
  const auto j = static_cast<std::size_t>(field);
  if (j >= m_fields.size()) throw HostError("Pole č. " + std::to_string(field) + " v tabulce " + m_datPath + " neexistuje.");
  requireRecord(m_fields[j].name);
  markWanted(j);
  return m_dirty[j] ? m_pending[j] : storedValue(j);
}

void Table::setValue(std::string_view field, const Variant& v) {
  setValue(requireField(field), v);
}

void Table::setValue(int field, const Variant& v) {
  const auto j = static_cast<std::size_t>(field);
  if (j >= m_fields.size()) throw HostError("Pole č. " + std::to_string(field) + " v tabulce " + m_datPath + " neexistuje.");
  const FieldDef& def = m_fields[j];
  requireRecord(def.name);
  Variant converted;
  if (!ConvertForField(v, def.type, converted))
    throw HostError("Hodnotu \"" + v.toString() + "\" nelze zapsat do pole \"" + def.name + "\" (" +
                    FieldTypeName(def.type) + ") tabulky " + m_datPath + ".");
  m_pending[j] = std::move(converted);
  m_dirty[j] = 1;
  m_anyDirty = true;
}

}  // namespace vorlend::engine
