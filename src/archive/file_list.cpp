#include "archive/file_list.h"

#include <algorithm>

#include "platform/cp1250.h"
#include "platform/files.h"
#include "platform/text.h"

namespace vorlend {

namespace {

constexpr std::size_t kWidths[3] = {10, 50, 30};
constexpr const char* kFieldNames[3] = {"FileName", "MoneyFile", "WorkingStr"};

std::string EncodeValue(const std::string& value) {
  std::string escaped;
  for (char c : value) {
    switch (c) {
      case '%':
        escaped += "%%";
        break;
      case '\r':
        escaped += "%c";
        break;
      case '\n':
        escaped += "%n";
        break;
      case '\0':
        escaped += "%0";
        break;
      default:
        escaped.push_back(c);
    }
  }
  std::string out = "\"";
  for (char c : escaped) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

std::string DecodeEscapes(const std::string& value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '%' && i + 1 < value.size()) {
      const char n = value[i + 1];
      if (n == '%' || n == 'c' || n == 'n' || n == '0') {
        out.push_back(n == '%' ? '%' : n == 'c' ? '\r' : n == 'n' ? '\n' : '\0');
        ++i;
        continue;
      }
    }
    out.push_back(value[i]);
  }
  return out;
}

// The values of one line, column by column: a value is the text between a quote and the next
// quote that is not doubled; characters outside quotes are skipped, and a column that reaches its
// comma without any quote is empty.
std::vector<std::string> SplitValues(const std::string& line) {
  std::vector<std::string> values;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] != '"' && line[i] != ',') ++i;
    if (i >= line.size()) {
      values.emplace_back();
      break;
    }
    if (line[i] == ',') {
      values.emplace_back();
      ++i;
      continue;
    }
    std::string value;
    ++i;
    while (i < line.size()) {
      if (line[i] == '"') {
        if (i + 1 < line.size() && line[i + 1] == '"') {
          value.push_back('"');
          i += 2;
          continue;
        }
        break;
      }
      value.push_back(line[i++]);
    }
    i += 2;  // the closing quote and the character after it
    values.push_back(std::move(value));
  }
  return values;
}

}  // namespace

FileListRow MakeFileListRow(const std::string& fileName, const std::string& moneyFile, const std::string& workingStr) {
  return {CutToChars(fileName, kWidths[0]), CutToChars(moneyFile, kWidths[1]), CutToChars(workingStr, kWidths[2])};
}

std::string EncodeFileList(const FileList& rows) {
  std::string text;
  for (const char* name : kFieldNames) text += std::string("\"") + name + "\",";
  text += "\r\n";
  for (const auto& row : rows) {
    for (const std::string* v : {&row.FileName, &row.MoneyFile, &row.WorkingStr}) text += EncodeValue(*v) + ",";
    text += "\r\n";
  }
  return Utf8ToCp1250(text);
}

FileList DecodeFileList(const std::string& bytes) {
  const std::string text = Cp1250ToUtf8(bytes);
  std::vector<std::string> lines;
  std::string current;
  for (char c : text) {
    if (c == '\r' || c == '\n' || c == '\0') {
      if (!current.empty()) lines.push_back(std::move(current));
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) lines.push_back(std::move(current));

  FileList rows;
  if (lines.empty()) return rows;
  // Which field each column of the header feeds (-1: none).
  std::vector<int> columnField;
  for (const auto& name : SplitValues(lines[0])) {
    int field = -1;
    for (int f = 0; f < 3; ++f) {
      if (SameText(name, kFieldNames[f])) field = f;
    }
    columnField.push_back(field);
  }
  for (std::size_t l = 1; l < lines.size(); ++l) {
    const auto values = SplitValues(lines[l]);
    std::string fields[3];
    for (std::size_t c = 0; c < values.size() && c < columnField.size(); ++c) {
      if (columnField[c] >= 0) fields[columnField[c]] = DecodeEscapes(values[c]);
    }
    rows.push_back(MakeFileListRow(fields[0], fields[1], fields[2]));
  }
  return rows;
}

bool WriteFileListFile(const std::string& path, const FileList& rows) {
  return WriteFileAtomic(path, EncodeFileList(rows));
}

std::string YearsText(const std::vector<std::string>& yearNames) {
  std::string text;
  for (const std::string& name : yearNames) text += name + ", ";
  text = Trim(text);
  if (!text.empty()) text.pop_back();
  return text;
}

namespace {
// The description file keeps no line breaks inside a value.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  }
  return Trim(text);
}
}  // namespace

namespace {
// Why the row at `index` cannot be the save's row of module `m` (empty when it can be), given the
// year extensions and names of the groups so far; a row that starts a year's group adds its year.
std::string RowDamage(const FileListRow& row, std::size_t index, const ModuleInfo& m, bool startsYear,
                      std::vector<std::string>& exts, std::vector<std::string>& names) {
  const std::string line =
      "řádek " + std::to_string(index + 1) + " seznamu info.tab (\"" + row.FileName + "\", \"" + row.MoneyFile + "\")";
  const std::string suffix = std::string("\\") + m.moneyTable;
  if (!StartsWithText(row.MoneyFile, "ROK.") || row.MoneyFile.size() <= 4 + suffix.size() ||
      !SameText(row.MoneyFile.substr(row.MoneyFile.size() - suffix.size()), suffix)) {
    return line + " neuvádí tabulku Money modulu " + m.code + ", který tam má podle souboru info být";
  }
  const std::string yearExt = row.MoneyFile.substr(4, row.MoneyFile.size() - suffix.size() - 4);
  if (row.FileName != CutToChars(std::string(m.code) + yearExt, 10)) {
    return line + " spojuje archivní soubor s tabulkou Money jiného modulu nebo roku";
  }
  if (startsYear) {
    if (std::any_of(exts.begin(), exts.end(), [&](const std::string& seen) { return SameText(seen, yearExt); })) {
      return line + " uvádí účetní rok podruhé";
    }
    if (!StartsWith(row.WorkingStr, m.workingText)) return line + " má popis jiného modulu";
    exts.push_back(yearExt);
    names.push_back(row.WorkingStr.substr(std::string(m.workingText).size()));
  } else if (!SameText(yearExt, exts.back())) {
    return line + " patří k jinému roku než ostatní moduly jeho roku";
  }
  if (row.WorkingStr != CutToChars(m.workingText + names.back(), 30)) return line + " má popis jiného modulu";
  return {};
}
}  // namespace

std::string FileListDamage(const FileList& rows, const std::string& yearsText, const ModuleFilter& modules) {
  std::vector<const ModuleInfo*> chosen;
  for (std::size_t m = 0; m < kModuleCount; ++m) {
    if (modules[m]) chosen.push_back(&kModules[m]);
  }
  if (chosen.empty()) return "popisný soubor info neuvádí žádný modul";
  if (rows.empty()) return "seznam souborů info.tab je prázdný";
  if (rows.size() % chosen.size() != 0) {
    return "seznam souborů info.tab má " + std::to_string(rows.size()) + " řádků, což neodpovídá " +
           std::to_string(chosen.size()) + " modulům v souboru info";
  }
  std::vector<std::string> names, exts;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::string damage = RowDamage(rows[i], i, *chosen[i % chosen.size()], i % chosen.size() == 0, exts, names);
    if (!damage.empty()) return damage;
  }
  if (OneLine(YearsText(names)) != OneLine(yearsText)) {
    return "seznam souborů info.tab uvádí roky \"" + YearsText(names) + "\", popisný soubor info roky \"" + yearsText +
           "\"";
  }
  return {};
}

}  // namespace vorlend
