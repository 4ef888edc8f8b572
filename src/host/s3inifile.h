#pragma once
// TS3IniFile: Money's settings store (AGENDA, ROK), kept either as a classic ini file or, in
// newer Money versions, as a settings table of the same name with the extension ".DAT". The
// constructor picks the form once; every operation then works on that form.
//
// Settings table: one record per key, fields "Section1", "Variable", "TypeVar" (always written
// empty) and the untyped "Value", with the index "Section1+Variable" that every lookup uses.
#include <cstdint>
#include <memory>
#include <string>

#include "host/bftable.h"
#include "platform/ini.h"

namespace vorlend {

class TS3IniFile : public TIniFile {
public:
  enum : std::uint8_t { IniForm = 0, TableForm = 1 };

  // No version: a ".DAT" beside the name decides the form.
  explicit TS3IniFile(const std::string& fileName);
  // Below 12.1: ini form; from 12.1 upward, or a version that cannot be read: table form.
  TS3IniFile(const std::string& fileName, const std::string& versionText);
  ~TS3IniFile() override;

  std::string ReadString(const std::string& section, const std::string& ident, const std::string& def) override;
  void WriteString(const std::string& section, const std::string& ident, const std::string& value) override;
  std::int32_t ReadInteger(const std::string& section, const std::string& ident, std::int32_t def) override;
  void WriteInteger(const std::string& section, const std::string& ident, std::int32_t value) override;
  bool ReadBool(const std::string& section, const std::string& ident, bool def) override;
  void WriteBool(const std::string& section, const std::string& ident, bool value) override;
  std::size_t ReadBinaryStream(const std::string& section, const std::string& ident, std::string& out) override;
  TDateTime ReadDate(const std::string& section, const std::string& ident, TDateTime def) override;
  TDateTime ReadDateTime(const std::string& section, const std::string& ident, TDateTime def) override;
  double ReadFloat(const std::string& section, const std::string& ident, double def) override;
  TDateTime ReadTime(const std::string& section, const std::string& ident, TDateTime def) override;
  void WriteBinaryStream(const std::string& section, const std::string& ident, const std::string& bytes) override;
  void WriteDate(const std::string& section, const std::string& ident, TDateTime value) override;
  void WriteDateTime(const std::string& section, const std::string& ident, TDateTime value) override;
  void WriteFloat(const std::string& section, const std::string& ident, double value) override;
  void WriteTime(const std::string& section, const std::string& ident, TDateTime value) override;
  void ReadSection(const std::string& section, TStrings& keys) override;
  void ReadSections(TStrings& sections) override;
  void ReadSectionValues(const std::string& section, TStrings& lines) override;
  void EraseSection(const std::string& section) override;
  void DeleteKey(const std::string& section, const std::string& ident) override;
  void UpdateFile() override;

  std::string TableFileName;   // the settings table's path; empty in the ini form
  std::string VersionText;     // "00.000" when no version was given
  double VersionNumber = 0.0;  // VersionText read as a number, when a version was given
  std::uint8_t StorageForm = IniForm;
  std::unique_ptr<TBFTable> Table;  // the open settings table; table form only

private:
  bool IsTable() const { return StorageForm == TableForm; }
  // The stored value of the key, when the table has it; any failure counts as a miss.
  bool ReadValue(const std::string& section, const std::string& ident, Variant& value);
  void WriteValue(const std::string& section, const std::string& ident, const Variant& value);
};

}  // namespace vorlend
