#pragma once
// Ini files with the Windows private-profile behaviour: sections and keys match without regard to
// case and are trimmed, values are trimmed and lose one matching pair of enclosing quotes, the
// first matching section and key win, a missing file or key reads as the default. A write updates
// the key in place or appends it at the end of its section (a new section at the end of the file)
// and keeps every other line; CR, LF and NUL in a written value become blanks. Lines end with
// CR LF; text is Windows-1250 on disk.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/datetime.h"

namespace vorlend {

using TStrings = std::vector<std::string>;

class TCustomIniFile {
public:
  explicit TCustomIniFile(std::string fileName) : m_fileName(std::move(fileName)) {}
  virtual ~TCustomIniFile() = default;
  TCustomIniFile(const TCustomIniFile&) = delete;
  TCustomIniFile& operator=(const TCustomIniFile&) = delete;

  const std::string& FileName() const { return m_fileName; }

  virtual std::string ReadString(const std::string& section, const std::string& ident, const std::string& def) = 0;
  virtual void WriteString(const std::string& section, const std::string& ident, const std::string& value) = 0;
  // Decimal with an optional sign, or 0x hexadecimal; anything else gives the default.
  virtual std::int32_t ReadInteger(const std::string& section, const std::string& ident, std::int32_t def);
  virtual void WriteInteger(const std::string& section, const std::string& ident, std::int32_t value);
  // Read as an integer, any non-zero value meaning true; written as 1 or 0.
  virtual bool ReadBool(const std::string& section, const std::string& ident, bool def);
  virtual void WriteBool(const std::string& section, const std::string& ident, bool value);
  // Raw bytes written as hexadecimal text; returns the number of bytes read into `out`.
  virtual std::size_t ReadBinaryStream(const std::string& section, const std::string& ident, std::string& out);
  virtual TDateTime ReadDate(const std::string& section, const std::string& ident, TDateTime def);
  virtual TDateTime ReadDateTime(const std::string& section, const std::string& ident, TDateTime def);
  virtual double ReadFloat(const std::string& section, const std::string& ident, double def);
  virtual TDateTime ReadTime(const std::string& section, const std::string& ident, TDateTime def);
  virtual void WriteBinaryStream(const std::string& section, const std::string& ident, const std::string& bytes);
  virtual void WriteDate(const std::string& section, const std::string& ident, TDateTime value);
  virtual void WriteDateTime(const std::string& section, const std::string& ident, TDateTime value);
  virtual void WriteFloat(const std::string& section, const std::string& ident, double value);
  virtual void WriteTime(const std::string& section, const std::string& ident, TDateTime value);
  virtual void ReadSection(const std::string& section, TStrings& keys) = 0;
  virtual void ReadSections(TStrings& sections) = 0;
  virtual void ReadSectionValues(const std::string& section, TStrings& lines) = 0;  // "key=value"
  virtual void EraseSection(const std::string& section) = 0;
  virtual void DeleteKey(const std::string& section, const std::string& ident) = 0;
  virtual void UpdateFile() = 0;

protected:
  std::string m_fileName;
};

// Raised when the system refuses a write to an ini file.
class IniWriteError : public std::exception {
public:
  explicit IniWriteError(const std::string& path) : m_what("Nelze zapsat do souboru " + path) {}
  const char* what() const noexcept override { return m_what.c_str(); }

private:
  std::string m_what;
};

// True when the file exists but cannot be read whole (larger than MaxSmallFileBytes, no plain
// file, unreadable): it reads as empty, and every write to it is refused (IniWriteError) rather
// than replacing what it holds.
bool IniFileUnreadable(const std::string& fileName);

class TIniFile : public TCustomIniFile {
public:
  explicit TIniFile(std::string fileName) : TCustomIniFile(std::move(fileName)) {}

  std::string ReadString(const std::string& section, const std::string& ident, const std::string& def) override;
  void WriteString(const std::string& section, const std::string& ident, const std::string& value) override;
  void ReadSection(const std::string& section, TStrings& keys) override;
  void ReadSections(TStrings& sections) override;
  void ReadSectionValues(const std::string& section, TStrings& lines) override;
  void EraseSection(const std::string& section) override;
  void DeleteKey(const std::string& section, const std::string& ident) override;
  void UpdateFile() override;  // every write reaches the disk at once; nothing to flush
};

// The lines of an ini file, and whether it is kept in UTF-8 (it began with the byte-order mark).
struct IniLines {
  std::vector<std::string> lines;
  bool utf8 = false;
};

// An ini file read once: reads answer from the text read, writes change only that text, and
// UpdateFile writes the whole file in one atomic replace with the same bytes a TIniFile would have
// left after the same writes. A file that exists but cannot be read whole reads as empty, and
// UpdateFile refuses (IniWriteError) to replace it.
class TMemIniFile : public TCustomIniFile {
public:
  explicit TMemIniFile(std::string fileName);
  // The file's bytes, read already by the caller.
  TMemIniFile(std::string fileName, const std::string& bytes);

  std::string ReadString(const std::string& section, const std::string& ident, const std::string& def) override;
  void WriteString(const std::string& section, const std::string& ident, const std::string& value) override;
  void ReadSection(const std::string& section, TStrings& keys) override;
  void ReadSections(TStrings& sections) override;
  void ReadSectionValues(const std::string& section, TStrings& lines) override;
  void EraseSection(const std::string& section) override;
  void DeleteKey(const std::string& section, const std::string& ident) override;
  void UpdateFile() override;

private:
  IniLines m_file;
  bool m_unreadable = false;
};

}  // namespace vorlend
