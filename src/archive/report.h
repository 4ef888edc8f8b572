#pragma once
// What a save or a restore tells beyond the progress port: the counts a front end sums up at the
// end, and an observer for a front end that follows the tables and the whole job, and names the
// document of a lock conflict (the batch console does all of it; the window follows the job).
#include <cstdint>
#include <string>
#include <vector>

#include "platform/variant.h"

namespace vorlend {

// Counted as the operation goes; what a stopped operation had done until it stopped.
struct OperationCounts {
  int tables = 0;        // rows of the file list
  int tablesBegun = 0;   // rows started
  int tablesDone = 0;    // rows handled to their end, those without a Money table included
  int tablesAbsent = 0;  // rows whose Money table does not exist (the year or the module is gone)
  int documents = 0;     // save: documents walked; restore: archive records handled
  int recorded = 0;      // save: documents recorded in the archive
  int written = 0;       // documents whose lock field was written
  int changed = 0;       // of them, those whose lock was different before
  int unusableKey = 0;   // save: left as they were, since their key cannot be recorded
  int gone = 0;          // no longer in Money: deleted meanwhile (restore: also a table gone)
};

class OperationObserver {
public:
  virtual ~OperationObserver() = default;
  // The job's tables, once before the first begins: how many documents each will go through (a
  // save: its Money table's documents; a restore: the archive records it will put back; a
  // comparison: the archive's records), so the whole job's share can count documents.
  virtual void JobBegins(const std::vector<int>& tableDocuments) { (void)tableDocuments; }
  // A row of the file list begins (`number` from 1 to `count`), before its progress text is set.
  virtual void TableBegins(int number, int count) = 0;
  // The row's table has been handled to its end.
  virtual void TableEnds() = 0;
  // Another user holds this document; the lock-conflict question follows.
  virtual void LockConflict(const std::string& shownTable, std::int32_t key) = 0;
};

// Two lock values a restore would not tell apart: both Null, or both the same truth value.
bool SameLockState(const Variant& a, const Variant& b);

// A lock value the save can have written into an archive: the document's flag, or Null. Anything
// else is a damaged archive, and a restore would write it onto a document.
bool ArchivableLock(const Variant& lock);

}  // namespace vorlend
