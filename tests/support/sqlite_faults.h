#pragma once
// SQLite's writes counted and failed with a FaultDoor's operations, so that one count covers every
// write of a job: while the object lives, each write SQLite makes to a table's files (the data
// file, its log, a rollback journal) is first told to the door (FaultDoor::ForeignWrite) and fails
// with the fault it meets: "no space" as SQLITE_FULL with the system's error ENOSPC (as SQLite
// reports a full disk), an I/O error as SQLITE_IOERR_WRITE. Nothing is written then.
//
// A shim in the engine's own SQLite file layer, made the default for the object's life; tables
// opened in its life must be closed before it ends. One at a time.
#include "support/fault_door.h"

namespace vorlend::test {

class ScopedSqliteFaults {
public:
  explicit ScopedSqliteFaults(FaultDoor& door);
  ~ScopedSqliteFaults();
  ScopedSqliteFaults(const ScopedSqliteFaults&) = delete;
  ScopedSqliteFaults& operator=(const ScopedSqliteFaults&) = delete;
};

}  // namespace vorlend::test
