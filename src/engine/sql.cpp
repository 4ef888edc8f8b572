#include "engine/sql.h"

#include "platform/files.h"

#include <cstdio>
#include <limits>

#include "engine/host_error.h"

namespace vorlend::engine {

namespace {

// A path as the path of a "file:" URI: the characters a URI gives a meaning to (and "\", which a
// URI cannot hold) are escaped, and a network path (//server/share/...) keeps its server in the
// path, after an empty authority, where "file://server" would make the server the URI's authority.
std::string UriPath(const std::string& path) {
  std::string out = path.compare(0, 2, "//") == 0 ? "//" : "";
  for (const char c : path) {
    if (c == '%' || c == '?' || c == '#' || c == '\\') {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

int OpenDatabase(const std::string& path, int flags, sqlite3** db, bool immutable) {
  const std::string name = SystemPath(path);
  if (!immutable) return sqlite3_open_v2(name.c_str(), db, flags, kSqliteFileLayer);
  const std::string uri = "file:" + UriPath(name) + "?immutable=1";
  return sqlite3_open_v2(uri.c_str(), db, flags | SQLITE_OPEN_URI, kSqliteFileLayer);
}

std::string QuoteIdent(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

bool OutOfSpace(sqlite3* db) {
  return db && ((sqlite3_extended_errcode(db) & 0xff) == SQLITE_FULL || IsNoSpaceError(sqlite3_system_errno(db)));
}

std::string SqliteMessage(sqlite3* db) {
  return db ? sqlite3_errmsg(db) : "out of memory";
}

StatementCache::~StatementCache() {
  for (auto& entry : m_statements) sqlite3_finalize(entry.second);
}

sqlite3_stmt* StatementCache::Get(const std::string& sql) {
  auto it = m_statements.find(sql);
  if (it != m_statements.end()) return it->second;
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v3(m_db, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) !=
      SQLITE_OK) {
    const std::string message = SqliteMessage(m_db);
    sqlite3_finalize(stmt);
    throw HostError("Chyba databázového dotazu: " + message);
  }
  m_statements.emplace(sql, stmt);
  return stmt;
}

void BindValue(sqlite3_stmt* stmt, int index, const Variant& value) {
  switch (value.GetKind()) {
    case Variant::Kind::Null:
      sqlite3_bind_null(stmt, index);
      break;
    case Variant::Kind::String:
      sqlite3_bind_text(stmt, index, value.Text().data(), static_cast<int>(value.Text().size()), SQLITE_STATIC);
      break;
    case Variant::Kind::Bool:
      sqlite3_bind_int(stmt, index, value.BoolValue() ? 1 : 0);
      break;
    case Variant::Kind::Int:
      sqlite3_bind_int(stmt, index, value.IntValue());
      break;
    case Variant::Kind::Double:
    case Variant::Kind::Date:
      sqlite3_bind_double(stmt, index, value.DoubleValue());
      break;
  }
}

void ReadStored(sqlite3_stmt* stmt, int column, StoredValue& out, std::string& bytes) {
  // Through the column's value object: one call per column instead of several, which counts in
  // a walk that reads every column of every record. The connection is used by one thread only.
  sqlite3_value* value = sqlite3_column_value(stmt, column);
  out.storage = sqlite3_value_type(value);
  switch (out.storage) {
    case SQLITE_INTEGER:
      out.integer = sqlite3_value_int64(value);
      break;
    case SQLITE_FLOAT:
      out.real = sqlite3_value_double(value);
      break;
    case SQLITE_TEXT:
    case SQLITE_BLOB: {
      const void* p =
          out.storage == SQLITE_TEXT ? static_cast<const void*>(sqlite3_value_text(value)) : sqlite3_value_blob(value);
      const int n = sqlite3_value_bytes(value);
      out.offset = static_cast<std::uint32_t>(bytes.size());
      out.length = static_cast<std::uint32_t>(n);
      if (p && n > 0) bytes.append(static_cast<const char*>(p), static_cast<std::size_t>(n));
      break;
    }
    default:
      break;
  }
}

namespace {

Variant IntegerVariant(sqlite3_int64 v) {
  if (v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max())
    return Variant::FromInt(static_cast<std::int32_t>(v));
  return Variant::FromDouble(static_cast<double>(v));
}

}  // namespace

Variant ToVariant(const StoredValue& stored, const std::string& bytes, FieldType type) {
  const double number = stored.storage == SQLITE_INTEGER ? static_cast<double>(stored.integer) : stored.real;
  switch (stored.storage) {
    case SQLITE_NULL:
      return Variant::Null();
    case SQLITE_TEXT:
    case SQLITE_BLOB:
      return Variant::FromString(bytes.substr(stored.offset, stored.length));
    default:
      break;
  }
  switch (type) {
    case FieldType::Text:
      // A number in a text field (written by another program) reads as SQLite's text of it.
      if (stored.storage == SQLITE_INTEGER) return Variant::FromString(std::to_string(stored.integer));
      return Variant::FromString(Variant::FromDouble(stored.real).ToString());
    case FieldType::Boolean:
      return Variant::FromBool(number != 0.0);
    case FieldType::Double:
      return Variant::FromDouble(number);
    // A whole day count comes back from SQLite as an INTEGER (the column's numeric affinity
    // stores it so); it is still a date.
    case FieldType::Date:
      return Variant::FromDate(number);
    case FieldType::Integer:
    case FieldType::Untyped:
      if (stored.storage == SQLITE_INTEGER) return IntegerVariant(stored.integer);
      return Variant::FromDouble(stored.real);
  }
  return Variant::Null();
}

Variant BlankValue(FieldType type) {
  switch (type) {
    case FieldType::Text:
      return Variant::FromString(std::string());
    case FieldType::Integer:
      return Variant::FromInt(0);
    case FieldType::Boolean:
      return Variant::FromBool(false);
    case FieldType::Double:
      return Variant::FromDouble(0.0);
    case FieldType::Date:
    case FieldType::Untyped:
      return Variant::Null();
  }
  return Variant::Null();
}

namespace {

bool FitsInt32(double d) {
  // Written this way round so that NaN fails too.
  return d > -2147483649.0 && d < 2147483648.0;
}

}  // namespace

bool ConvertForField(const Variant& in, FieldType type, Variant& out) {
  if (in.IsNull() || type == FieldType::Untyped) {
    out = in;
    return true;
  }
  switch (type) {
    case FieldType::Text:
      out = in.GetKind() == Variant::Kind::String ? in : Variant::FromString(in.ToString());
      return true;
    case FieldType::Integer: {
      if (in.GetKind() == Variant::Kind::Int) {
        out = in;
        return true;
      }
      if ((in.GetKind() == Variant::Kind::Double || in.GetKind() == Variant::Kind::Date) &&
          !FitsInt32(in.DoubleValue()))
        return false;
      std::int32_t i = 0;
      if (!in.ToInt(i)) return false;
      out = Variant::FromInt(i);
      return true;
    }
    case FieldType::Boolean: {
      bool b = false;
      if (!in.ToBool(b)) return false;
      out = Variant::FromBool(b);
      return true;
    }
    case FieldType::Double: {
      double d = 0.0;
      if (!in.ToDouble(d)) return false;
      out = Variant::FromDouble(d);
      return true;
    }
    case FieldType::Date: {
      double d = 0.0;
      if (!in.ToDouble(d)) return false;
      out = Variant::FromDate(d);
      return true;
    }
    case FieldType::Untyped:
      break;
  }
  out = in;
  return true;
}

}  // namespace vorlend::engine
