#pragma once
// The files of a table on disk: NAME.dat (the SQLite database) and NAME.dia (the record-lock
// file), plus the "-wal" and "-shm" files SQLite keeps beside the database while it is in use
// (and leaves behind after a crash). Also creating a table, deleting one, and checking one.
#include <optional>
#include <string>
#include <vector>

#include "engine/field.h"

namespace vorlend::engine {

struct TablePaths {
  std::string dat;
  std::string dia;
};

// The two files of the table addressed by `path`, with or without ".dat" in any letter case.
// Existing files are found without regard to letter case; the ".dia" of a missing lock file is
// spelt in the letter case of the ".dat" it belongs to.
TablePaths ResolveTablePaths(const std::string& path);

// Creates an empty table with the given fields and indexes (index names list their fields joined
// by "+"). Fails when the ".dat" already exists. The new table is in WAL mode and checkpointed:
// no "-wal" or "-shm" file is left. Returns an error text, or nothing on success.
std::optional<std::string> CreateTable(const std::string& path, const std::vector<FieldDef>& fields,
                                       const std::vector<std::string>& indexes);

// The files of the table that exist: .dat, .dia, and the database's "-wal" and "-shm".
std::vector<std::string> ExistingTableFiles(const std::string& path);
// Deletes every file of the table; true when none of them is left.
bool DeleteTableFiles(const std::string& path);

// SQLite's integrity check of the table: "ok", or the problems found, or why it did not run.
std::string CheckTable(const std::string& path);

}  // namespace vorlend::engine
