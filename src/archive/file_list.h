#pragma once
// The file list of an archive: one row per archive table, held in memory and stored as info.tab.
#include <string>
#include <vector>

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

}  // namespace vorlend
