#pragma once
// Thin helpers over the SQLite C interface: a cache of prepared statements, a guard that resets a
// statement on every way out, and the mapping between field values and SQLite values.
#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/field.h"
#include "platform/variant.h"

namespace vorlend::engine {

// The SQLite file layer every table is opened through: on Windows the one that takes paths up to
// the system's own limit, where the default one stops at MAX_PATH bytes; elsewhere the default.
#ifdef _WIN32
inline constexpr const char* kSqliteFileLayer = "win32-longpath";
#else
inline constexpr const char* kSqliteFileLayer = nullptr;
#endif

// The name of the SQLite table that holds the records, and of its record-number column. The
// leading underscore keeps the column apart from any field a caller may declare.
inline constexpr const char* kRecordsTable = "records";
inline constexpr const char* kRecNoColumn = "_RecNo";
// SQLite index names carry this prefix so that no index can clash with the records table.
inline constexpr const char* kIndexPrefix = "ix:";
// Marks a database as one of our tables ("VRLT").
inline constexpr int kTableApplicationId = 0x56524C54;

// Opens the database file `path` with SQLite's open flags. `immutable`: read as it stands, through
// a "file:" URI that tells SQLite the file cannot change, so it takes no lock and makes no file
// beside it. The path reaches SQLite as the system's calls take it at any length.
int OpenDatabase(const std::string& path, int flags, sqlite3** db, bool immutable = false);

std::string QuoteIdent(std::string_view name);
std::string SqliteMessage(sqlite3* db);
// The database's last failure was a full disk or quota.
bool OutOfSpace(sqlite3* db);

// Statements prepared once per connection and kept until it closes.
class StatementCache {
public:
  explicit StatementCache(sqlite3* db) : m_db(db) {}
  ~StatementCache();
  StatementCache(const StatementCache&) = delete;
  StatementCache& operator=(const StatementCache&) = delete;

  // Throws HostError when the statement does not compile.
  sqlite3_stmt* Get(const std::string& sql);

private:
  sqlite3* m_db;
  std::unordered_map<std::string, sqlite3_stmt*> m_statements;
};

// Resets the statement when the scope is left: no statement stays open between two calls of the
// table interface, so no read snapshot outlives the call that took it.
class StatementUse {
public:
  explicit StatementUse(sqlite3_stmt* stmt) : m_stmt(stmt) {}
  ~StatementUse() { sqlite3_reset(m_stmt); }
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;
  sqlite3_stmt* Get() const { return m_stmt; }

private:
  sqlite3_stmt* m_stmt;
};

// Binds a value; text is bound with its explicit length (it may hold NUL). The caller keeps the
// value alive until the statement is reset.
void BindValue(sqlite3_stmt* stmt, int index, const Variant& value);
// A column value as SQLite stored it, kept raw until someone reads the field: a walk that reads
// two fields of a record pays for two values, not for all of them. Text and blob bytes live in a
// separate buffer at [offset, offset + length).
// The storage of a column that a block did not read.
inline constexpr int kStorageNotRead = 0;

struct StoredValue {
  int storage = SQLITE_NULL;
  sqlite3_int64 integer = 0;
  double real = 0.0;
  std::uint32_t offset = 0;
  std::uint32_t length = 0;
};

// Reads a column, appending its bytes (if any) to `bytes`.
void ReadStored(sqlite3_stmt* stmt, int column, StoredValue& out, std::string& bytes);
// The stored value as a value of the field's type. NULL reads as Null; a value whose storage
// class does not fit the field (written by another program) keeps its own kind.
Variant ToVariant(const StoredValue& stored, const std::string& bytes, FieldType type);

// The value a new record holds in a field of this type before anything is written into it.
Variant BlankValue(FieldType type);
// Converts a written value to the field's type; false when it does not convert or an integer
// does not fit in 32 bits.
bool ConvertForField(const Variant& in, FieldType type, Variant& out);

}  // namespace vorlend::engine
