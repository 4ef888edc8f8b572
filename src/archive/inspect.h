#pragma once
// What an archive holds next to what Money holds now, read without changing anything: no record
// lock is taken and nothing is written, neither in the archive nor in Money. It answers before a
// restore what the restore would change, and after it whether every state is back.
#include <cstdint>
#include <string>
#include <vector>

#include "archive/file_list.h"
#include "archive/report.h"
#include "host/host_context.h"
#include "platform/ports.h"
#include "platform/result.h"
#include "platform/variant.h"

namespace vorlend {

// One archive table beside its Money table.
struct TableInspection {
  FileListRow row;
  bool moneyTableExists = true;  // false: the year or the module is gone from Money
  int recorded = 0;              // archive records
  int locked = 0;                // of them, archived as locked
  int differing = 0;             // documents whose lock differs now from the archived one
  int missing = 0;               // documents no longer in Money
};

// A document whose lock a restore would change, or that a restore can no longer find.
struct DocumentInspection {
  std::size_t table = 0;  // position in ArchiveInspection::tables
  std::int32_t key = 0;
  Variant archived;
  bool exists = true;  // false: no longer in Money
  Variant current;     // the lock as Money holds it now, when the document exists
};

struct ArchiveInspection {
  std::vector<TableInspection> tables;        // in the order of the file list
  std::vector<DocumentInspection> documents;  // only when asked for, in the order of the walk
};

// Where a long comparison shows how far it is, as a save does: the table (with the observer's
// number of it, after the records of every table) and a position every few documents, letting the
// window work at each. A request to stop ends it at the next one; the road that starts it clears
// an earlier request. With a `text`, that text stands for the whole look and the bar goes once over
// every record of the archive (the look before a save).
struct InspectionProgress {
  Progress& progress;
  OperationObserver* observer = nullptr;
  std::string text{};
};

// Compares every archived document with its document in Money, found by the key index as the
// restore finds it. `listDocuments` also collects each differing and each missing document.
// Stopped when stopped on request; a failure says what the restore would say of a damaged archive
// or table. `firstDifference`: stops at the first document whose lock differs (the counts then end
// there).
Result InspectArchive(const HostContext& ctx, const std::string& archiveDir, bool listDocuments,
                      ArchiveInspection& result, const InspectionProgress* shown = nullptr,
                      bool firstDifference = false);

// The counts of every table added up (its `row` empty, `moneyTableExists` as it stands).
TableInspection InspectionTotals(const ArchiveInspection& inspection);

// What is wrong with an archive, found without changing anything: its file list against its
// description, every table there as a plain file, opened read-only and read whole by SQLite's
// integrity check, every record a key and a lock value the save writes. Each problem as a message
// names it; empty when there is none. `records` counts the records read.
std::vector<std::string> CheckArchive(const std::string& archiveDir, int& records);

// The lock states an archive holds (its records), or -1 when it cannot be read. Only reads.
[[nodiscard]] int CountArchivedStates(const std::string& archiveDir);

}  // namespace vorlend
