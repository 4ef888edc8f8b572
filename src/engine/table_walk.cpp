// The table's walk: the order, the records read ahead block by block, the moves (first record,
// next record, a key sought) and the count.
#include <algorithm>

#include "engine/host_error.h"
#include "engine/table.h"
#include "platform/text.h"

namespace vorlend::engine {

namespace {

// Rows read ahead per query while walking: enough to make a walk cost about what a plain
// SQLite loop costs, few enough to keep memory flat.
constexpr std::size_t kBlockRows = 256;
// Rows read ahead are dropped after this long, so a walk that pauses (a question to the user)
// goes on from fresh data.
constexpr std::chrono::milliseconds kReadAheadLifetime{100};

}  // namespace

void Table::DropReadAhead() {
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

void Table::ReleaseLock() {
  if (m_lockedRecno != 0) {
    // Inside a transaction the record may carry a change nobody else may see or overwrite
    // before the commit: its lock is kept until the transaction ends.
    if (m_inTransaction)
      m_heldLocks.push_back(m_lockedRecno);
    else
      m_lockFile.Unlock(m_lockedRecno);
    m_lockedRecno = 0;
  }
}

const std::vector<int>& Table::OrderFields() const {
  static const std::vector<int> kNone;
  return m_order < 0 ? kNone : m_indexes[static_cast<std::size_t>(m_order)].fields;
}

const std::string& Table::Order() const {
  static const std::string kNone;
  return m_order < 0 ? kNone : m_indexes[static_cast<std::size_t>(m_order)].name;
}

std::string Table::SelectSql(bool readFieldsOnly) {
  if (!readFieldsOnly) return "SELECT " + m_selectList + " FROM " + QuoteIdent(kRecordsTable);
  UpdateBlockFields();
  std::string list = QuoteIdent(kRecNoColumn);
  for (int f : m_blockFields) list += "," + QuoteIdent(m_fields[static_cast<std::size_t>(f)].name);
  return "SELECT " + list + " FROM " + QuoteIdent(kRecordsTable);
}

void Table::UpdateBlockFields() {
  m_blockFields.clear();
  const std::vector<int>& keyFields = OrderFields();
  for (std::size_t j = 0; j < m_fields.size(); ++j) {
    if (m_wanted[j] || std::find(keyFields.begin(), keyFields.end(), static_cast<int>(j)) != keyFields.end())
      m_blockFields.push_back(static_cast<int>(j));
  }
}

void Table::BuildOrderBySql() {
  m_orderBySql.clear();
  for (int f : OrderFields()) m_orderBySql += QuoteIdent(m_fields[static_cast<std::size_t>(f)].name) + ",";
  m_orderBySql += QuoteIdent(kRecNoColumn);
}

void Table::MarkWanted(std::size_t field) {
  if (m_wanted[field]) return;
  m_wanted[field] = 1;
  ++m_wantedVersion;
}

std::size_t Table::ReadRows(sqlite3_stmt* stmt, std::size_t limit, const std::vector<int>* fields) {
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
      for (std::size_t j = 0; j < n; ++j) cells[j].storage = kStorageNotRead;
      int column = 1;
      for (int f : *fields) ReadStored(stmt, column++, cells[f], m_aheadBytes);
    }
    ++m_aheadCount;
    ++got;
  }
  return got;
}

bool Table::TakeNextRow() {
  if (m_aheadNext >= m_aheadCount) return false;
  const std::size_t n = m_fields.size();
  m_current = &m_aheadCells[m_aheadNext * n];
  m_currentBytes = &m_aheadBytes;
  std::fill(m_rowReady.begin(), m_rowReady.end(), 0);
  m_recno = m_aheadRecnos[m_aheadNext];
  ++m_aheadNext;
  m_state = State::Record;
  DiscardChanges();
  CapturePositionKey();
  return true;
}

// The records after the current position in the current order: first those with the same key
// and a higher record number, then those whose key is greater, one key part at a time from the
// last, so that every query is a range of the index.
void Table::FetchAfterPosition(std::size_t limit) {
  DropReadAhead();
  m_aheadTime = std::chrono::steady_clock::now();
  const std::vector<int>& keyFields = OrderFields();
  const std::size_t parts = keyFields.size();
  for (std::size_t level = parts + 1; level-- > 0 && m_aheadCount < limit;) {
    std::string where;
    std::vector<const Variant*> binds;  // nullptr stands for the record number
    const std::size_t equalParts = level == parts ? parts : level;
    for (std::size_t j = 0; j < equalParts; ++j) {
      const std::string column = QuoteIdent(m_fields[static_cast<std::size_t>(keyFields[j])].name);
      if (m_positionKey[j].IsNull()) {
        where += column + " IS NULL AND ";
      } else {
        where += column + "=? AND ";
        binds.push_back(&m_positionKey[j]);
      }
    }
    if (level == parts) {
      where += QuoteIdent(kRecNoColumn) + ">?";
      binds.push_back(nullptr);
    } else {
      const std::string column = QuoteIdent(m_fields[static_cast<std::size_t>(keyFields[level])].name);
      if (m_positionKey[level].IsNull()) {
        where += column + " IS NOT NULL";
      } else {
        where += column + ">?";
        binds.push_back(&m_positionKey[level]);
      }
    }
    StatementUse use(m_statements->Get(SelectSql(true) + " WHERE " + where + " ORDER BY " + OrderBySql() + " LIMIT ?"));
    int i = 1;
    for (const Variant* v : binds) {
      if (!v)
        sqlite3_bind_int64(use.Get(), i++, m_recno);
      else
        BindValue(use.Get(), i++, *v);
    }
    sqlite3_bind_int64(use.Get(), i, static_cast<sqlite3_int64>(limit - m_aheadCount));
    ReadRows(use.Get(), limit - m_aheadCount, &m_blockFields);
  }
  m_aheadReachesEnd = m_aheadCount < limit;
}

std::int64_t Table::RecordCount() {
  StatementUse use(m_statements->Get("SELECT count(*) FROM " + QuoteIdent(kRecordsTable)));
  if (sqlite3_step(use.Get()) != SQLITE_ROW)
    throw HostError("Chyba při čtení tabulky " + m_datPath + ": " + SqliteMessage(m_db));
  return sqlite3_column_int64(use.Get(), 0);
}

bool Table::SetOrder(std::string_view indexName) {
  int found = -1;
  if (!indexName.empty()) {
    for (std::size_t i = 0; i < m_indexes.size(); ++i)
      if (SameText(m_indexes[i].name, indexName)) found = static_cast<int>(i);
    if (found < 0) return false;
  }
  m_order = found;
  BuildOrderBySql();
  DropReadAhead();
  if (m_state == State::Record || m_state == State::Gone) {
    try {
      CapturePositionKey();
    } catch (const HostError&) {
      // The record vanished before its key in the new order was known: no place to go on from.
      m_state = State::Eof;
    }
  }
  return true;
}

bool Table::GoTop() {
  DiscardChanges();
  DropReadAhead();
  m_aheadTime = std::chrono::steady_clock::now();
  StatementUse use(m_statements->Get(SelectSql() + " ORDER BY " + OrderBySql() + " LIMIT 1"));
  ReadRows(use.Get(), 1);
  if (TakeNextRow()) return true;
  m_state = State::Eof;
  return false;
}

void Table::Skip() {
  switch (m_state) {
    case State::Eof:
      return;
    case State::Nothing:
      static_cast<void>(GoTop());  // eof tells when there is no first record
      return;
    case State::New:
      // An appended record that was never posted is dropped; it stood after the last record.
      DiscardChanges();
      m_state = State::Eof;
      return;
    case State::Record:
    case State::Gone:
      break;
  }
  DiscardChanges();
  // The clock is read at every step: after a pause (a question to the user) the walk must go on
  // from fresh data, not from rows read before it.
  const bool expired = std::chrono::steady_clock::now() - m_aheadTime > kReadAheadLifetime;
  if (expired || m_aheadNext >= m_aheadCount) {
    if (!expired && m_aheadReachesEnd) {
      m_state = State::Eof;
      return;
    }
    FetchAfterPosition(kBlockRows);
  }
  if (!TakeNextRow()) m_state = State::Eof;
}

bool Table::Seek(const std::vector<Variant>& keys) {
  if (m_order < 0) throw HostError("Tabulka " + m_datPath + " nemá nastavený index pro hledání.");
  const std::vector<int>& keyFields = OrderFields();
  if (keys.empty() || keys.size() > keyFields.size())
    throw HostError("Index " + Order() + " tabulky " + m_datPath + " nemá " + std::to_string(keys.size()) +
                    " částí klíče.");
  DiscardChanges();
  DropReadAhead();
  m_aheadTime = std::chrono::steady_clock::now();

  std::vector<Variant>& converted = m_seekKeys;
  converted.resize(keys.size());
  std::uint64_t nullKeys = 0;
  for (std::size_t j = 0; j < keys.size(); ++j) {
    const FieldDef& field = m_fields[static_cast<std::size_t>(keyFields[j])];
    // A key that cannot be a value of its field matches no record.
    if (!ConvertForField(keys[j], field.type, converted[j])) {
      m_state = State::Eof;
      return false;
    }
    if (converted[j].IsNull()) nullKeys |= std::uint64_t{1} << (j % 64);
  }
  // The record found carries the fields read so far (and its key), like a block of a walk; a field
  // first read later reads the record again.
  SeekText& text = m_seekText;
  if (text.order != m_order || text.keys != keys.size() || text.nullKeys != nullKeys ||
      text.wantedVersion != m_wantedVersion || text.sql.empty()) {
    std::string where;
    for (std::size_t j = 0; j < keys.size(); ++j) {
      where += (j ? " AND " : "") + QuoteIdent(m_fields[static_cast<std::size_t>(keyFields[j])].name) +
               (converted[j].IsNull() ? " IS NULL" : "=?");
    }
    text = SeekText{m_order,
                    keys.size(),
                    nullKeys,
                    m_wantedVersion,
                    SelectSql(true) + " WHERE " + where + " ORDER BY " + OrderBySql() + " LIMIT 1",
                    m_blockFields,
                    nullptr};
    // The cache keeps the statement as long as the connection: the next seek of the same shape
    // uses it without looking its text up.
    text.stmt = m_statements->Get(text.sql);
  }
  StatementUse use(text.stmt);
  int i = 1;
  for (const Variant& key : converted)
    if (!key.IsNull()) BindValue(use.Get(), i++, key);
  ReadRows(use.Get(), 1, &text.fields);
  if (TakeNextRow()) return true;
  m_state = State::Eof;
  return false;
}

}  // namespace vorlend::engine
