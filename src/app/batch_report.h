#pragma once
// What the batch tool prints for people and scripts: the archive list as tab-separated lines or
// JSON, an archive's contents beside Money, and the summary at the end of a save or a restore.
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

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

// The version of the JSON documents the tool prints (`--json`): raised when a key changes meaning
// or goes; new keys may come without it.
inline constexpr int kBatchJsonSchema = 2;

// "2026-12-07T12:37:50" from an archive's date and time as the locale wrote them; empty when they
// cannot be read.
std::string IsoDateTime(const std::string& date, const std::string& time);

// `show --json`: the archive, its tables beside Money, and with `documents` every document that
// differs or is gone.
// `dryRun`: the restore's preview, as the command "restore" with the status "dry-run" and the
// totals the restore would reach.
void PrintInspectionJson(const ArchiveRow& row, const ArchiveInspection& inspection, bool documents, std::ostream& out,
                         bool dryRun = false);
// The JSON result of save, restore and delete: schema, command, status, the archive, the action,
// the counts, further numbers, and the seconds taken.
// "1,5 s", with the locale's decimal separator.
std::string SecondsText(double seconds);

void PrintJobJson(const char* command, const char* status, const ArchiveRow* archive, const char* action,
                  const OperationCounts* counts, double seconds, const nlohmann::ordered_json& extra,
                  std::ostream& out);

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

// A line for a console `width` characters wide: broken at blanks, the following lines indented by
// two blanks.
std::string WrapForConsole(const std::string& text, std::size_t width = 80);

// The JSON document of a run that ended without its result: the command, the status word, the
// exit status and the messages it reported.
void PrintErrorJson(const char* command, const char* status, int exitStatus, const std::vector<std::string>& messages,
                    std::ostream& out);

// One archive as `check` found it.
struct CheckedArchive {
  ArchiveRow row;
  std::vector<std::string> problems;  // empty: sound
  int records = 0;
};
// `check`'s report: a line per archive ("v pořádku" with its records, or "poškozený"), a line per
// problem; or one JSON document.
void PrintCheck(const std::vector<CheckedArchive>& checked, bool json, std::ostream& out);

// A command for the shell of the platform (a POSIX shell; cmd.exe on Windows): each word quoted
// where the shell would read it otherwise, lines of at most `width` columns joined by the shell's
// line continuation (a word longer than a line stands alone on its line).
std::string ShellCommand(const std::vector<std::string>& words, std::size_t width = 80);

}  // namespace vorlend
