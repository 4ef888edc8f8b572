#include "host/s3inifile.h"

#include "platform/files.h"
#include "platform/locale.h"

namespace vorlend {

namespace {

constexpr const char* kNoVersion = "00.000";
// Money keeps its settings in tables from this version on.
constexpr double kFirstTableVersion = 12.1;

}  // namespace

TS3IniFile::TS3IniFile(const std::string& fileName) : TS3IniFile(fileName, kNoVersion) {}

TS3IniFile::TS3IniFile(const std::string& fileName, const std::string& versionText)
    : TIniFile(fileName), VersionText(versionText) {
  std::string tableName;
  if (VersionText == kNoVersion) {
    const std::string datName = ChangeFileExt(fileName, ".DAT");
    if (FileExists(ResolvePath(datName))) tableName = datName;
  } else {
    if (!TryStrToFloat(VersionText, VersionNumber, FormatSettings())) VersionNumber = kFirstTableVersion;
    if (VersionNumber >= kFirstTableVersion) tableName = ChangeFileExt(fileName, ".DAT");
  }
  if (tableName.empty()) return;

  StorageForm = TableForm;
  TableFileName = tableName;
  m_fileName.clear();
  Table = std::make_unique<TBFTable>();
  // A table that does not open is not reported here: every later read then gives its default.
  static_cast<void>(Table->OpenTable(TableFileName));
  if (Table->IsOpen()) static_cast<void>(Table->SetOrder("Section1+Variable"));
}

TS3IniFile::~TS3IniFile() {
  if (Table) Table->CloseTable();
}

bool TS3IniFile::ReadValue(const std::string& section, const std::string& ident, Variant& value) {
  try {
    static_cast<void>(Table->GoTop());
    if (Table->Seek2(Variant::FromString(section), Variant::FromString(ident)) != kSeekFound) return false;
    value = Table->Value("Value");
    // A stored Null holds no value of any type.
    return !value.IsNull();
  } catch (...) {
    return false;
  }
}

void TS3IniFile::WriteValue(const std::string& section, const std::string& ident, const Variant& value) {
  try {
    static_cast<void>(Table->GoTop());
    if (Table->Seek2(Variant::FromString(section), Variant::FromString(ident)) == kSeekFound) {
      Table->SetValue("Value", value);
      static_cast<void>(Table->Post());
      return;
    }
    Table->AppendBlank();
    Table->SetValue("Section1", Variant::FromString(section));
    Table->SetValue("Variable", Variant::FromString(ident));
    Table->SetValue("TypeVar", Variant::FromString(std::string()));
    Table->SetValue("Value", value);
    static_cast<void>(Table->Post());
  } catch (...) {
    // A settings write in the table form fails silently.
  }
}

std::string TS3IniFile::ReadString(const std::string& section, const std::string& ident, const std::string& def) {
  if (!IsTable()) return TIniFile::ReadString(section, ident, def);
  Variant v;
  if (!ReadValue(section, ident, v)) return def;
  return v.ToString();
}

void TS3IniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value) {
  if (!IsTable()) return TIniFile::WriteString(section, ident, value);
  WriteValue(section, ident, Variant::FromString(value));
}

std::int32_t TS3IniFile::ReadInteger(const std::string& section, const std::string& ident, std::int32_t def) {
  if (!IsTable()) return TIniFile::ReadInteger(section, ident, def);
  Variant v;
  std::int32_t result = 0;
  try {
    if (ReadValue(section, ident, v) && v.ToInt(result)) return result;
  } catch (...) {
  }
  return def;
}

void TS3IniFile::WriteInteger(const std::string& section, const std::string& ident, std::int32_t value) {
  if (!IsTable()) return TIniFile::WriteInteger(section, ident, value);
  WriteValue(section, ident, Variant::FromInt(value));
}

bool TS3IniFile::ReadBool(const std::string& section, const std::string& ident, bool def) {
  if (!IsTable()) return TIniFile::ReadBool(section, ident, def);
  Variant v;
  bool result = false;
  try {
    if (ReadValue(section, ident, v) && v.ToBool(result)) return result;
  } catch (...) {
  }
  return def;
}

void TS3IniFile::WriteBool(const std::string& section, const std::string& ident, bool value) {
  if (!IsTable()) return TIniFile::WriteBool(section, ident, value);
  WriteValue(section, ident, Variant::FromBool(value));
}

std::size_t TS3IniFile::ReadBinaryStream(const std::string& section, const std::string& ident, std::string& out) {
  if (!IsTable()) return TIniFile::ReadBinaryStream(section, ident, out);
  return 0;
}

double TS3IniFile::ReadFloat(const std::string& section, const std::string& ident, double def) {
  if (!IsTable()) return TIniFile::ReadFloat(section, ident, def);
  Variant v;
  double result = 0.0;
  try {
    if (ReadValue(section, ident, v) && v.ToDouble(result)) return result;
  } catch (...) {
  }
  return def;
}

// Dates and times are kept as day counts and read back as floating-point numbers.
TDateTime TS3IniFile::ReadDate(const std::string& section, const std::string& ident, TDateTime def) {
  if (!IsTable()) return TIniFile::ReadDate(section, ident, def);
  return ReadFloat(section, ident, def);
}

TDateTime TS3IniFile::ReadDateTime(const std::string& section, const std::string& ident, TDateTime def) {
  if (!IsTable()) return TIniFile::ReadDateTime(section, ident, def);
  return ReadFloat(section, ident, def);
}

TDateTime TS3IniFile::ReadTime(const std::string& section, const std::string& ident, TDateTime def) {
  if (!IsTable()) return TIniFile::ReadTime(section, ident, def);
  return ReadFloat(section, ident, def);
}

void TS3IniFile::WriteBinaryStream(const std::string& section, const std::string& ident, const std::string& bytes) {
  if (!IsTable()) TIniFile::WriteBinaryStream(section, ident, bytes);
}

void TS3IniFile::WriteDate(const std::string& section, const std::string& ident, TDateTime value) {
  if (!IsTable()) return TIniFile::WriteDate(section, ident, value);
  WriteValue(section, ident, Variant::FromDate(value));
}

void TS3IniFile::WriteDateTime(const std::string& section, const std::string& ident, TDateTime value) {
  if (!IsTable()) return TIniFile::WriteDateTime(section, ident, value);
  WriteValue(section, ident, Variant::FromDate(value));
}

void TS3IniFile::WriteFloat(const std::string& section, const std::string& ident, double value) {
  if (!IsTable()) return TIniFile::WriteFloat(section, ident, value);
  WriteValue(section, ident, Variant::FromDouble(value));
}

void TS3IniFile::WriteTime(const std::string& section, const std::string& ident, TDateTime value) {
  if (!IsTable()) return TIniFile::WriteTime(section, ident, value);
  WriteValue(section, ident, Variant::FromDate(value));
}

// Listing and erasing sections, and flushing, have no counterpart in the table form.
void TS3IniFile::ReadSection(const std::string& section, TStrings& keys) {
  if (!IsTable()) TIniFile::ReadSection(section, keys);
}

void TS3IniFile::ReadSections(TStrings& sections) {
  if (!IsTable()) TIniFile::ReadSections(sections);
}

void TS3IniFile::ReadSectionValues(const std::string& section, TStrings& lines) {
  if (!IsTable()) TIniFile::ReadSectionValues(section, lines);
}

void TS3IniFile::EraseSection(const std::string& section) {
  if (!IsTable()) TIniFile::EraseSection(section);
}

void TS3IniFile::DeleteKey(const std::string& section, const std::string& ident) {
  if (!IsTable()) return TIniFile::DeleteKey(section, ident);
  try {
    static_cast<void>(Table->GoTop());
    if (Table->Seek2(Variant::FromString(section), Variant::FromString(ident)) == kSeekFound) Table->DeleteRecord();
  } catch (...) {
  }
}

void TS3IniFile::UpdateFile() {
  if (!IsTable()) TIniFile::UpdateFile();
}

}  // namespace vorlend
