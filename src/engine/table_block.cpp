// The table's block operations: a caller that changes many records in one transaction takes
// their locks one by one as it finds them, then reads them again and writes them with a few
// statements for the whole block instead of one statement per record.
#include <algorithm>

#include "engine/host_error.h"
#include "engine/table.h"

namespace vorlend::engine {

namespace {

// Record numbers per statement of a block read or update: a list of this many parameters, the
// last number repeated where fewer are left, so one statement text serves every block.
constexpr int kInList = 100;
// Records per statement of a block insert; the rest of a block is inserted one statement each.
constexpr std::size_t kInsertRows = 50;

std::string Parameters(std::size_t count, int first) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text += (i ? ",?" : "?") + std::to_string(first + static_cast<int>(i));
  return text;
}

// Binds the record numbers [from, from + kInList) of `recnos` from parameter `first` on, the last
// one repeated to fill the list.
void BindRecordNumbers(sqlite3_stmt* stmt, const std::vector<std::int64_t>& recnos, std::size_t from, int first) {
  const std::size_t last = std::min(recnos.size(), from + kInList) - 1;
  for (int i = 0; i < kInList; ++i)
    sqlite3_bind_int64(stmt, first + i, recnos[std::min(from + static_cast<std::size_t>(i), last)]);
}

}  // namespace

bool Table::LockRecordForBlock() {
  ClearFailure();
  if (m_state != State::Record) {
    FailWith("Tabulka " + m_datPath + " nestojí na žádném záznamu.");
    return false;
  }
  if (m_lockedRecno == m_recno) {
    m_heldLocks.push_back(m_recno);
    m_lockedRecno = 0;
    return true;
  }
  if (!TakeRecordLock()) return false;
  m_heldLocks.push_back(m_recno);
  return true;
}

// The rows `stmt` yields (record number first, then `fields`) into `found` and `values`; with
// `only`, those of its record numbers alone. The statement is reset on every way out.
void Table::ReadBlockRows(sqlite3_stmt* stmt, const std::vector<int>& fields, const std::vector<std::int64_t>* only,
                          std::vector<std::int64_t>& found, std::vector<Variant>& values) {
  StatementUse use(stmt);
  StoredValue stored;
  for (;;) {
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE) return;
    if (rc != SQLITE_ROW) throw HostError("Chyba při čtení tabulky " + m_datPath + ": " + SqliteMessage(m_db));
    const std::int64_t recno = sqlite3_column_int64(stmt, 0);
    if (only && !std::binary_search(only->begin(), only->end(), recno)) continue;
    found.push_back(recno);
    for (std::size_t i = 0; i < fields.size(); ++i) {
      ReadStored(stmt, static_cast<int>(i + 1), stored, m_blockBytes);
      values.push_back(ToVariant(stored, m_blockBytes, m_fields[static_cast<std::size_t>(fields[i])].type));
      m_blockBytes.clear();
    }
  }
}

std::string Table::SelectFieldsSql(const std::vector<int>& fields) const {
  std::string list = QuoteIdent(kRecNoColumn);
  for (const int f : fields) list += "," + QuoteIdent(m_fields.at(static_cast<std::size_t>(f)).name);
  return "SELECT " + list + " FROM " + QuoteIdent(kRecordsTable) + " WHERE " + QuoteIdent(kRecNoColumn);
}

void Table::ReadRecordsAfter(std::int64_t after, std::size_t limit, const std::vector<int>& fields,
                             std::vector<std::int64_t>& found, std::vector<Variant>& values) {
  found.clear();
  values.clear();
  sqlite3_stmt* stmt = m_statements->Get(SelectFieldsSql(fields) + ">?1 ORDER BY 1 LIMIT ?2");
  sqlite3_bind_int64(stmt, 1, after);
  sqlite3_bind_int64(stmt, 2, static_cast<sqlite3_int64>(limit));
  ReadBlockRows(stmt, fields, nullptr, found, values);
}

void Table::ReadRecords(std::vector<std::int64_t> recnos, const std::vector<int>& fields,
                        std::vector<std::int64_t>& found, std::vector<Variant>& values) {
  found.clear();
  values.clear();
  if (recnos.empty()) return;
  std::sort(recnos.begin(), recnos.end());
  recnos.erase(std::unique(recnos.begin(), recnos.end()), recnos.end());
  const std::string select = SelectFieldsSql(fields);
  // Records that lie close together (a walk in record order) are read as one range, the others
  // by lists of their numbers.
  const bool range = recnos.back() - recnos.front() < 2 * static_cast<std::int64_t>(recnos.size());
  sqlite3_stmt* stmt = m_statements->Get(range ? select + " BETWEEN ?1 AND ?2 ORDER BY 1"
                                               : select + " IN (" + Parameters(kInList, 1) + ") ORDER BY 1");
  if (range) {
    sqlite3_bind_int64(stmt, 1, recnos.front());
    sqlite3_bind_int64(stmt, 2, recnos.back());
    ReadBlockRows(stmt, fields, &recnos, found, values);
    return;
  }
  for (std::size_t from = 0; from < recnos.size(); from += kInList) {
    BindRecordNumbers(stmt, recnos, from, 1);
    ReadBlockRows(stmt, fields, nullptr, found, values);
  }
}

bool Table::InsertRecords(const std::vector<int>& fields, const std::vector<Variant>& values) {
  ClearFailure();
  if (!RequireTransaction()) return false;
  const std::size_t rows = fields.empty() ? 0 : values.size() / fields.size();
  // Each record's values as the table stores them: the given fields converted, the others blank.
  std::vector<Variant> record(m_fields.size());
  for (std::size_t j = 0; j < m_fields.size(); ++j) record[j] = BlankValue(m_fields[j].type);
  if (rows >= kInsertRows && m_insertManySql.empty()) {
    m_insertManySql = m_insertSql.substr(0, m_insertSql.find(" VALUES")) + " VALUES ";
    for (std::size_t r = 0; r < kInsertRows; ++r)
      m_insertManySql +=
          (r ? ",(" : "(") + Parameters(m_fields.size(), static_cast<int>(r * m_fields.size()) + 1) + ")";
  }
  for (std::size_t row = 0; row < rows;) {
    const std::size_t count = rows - row >= kInsertRows ? kInsertRows : 1;
    sqlite3_stmt* stmt = m_statements->Get(count == 1 ? m_insertSql : m_insertManySql);
    if (!InsertRows(stmt, fields, values, row, count, record)) return false;
    row += count;
  }
  return true;
}

// Records [first, first + count) of InsertRecords' values in one statement.
bool Table::InsertRows(sqlite3_stmt* stmt, const std::vector<int>& fields, const std::vector<Variant>& values,
                       std::size_t first, std::size_t count, std::vector<Variant>& record) {
  const std::size_t width = fields.size();
  // Text is bound without a copy: the values bound are kept until the statement has run.
  std::vector<Variant> bound;
  bound.reserve(count * m_fields.size());
  StatementUse use(stmt);
  for (std::size_t r = 0; r < count; ++r) {
    for (std::size_t i = 0; i < width; ++i) {
      const auto field = static_cast<std::size_t>(fields[i]);
      ConvertFor(field, values[(first + r) * width + i], record.at(field));
    }
    for (std::size_t j = 0; j < m_fields.size(); ++j) {
      bound.push_back(record[j]);
      BindValue(stmt, static_cast<int>(r * m_fields.size() + j + 1), bound.back());
    }
  }
  if (sqlite3_step(stmt) == SQLITE_DONE) return true;
  FailWith("Nelze zapsat do databáze " + m_datPath + ": " + SqliteMessage(m_db));
  return false;
}

bool Table::SetField(std::vector<std::int64_t> recnos, int field, const Variant& value) {
  ClearFailure();
  if (!RequireTransaction()) return false;
  if (recnos.empty()) return true;
  const auto j = static_cast<std::size_t>(field);
  const FieldDef& def = m_fields.at(j);
  Variant converted;
  ConvertFor(j, value, converted);
  // Only records this handle holds for the transaction: a block never writes past another user's
  // lock.
  std::sort(recnos.begin(), recnos.end());
  recnos.erase(std::unique(recnos.begin(), recnos.end()), recnos.end());
  std::vector<std::int64_t> held = m_heldLocks;
  std::sort(held.begin(), held.end());
  for (const std::int64_t recno : recnos) {
    if (!std::binary_search(held.begin(), held.end(), recno)) {
      FailWith("Záznam " + std::to_string(recno) + " tabulky " + m_datPath + " není uzamčen.");
      return false;
    }
  }
  if (m_setFieldSql.first != field) {
    m_setFieldSql = {field, "UPDATE " + QuoteIdent(kRecordsTable) + " SET " + QuoteIdent(def.name) + "=?1 WHERE " +
                                QuoteIdent(kRecNoColumn) + " IN (" + Parameters(kInList, 2) + ")"};
  }
  sqlite3_stmt* stmt = m_statements->Get(m_setFieldSql.second);
  for (std::size_t from = 0; from < recnos.size(); from += kInList) {
    StatementUse use(stmt);
    BindValue(stmt, 1, converted);
    BindRecordNumbers(stmt, recnos, from, 2);
    if (sqlite3_step(stmt) != SQLITE_DONE) {
      FailWith("Nelze zapsat do databáze " + m_datPath + ": " + SqliteMessage(m_db));
      return false;
    }
  }
  // Rows read ahead may hold the old values; the current record holds the new one.
  DropReadAhead();
  if (m_state == State::Record && std::binary_search(recnos.begin(), recnos.end(), m_recno))
    SetStoredValue(j, converted);
  return true;
}

}  // namespace vorlend::engine
