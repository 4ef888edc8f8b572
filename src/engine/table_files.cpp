#include "engine/table_files.h"

#include "engine/sql.h"
#include "platform/files.h"
#include "platform/text.h"

namespace vorlend::engine {

namespace {

std::string BasePath(const std::string& path) {
  if (SameText(ExtractFileExt(path), ".dat")) return path.substr(0, path.size() - 4);
  return path;
}

bool Exec(sqlite3* db, const std::string& sql, std::string& error) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return true;
  error = message ? message : SqliteMessage(db);
  sqlite3_free(message);
  return false;
}

std::optional<std::string> CheckFields(const std::vector<FieldDef>& fields) {
  if (fields.empty()) return std::string("tabulka musí mít aspoň jedno pole");
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const std::string& name = fields[i].name;
    if (name.empty()) return std::string("prázdný název pole");
    if (name.find('+') != std::string::npos) return "název pole nesmí obsahovat \"+\": " + name;
    if (SameFieldName(name, kRecNoColumn)) return "vyhrazený název pole: " + name;
    for (std::size_t j = 0; j < i; ++j) {
      if (SameFieldName(fields[j].name, name)) return "pole je uvedeno dvakrát: " + name;
    }
  }
  return std::nullopt;
}

// The position of the field named `part`, or -1.
int FieldPosition(const std::vector<FieldDef>& fields, const std::string& part) {
  int found = -1;
  for (std::size_t f = 0; f < fields.size(); ++f) {
    if (SameFieldName(fields[f].name, part)) found = static_cast<int>(f);
  }
  return found;
}

std::optional<std::string> CheckDefinitions(const std::vector<FieldDef>& fields,
                                            const std::vector<std::string>& indexes,
                                            std::vector<std::vector<int>>& indexFields) {
  if (auto error = CheckFields(fields)) return error;
  for (std::size_t i = 0; i < indexes.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (SameText(indexes[i], indexes[j])) return "index je uveden dvakrát: " + indexes[i];
    }
    std::vector<int> parts;
    for (const std::string& part : Split(indexes[i], '+')) {
      const int found = FieldPosition(fields, part);
      if (found < 0) return "index " + indexes[i] + " uvádí neznámé pole " + part;
      parts.push_back(found);
    }
    indexFields.push_back(parts);
  }
  return std::nullopt;
}

std::string CreateSql(const std::vector<FieldDef>& fields, const std::vector<std::string>& indexes,
                      const std::vector<std::vector<int>>& indexFields) {
  std::string sql = "PRAGMA application_id=" + std::to_string(kTableApplicationId) +
                    ";PRAGMA user_version=1;BEGIN;CREATE TABLE " + QuoteIdent(kRecordsTable) + "(" +
                    QuoteIdent(kRecNoColumn) + " INTEGER PRIMARY KEY AUTOINCREMENT";
  for (const FieldDef& f : fields) {
    sql += "," + QuoteIdent(f.name);
    const std::string declared = DeclaredType(f.type);
    if (!declared.empty()) sql += " " + declared;
  }
  sql += ");";
  for (std::size_t i = 0; i < indexes.size(); ++i) {
    sql +=
        "CREATE INDEX " + QuoteIdent(std::string(kIndexPrefix) + indexes[i]) + " ON " + QuoteIdent(kRecordsTable) + "(";
    for (std::size_t p = 0; p < indexFields[i].size(); ++p)
      sql += (p ? "," : "") + QuoteIdent(fields[static_cast<std::size_t>(indexFields[i][p])].name);
    sql += ");";
  }
  sql += "COMMIT;";
  return sql;
}

}  // namespace

TablePaths ResolveTablePaths(const std::string& path) {
  const std::string base = BasePath(path);
  // A name given with its ".DAT" keeps that spelling when the file does not exist yet.
  const bool hasExt = base.size() != path.size();
  TablePaths paths;
  paths.dat = ResolvePath(hasExt ? path : base + ".dat");
  std::string dia = ResolvePath(base + ".dia");
  if (!PathExists(dia)) {
    const std::string ext = ExtractFileExt(paths.dat);
    dia = ChangeFileExt(paths.dat, ext == ".DAT" ? ".DIA" : ".dia");
  }
  paths.dia = dia;
  return paths;
}

std::optional<std::string> CreateTable(const std::string& path, const std::vector<FieldDef>& fields,
                                       const std::vector<std::string>& indexes) {
  std::vector<std::vector<int>> indexFields;
  if (auto problem = CheckDefinitions(fields, indexes, indexFields)) return problem;

  const TablePaths paths = ResolveTablePaths(path);
  if (PathExists(paths.dat)) return "soubor již existuje: " + paths.dat;
  for (const std::string& leftover : {paths.dat + "-wal", paths.dat + "-shm"}) DeleteFile(leftover);

  sqlite3* db = nullptr;
  std::string error;
  bool ok = OpenDatabase(paths.dat, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, &db) == SQLITE_OK;
  if (!ok) error = SqliteMessage(db);
  // WAL is a property of the database file, set once here: opening a table never changes it.
  ok = ok && Exec(db, "PRAGMA journal_mode=WAL", error) && Exec(db, CreateSql(fields, indexes, indexFields), error);
  // Closing the only connection checkpoints the WAL into the database and removes "-wal"/"-shm".
  if (sqlite3_close(db) != SQLITE_OK && ok) {
    ok = false;
    error = "nelze zavřít databázi";
  }
  if (ok) {
    if (!CreateEmptyFile(paths.dia)) {
      ok = false;
      error = "nelze vytvořit soubor " + paths.dia;
    }
  }
  if (!ok) {
    DeleteTableFiles(paths.dat);
    return "nelze vytvořit tabulku " + paths.dat + ": " + error;
  }
  return std::nullopt;
}

std::vector<std::string> ExistingTableFiles(const std::string& path) {
  const TablePaths paths = ResolveTablePaths(path);
  std::vector<std::string> files;
  for (const std::string& f : {paths.dat, paths.dia, paths.dat + "-wal", paths.dat + "-shm"}) {
    const std::string resolved = ResolvePath(f);
    if (PathExists(resolved)) files.push_back(resolved);
  }
  return files;
}

bool DeleteTableFiles(const std::string& path) {
  bool ok = true;
  for (const std::string& f : ExistingTableFiles(path)) ok = DeleteFile(f) && ok;
  return ok && ExistingTableFiles(path).empty();
}

std::string CheckTable(const std::string& path) {
  const TablePaths paths = ResolveTablePaths(path);
  if (!FileExists(paths.dat)) return "soubor neexistuje: " + paths.dat;
  sqlite3* db = nullptr;
  if (OpenDatabase(paths.dat, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, &db) != SQLITE_OK) {
    std::string message = SqliteMessage(db);
    sqlite3_close(db);
    return message;
  }
  sqlite3_busy_timeout(db, 10000);
  std::string result;
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr) == SQLITE_OK) {
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      const auto* line = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
      if (!result.empty()) result += "\n";
      result += line ? line : "";
    }
    if (rc != SQLITE_DONE) result = SqliteMessage(db);
  } else {
    result = SqliteMessage(db);
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return result;
}

}  // namespace vorlend::engine
