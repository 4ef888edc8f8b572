#pragma once
// The file list of an archive: one row per archive table, held in memory and stored as info.tab.
#include <string>
#include <vector>

#include "archive/modules.h"

namespace vorlend {

struct FileListRow {
  std::string FileName;    // at most 10 characters: module code + year extension
  std::string MoneyFile;   // at most 50: "ROK." + year extension + "\" + Money table
  std::string WorkingStr;  // at most 30: working text + year name
};

using FileList = std::vector<FileListRow>;

// The rows cut to their widths.
FileListRow MakeFileListRow(const std::string& fileName, const std::string& moneyFile, const std::string& workingStr);

// info.tab as bytes (Windows-1250, CR LF, quoted values, a comma after every field).
std::string EncodeFileList(const FileList& rows);
// Reads info.tab bytes; the header's columns are matched to the fields by name.
FileList DecodeFileList(const std::string& bytes);

bool WriteFileListFile(const std::string& path, const FileList& rows);

// The years as the description file lists them: the names joined by ", " ("2026, 2025").
std::string YearsText(const std::vector<std::string>& yearNames);

// Why `rows` cannot be the file list that a save wrote beside a description with these years
// (YEARS/List) and modules (FILTER): a save writes, for each of its years in turn, one row for
// each of its modules in the module table's order, each naming that module's archive table and
// Money table of that year. Empty when it can be. A list cut short, a row taken from another
// list or one that pairs an archive table with another module's Money table would put lock
// states on the wrong documents or leave some out.
std::string FileListDamage(const FileList& rows, const std::string& yearsText, const ModuleFilter& modules);

}  // namespace vorlend
