// Ini files over any Windows-1250 bytes: reads never fail on a damaged file, and a write changes
// exactly the key it names.
//
// Each input is a file (any bytes) and a few writes of any text. After every write, read through
// the class itself: the written value reads back as written (CR, LF and NUL become blanks, the
// value is trimmed and loses one pair of enclosing quotes, characters outside the code page become
// "?"); every other section reads as before; in the written section only that key changed (or was
// added at its end); and no other key or section appeared. So no value, whatever it holds, can
// forge a line such as "Correct=1" or a section "[MAIN]". Typed writes read back as written.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "platform/cp1250.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/text.h"

using namespace vorlend;
using vorlend::fuzz::Printable;

namespace {

std::string OneLine(std::string s) {
  for (char& c : s) {
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  }
  return s;
}

// What the code page keeps of a text.
std::string Stored(const std::string& text) {
  return Cp1250ToUtf8(Utf8ToCp1250(text));
}

// A section or key name the file can hold as that name: it survives the code page, and it cannot
// be read as something else (a "]" ends a section name, a "=" ends a key, a key line that begins
// with "[" is a section header).
bool StorableSection(const std::string& section) {
  const std::string n = Trim(OneLine(section));
  return Stored(section) == section && n.find(']') == std::string::npos;
}
bool StorableKey(const std::string& key) {
  const std::string k = Trim(OneLine(key));
  return Stored(key) == key && k.find('=') == std::string::npos && (k.empty() || k[0] != '[');
}

struct Snapshot {
  TStrings sections;             // every header, in file order
  std::vector<TStrings> values;  // ReadSectionValues of each header's name
};

Snapshot Take(TIniFile& ini) {
  Snapshot s;
  ini.ReadSections(s.sections);
  for (const auto& name : s.sections) {
    TStrings v;
    ini.ReadSectionValues(name, v);
    s.values.push_back(std::move(v));
  }
  return s;
}

std::string Describe(const Snapshot& s) {
  std::string out;
  for (std::size_t i = 0; i < s.sections.size(); ++i) {
    out += "[" + Printable(s.sections[i]) + "]\n";
    for (const auto& line : s.values[i]) out += "  " + Printable(line) + "\n";
  }
  return out;
}

// Names compare as a write stores them: a NUL inside a name in the file is a blank as well.
bool SameNames(const std::string& inFile, const std::string& stored) {
  return SameText(Trim(OneLine(inFile)), stored);
}

std::string KeyOf(const std::string& line) {
  return line.substr(0, line.find('='));
}

// After a write of `key` in `section`: the snapshot as it must read. `value` is the expected read,
// or null when only the key's presence is known (typed writes).
void CheckAfterWrite(const Snapshot& before, const Snapshot& after, const std::string& section, const std::string& key,
                     const std::string* value, const std::string& context) {
  const std::string name = Trim(OneLine(section));
  const std::string ident = Trim(OneLine(key));
  std::size_t target = before.sections.size();
  for (std::size_t i = 0; i < before.sections.size(); ++i) {
    if (SameNames(before.sections[i], name)) {
      target = i;
      break;
    }
  }
  const std::string detail = context + "before:\n" + Describe(before) + "after:\n" + Describe(after);
  const std::size_t expectedCount = before.sections.size() + (target == before.sections.size() ? 1 : 0);
  FUZZ_CHECK(after.sections.size() == expectedCount, detail);
  for (std::size_t i = 0; i < before.sections.size(); ++i) {
    FUZZ_CHECK(after.sections[i] == before.sections[i], detail);
    if (SameNames(before.sections[i], name)) continue;
    FUZZ_CHECK(after.values[i] == before.values[i], detail);
  }
  TStrings expected = target < before.sections.size() ? before.values[target] : TStrings{};
  // Only the first matching key is written; a later duplicate of it stays as it was.
  std::size_t written = expected.size();
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (SameNames(KeyOf(expected[i]), ident)) {
      expected[i] = ident + "=" + (value ? *value : std::string());
      written = i;
      break;
    }
  }
  if (written == expected.size()) expected.push_back(ident + "=" + (value ? *value : std::string()));
  const TStrings& got = after.values[target];
  FUZZ_CHECK(got.size() == expected.size(), detail);
  for (std::size_t i = 0; i < got.size(); ++i) {
    // A value the oracle cannot spell (a number or a date in the writer's own form) is checked
    // by its key alone.
    if (value || i != written)
      FUZZ_CHECK(got[i] == expected[i], detail);
    else
      FUZZ_CHECK(KeyOf(got[i]) == ident, detail);
  }
  if (target == before.sections.size()) FUZZ_CHECK(after.sections.back() == name, detail);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  static const std::string kPath = fuzz::Sandbox() + "fuzz.ini";
  FUZZ_CHECK(WriteFileAtomic(kPath, in.ConsumeRandomLengthString(4096)), "the sandbox takes no file");
  TIniFile ini(kPath);

  const int writes = in.ConsumeIntegralInRange(0, 4);
  for (int w = 0; w < writes; ++w) {
    const int kind = in.ConsumeIntegralInRange(0, 3);
    const std::string section = fuzz::ConsumeText(in, 24);
    const std::string key = fuzz::ConsumeText(in, 24);
    const bool storable = StorableSection(section) && StorableKey(key);
    const std::string context = "section " + Printable(section) + ", key " + Printable(key) + "\n";
    const Snapshot before = Take(ini);
    switch (kind) {
      case 0: {
        const std::string value = fuzz::ConsumeText(in, 80);
        ini.WriteString(section, key, value);
        if (!storable) break;
        const std::string expected = fuzz::ExpectedIniRead(value);
        const std::string read = ini.ReadString(section, key, "\x01 default");
        FUZZ_CHECK(read == expected, context + "wrote " + Printable(value) + ", read " + Printable(read));
        CheckAfterWrite(before, Take(ini), section, key, &expected, context + "value " + Printable(value) + "\n");
        break;
      }
      case 1: {
        const std::int32_t value = in.ConsumeIntegral<std::int32_t>();
        ini.WriteInteger(section, key, value);
        if (!storable) break;
        FUZZ_CHECK(ini.ReadInteger(section, key, value ^ 1) == value, context + std::to_string(value));
        FUZZ_CHECK(ini.ReadBool(section, key, value == 0) == (value != 0), context + std::to_string(value));
        CheckAfterWrite(before, Take(ini), section, key, nullptr, context);
        break;
      }
      case 2: {
        const std::string bytes = in.ConsumeRandomLengthString(40);
        ini.WriteBinaryStream(section, key, bytes);
        if (!storable) break;
        std::string back;
        FUZZ_CHECK(ini.ReadBinaryStream(section, key, back) == bytes.size() && back == bytes,
                   context + Printable(bytes) + " read back as " + Printable(back));
        CheckAfterWrite(before, Take(ini), section, key, nullptr, context);
        break;
      }
      default: {
        // Reads of a damaged file give a value or the default, never more than one line's worth.
        const std::string read = ini.ReadString(section, key, "");
        FUZZ_CHECK(read.find_first_of(std::string("\r\n", 2)) == std::string::npos, context + Printable(read));
        ini.ReadInteger(section, key, 0);
        ini.ReadDate(section, key, 0);
        ini.ReadTime(section, key, 0);
        ini.ReadFloat(section, key, 0);
        std::string bytes;
        ini.ReadBinaryStream(section, key, bytes);
        TStrings keys;
        ini.ReadSection(section, keys);
      }
    }
  }
  return 0;
}
