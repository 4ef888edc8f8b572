#include "platform/ini.h"

#include <cmath>

#include "platform/cp1250.h"
#include "platform/files.h"
#include "platform/locale.h"
#include "platform/text.h"

namespace vorlend {

// ---- typed operations shared by every ini class ------------------------------------------

std::int32_t TCustomIniFile::ReadInteger(const std::string& section, const std::string& ident, std::int32_t def) {
  const std::string s = Trim(ReadString(section, ident, ""));
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    std::uint64_t v = 0;
    for (std::size_t i = 2; i < s.size(); ++i) {
      const char c = s[i];
      int digit = -1;
      if (c >= '0' && c <= '9')
        digit = c - '0';
      else if (c >= 'a' && c <= 'f')
        digit = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F')
        digit = c - 'A' + 10;
      if (digit < 0 || i > 9) return def;  // at most eight hexadecimal digits
      v = v * 16 + static_cast<std::uint64_t>(digit);
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
  }
  int value = 0;
  return ParseInt32(s, value) ? value : def;
}

void TCustomIniFile::WriteInteger(const std::string& section, const std::string& ident, std::int32_t value) {
  WriteString(section, ident, std::to_string(value));
}

bool TCustomIniFile::ReadBool(const std::string& section, const std::string& ident, bool def) {
  return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

void TCustomIniFile::WriteBool(const std::string& section, const std::string& ident, bool value) {
  WriteString(section, ident, value ? "1" : "0");
}

std::size_t TCustomIniFile::ReadBinaryStream(const std::string& section, const std::string& ident, std::string& out) {
  const std::string hex = ReadString(section, ident, "");
  out.clear();
  auto nibble = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    const int hi = nibble(hex[i]);
    const int lo = nibble(hex[i + 1]);
    if (hi < 0 || lo < 0) break;
    out.push_back(static_cast<char>(hi * 16 + lo));
  }
  return out.size();
}

void TCustomIniFile::WriteBinaryStream(const std::string& section, const std::string& ident, const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    hex.push_back(kDigits[b >> 4]);
    hex.push_back(kDigits[b & 15]);
  }
  WriteString(section, ident, hex);
}

TDateTime TCustomIniFile::ReadDate(const std::string& section, const std::string& ident, TDateTime def) {
  TDateTime v = 0;
  return TryStrToDate(ReadString(section, ident, ""), v) ? v : def;
}

TDateTime TCustomIniFile::ReadDateTime(const std::string& section, const std::string& ident, TDateTime def) {
  TDateTime v = 0;
  return TryStrToDateTime(ReadString(section, ident, ""), v) ? v : def;
}

double TCustomIniFile::ReadFloat(const std::string& section, const std::string& ident, double def) {
  double v = 0;
  return TryStrToFloat(ReadString(section, ident, ""), v) ? v : def;
}

TDateTime TCustomIniFile::ReadTime(const std::string& section, const std::string& ident, TDateTime def) {
  TDateTime v = 0;
  return TryStrToTime(ReadString(section, ident, ""), v) ? v : def;
}

void TCustomIniFile::WriteDate(const std::string& section, const std::string& ident, TDateTime value) {
  WriteString(section, ident, DateToStr(value));
}

void TCustomIniFile::WriteDateTime(const std::string& section, const std::string& ident, TDateTime value) {
  WriteString(section, ident, DateTimeToStr(value));
}

void TCustomIniFile::WriteFloat(const std::string& section, const std::string& ident, double value) {
  WriteString(section, ident, FloatToStr(value));
}

void TCustomIniFile::WriteTime(const std::string& section, const std::string& ident, TDateTime value) {
  WriteString(section, ident, TimeToStr(value));
}

// ---- the private-profile file ------------------------------------------------------------

bool IniFileUnreadable(const std::string& fileName) {
  std::string bytes;
  return !fileName.empty() && PathExists(fileName) && !ReadWholeFile(fileName, bytes, kMaxSmallFileBytes);
}

namespace {

// The UTF-8 byte-order mark: a file a plain editor saved as UTF-8 starts with it, and is read
// (and written back) as UTF-8; every other file is Windows-1250.
constexpr const char* kUtf8Bom = "\xEF\xBB\xBF";

// A file is UTF-8 when it begins with the mark and all that follows is well-formed UTF-8 (reads
// back as the same bytes): a Windows-1250 file may begin with those three bytes too ("ď»ż").
bool ReadsAsUtf8(std::string_view bytes) {
  if (bytes.substr(0, 3) != kUtf8Bom) return false;
  const std::string_view rest = bytes.substr(3);
  return CodePointsToUtf8(Utf8ToCodePoints(rest)) == rest;
}

IniLines SplitLines(const std::string& bytes) {
  IniLines result;
  result.utf8 = ReadsAsUtf8(bytes);
  const std::string text = result.utf8 ? bytes.substr(3) : Cp1250ToUtf8(bytes);
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      result.lines.push_back(text.substr(start, i - start));
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < text.size()) result.lines.push_back(text.substr(start));
  return result;
}

IniLines LoadLines(const std::string& fileName) {
  std::string bytes;
  if (fileName.empty() || !ReadWholeFile(fileName, bytes, kMaxSmallFileBytes)) return {};
  return SplitLines(bytes);
}

// The lines a write starts from. A file that exists but cannot be read whole (too large, not a
// plain file, unreadable) is never replaced by the few lines a write would make of it.
IniLines LoadLinesForWrite(const std::string& fileName) {
  if (IniFileUnreadable(fileName)) throw IniWriteError(fileName);
  return LoadLines(fileName);
}

void SaveLines(const std::string& fileName, const IniLines& file) {
  std::string text;
  for (const auto& line : file.lines) {
    text += line;
    text += "\r\n";
  }
  std::string bytes = file.utf8 ? kUtf8Bom + text : Utf8ToCp1250(text);
  // A Windows-1250 file that begins with "ď»ż" reads as Windows-1250 only while something after
  // it is no well-formed UTF-8; once a write has replaced the last such byte, it would read as a
  // UTF-8 file and its first line would lose those three characters. It is written as UTF-8 then,
  // with the mark and the same text, so every line reads as before.
  if (!file.utf8 && ReadsAsUtf8(bytes)) {
    bytes = kUtf8Bom + Cp1250ToUtf8(bytes);
  }
  if (!WriteFileAtomic(fileName, bytes)) throw IniWriteError(fileName);
}

// CR, LF and NUL would start lines of their own; they are written as blanks.
std::string OneLine(std::string s) {
  for (char& c : s) {
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  }
  return s;
}

// A section or key name as a write stores it. Names are compared in this form on both sides, the
// name asked for and the name in the file (which can hold a NUL), so a name with a line break or a
// NUL inside finds the line its own write made instead of adding another.
std::string StoredName(const std::string& name) {
  return Trim(OneLine(name));
}

// The name of a section header line, or false when the line is none.
bool SectionName(const std::string& line, std::string& name) {
  const std::string t = Trim(line);
  if (t.empty() || t[0] != '[') return false;
  const std::size_t close = t.find(']');
  name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
  return true;
}

bool KeyValue(const std::string& line, std::string& key, std::string& value) {
  const std::size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  key = Trim(line.substr(0, eq));
  value = Trim(line.substr(eq + 1));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return true;
}

// First line after the header of the first matching section, and the end of that section.
bool FindSection(const std::vector<std::string>& lines, const std::string& section, std::size_t& begin,
                 std::size_t& end) {
  const std::string wanted = StoredName(section);
  std::string name;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (SectionName(lines[i], name) && SameText(StoredName(name), wanted)) {
      begin = i + 1;
      end = begin;
      while (end < lines.size() && !SectionName(lines[end], name)) ++end;
      return true;
    }
  }
  return false;
}

bool FindKey(const std::vector<std::string>& lines, std::size_t begin, std::size_t end, const std::string& ident,
             std::size_t& at, std::string* value = nullptr) {
  const std::string wanted = StoredName(ident);
  std::string key, v;
  for (std::size_t i = begin; i < end; ++i) {
    if (KeyValue(lines[i], key, v) && SameText(StoredName(key), wanted)) {
      at = i;
      if (value) *value = v;
      return true;
    }
  }
  return false;
}

// The operations on the lines of one file, for TIniFile (which reads the file for every call and
// writes it after every change) and TMemIniFile (which reads it once and writes it on request).
std::string ReadStringIn(const std::vector<std::string>& lines, const std::string& section, const std::string& ident,
                         const std::string& def) {
  std::size_t begin = 0, end = 0, at = 0;
  std::string value;
  if (FindSection(lines, section, begin, end) && FindKey(lines, begin, end, ident, at, &value)) return value;
  return def;
}

// What a written text becomes in the file: in a Windows-1250 file the code page's own conversion
// does it for the whole file; a UTF-8 file gets the same text, so that a character the code page
// cannot hold, or bytes that are no well-formed UTF-8, read back as "?" in either file.
std::string AsWritten(const IniLines& file, const std::string& text) {
  return file.utf8 ? Cp1250ToUtf8(Utf8ToCp1250(text)) : text;
}

void WriteStringIn(IniLines& file, const std::string& section, const std::string& ident, const std::string& value) {
  std::vector<std::string>& lines = file.lines;
  const std::string line = AsWritten(file, StoredName(ident) + "=" + OneLine(value));
  std::size_t begin = 0, end = 0, at = 0;
  if (FindSection(lines, section, begin, end)) {
    if (FindKey(lines, begin, end, ident, at)) {
      lines[at] = line;
    } else {
      // After the last non-empty line of the section, so blank lines before the next section stay.
      std::size_t insert = end;
      while (insert > begin && Trim(lines[insert - 1]).empty()) --insert;
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insert), line);
    }
  } else {
    lines.push_back(AsWritten(file, "[" + StoredName(section) + "]"));
    lines.push_back(line);
  }
}

void ReadSectionIn(const std::vector<std::string>& lines, const std::string& section, TStrings& keys) {
  keys.clear();
  std::size_t begin = 0, end = 0;
  if (!FindSection(lines, section, begin, end)) return;
  std::string key, value;
  for (std::size_t i = begin; i < end; ++i) {
    if (KeyValue(lines[i], key, value)) keys.push_back(key);
  }
}

void ReadSectionsIn(const std::vector<std::string>& lines, TStrings& sections) {
  sections.clear();
  std::string name;
  for (const auto& line : lines) {
    if (SectionName(line, name)) sections.push_back(name);
  }
}

void ReadSectionValuesIn(const std::vector<std::string>& lines, const std::string& section, TStrings& out) {
  out.clear();
  std::size_t begin = 0, end = 0;
  if (!FindSection(lines, section, begin, end)) return;
  std::string key, value;
  for (std::size_t i = begin; i < end; ++i) {
    if (KeyValue(lines[i], key, value)) out.push_back(key.append("=").append(value));
  }
}

// False when there was nothing to erase.
bool EraseSectionIn(std::vector<std::string>& lines, const std::string& section) {
  std::size_t begin = 0, end = 0;
  if (!FindSection(lines, section, begin, end)) return false;
  lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(begin - 1), lines.begin() + static_cast<std::ptrdiff_t>(end));
  return true;
}

bool DeleteKeyIn(std::vector<std::string>& lines, const std::string& section, const std::string& ident) {
  std::size_t begin = 0, end = 0, at = 0;
  if (!FindSection(lines, section, begin, end) || !FindKey(lines, begin, end, ident, at)) return false;
  lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(at));
  return true;
}

}  // namespace

std::string TIniFile::ReadString(const std::string& section, const std::string& ident, const std::string& def) {
  return ReadStringIn(LoadLines(m_fileName).lines, section, ident, def);
}

void TIniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value) {
  IniLines file = LoadLinesForWrite(m_fileName);
  WriteStringIn(file, section, ident, value);
  SaveLines(m_fileName, file);
}

void TIniFile::ReadSection(const std::string& section, TStrings& keys) {
  ReadSectionIn(LoadLines(m_fileName).lines, section, keys);
}

void TIniFile::ReadSections(TStrings& sections) {
  ReadSectionsIn(LoadLines(m_fileName).lines, sections);
}

void TIniFile::ReadSectionValues(const std::string& section, TStrings& out) {
  ReadSectionValuesIn(LoadLines(m_fileName).lines, section, out);
}

void TIniFile::EraseSection(const std::string& section) {
  IniLines file = LoadLinesForWrite(m_fileName);
  if (EraseSectionIn(file.lines, section)) SaveLines(m_fileName, file);
}

void TIniFile::DeleteKey(const std::string& section, const std::string& ident) {
  IniLines file = LoadLinesForWrite(m_fileName);
  if (DeleteKeyIn(file.lines, section, ident)) SaveLines(m_fileName, file);
}

TMemIniFile::TMemIniFile(std::string fileName) : TCustomIniFile(std::move(fileName)) {
  m_unreadable = IniFileUnreadable(m_fileName);
  if (!m_unreadable) m_file = LoadLines(m_fileName);
}

TMemIniFile::TMemIniFile(std::string fileName, const std::string& bytes) : TCustomIniFile(std::move(fileName)) {
  m_file = SplitLines(bytes);
}

std::string TMemIniFile::ReadString(const std::string& section, const std::string& ident, const std::string& def) {
  return ReadStringIn(m_file.lines, section, ident, def);
}

void TMemIniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value) {
  WriteStringIn(m_file, section, ident, value);
}

void TMemIniFile::ReadSection(const std::string& section, TStrings& keys) {
  ReadSectionIn(m_file.lines, section, keys);
}
void TMemIniFile::ReadSections(TStrings& sections) {
  ReadSectionsIn(m_file.lines, sections);
}
void TMemIniFile::ReadSectionValues(const std::string& section, TStrings& lines) {
  ReadSectionValuesIn(m_file.lines, section, lines);
}
void TMemIniFile::EraseSection(const std::string& section) {
  EraseSectionIn(m_file.lines, section);
}
void TMemIniFile::DeleteKey(const std::string& section, const std::string& ident) {
  DeleteKeyIn(m_file.lines, section, ident);
}

void TMemIniFile::UpdateFile() {
  if (m_unreadable) throw IniWriteError(m_fileName);
  SaveLines(m_fileName, m_file);
}

void TIniFile::UpdateFile() {}

}  // namespace vorlend
