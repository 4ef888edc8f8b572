#pragma once
// What the batch tool prints for people and scripts: the archive list as tab-separated lines or
// JSON, an archive's contents beside Money, and the summary at the end of a save or a restore.
#include <ostream>
#include <string>
#include <vector>

#include "archive/catalogue.h"
#include "archive/inspect.h"
#include "archive/modules.h"
#include "archive/report.h"
#include "host/host_context.h"

namespace vorlend {

// A text as one field of a tab-separated line: "\" as "\\", TAB, CR and LF as "\t", "\r", "\n",
// other control characters as "\xHH" (or "\u00HH" beyond ASCII), so no text can add a column, a
// line or a terminal command.
std::string EscapeField(const std::string& text);

// The list: number, status, name, date, time, years, modules.
void PrintArchiveList(const ArchiveList& list, bool json, std::ostream& out);

enum class InspectionView {
  Counts,     // show: the recapitulation and the counts per table
  Documents,  // show --documents: and every differing or missing document
  DryRun,     // restore --dry-run: the counts and the documents the restore would change
};
void PrintInspection(const ArchiveRow& row, const Recapitulation& recap, const ArchiveInspection& inspection,
                     InspectionView view, std::ostream& out);

// One line: tables, documents, what changed, what stayed as it was and why, seconds.
std::string SaveSummary(const OperationCounts& counts, LockAction action, bool finished, double seconds);
std::string RestoreSummary(const OperationCounts& counts, bool finished, double seconds);

}  // namespace vorlend
