// info.tab: the archive's file list, decoded from any bytes and encoded from any rows.
//
// The first byte chooses the direction. Decoding: whatever rows any bytes give, encoding them
// and decoding again gives the same rows, and the encoded text holds one line per row (every CR,
// LF and NUL inside a value is escaped). Encoding: rows of any text (any bytes) decode back as the
// rows cut to their widths, with what the code page cannot hold as "?", and every row stays one
// line of the file.
#include <cstddef>
#include <cstdint>

#include "archive/file_list.h"
#include "fuzz_support.h"
#include "platform/cp1250.h"
#include "platform/text.h"

using namespace vorlend;
using vorlend::fuzz::Printable;

namespace {

std::string Describe(const FileList& rows) {
  std::string s;
  for (const auto& r : rows)
    s += Printable(r.FileName) + " " + Printable(r.MoneyFile) + " " + Printable(r.WorkingStr) + "\n";
  return s;
}

// What the code page keeps of a text: a character outside it, or a byte that is no well-formed
// UTF-8, becomes "?".
std::string Stored(const std::string& text) {
  return Cp1250ToUtf8(Utf8ToCp1250(text));
}

bool Same(const FileList& a, const FileList& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].FileName != b[i].FileName || a[i].MoneyFile != b[i].MoneyFile || a[i].WorkingStr != b[i].WorkingStr)
      return false;
  }
  return true;
}

void CheckEncoded(const FileList& rows, const std::string& bytes) {
  const std::string header = "\"FileName\",\"MoneyFile\",\"WorkingStr\",\r\n";
  FUZZ_CHECK(bytes.compare(0, header.size(), header) == 0, Printable(bytes));
  // Every line ends with a comma and CR LF; no other CR, LF or NUL is left in the text.
  std::size_t lines = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\r') {
      FUZZ_CHECK(i + 1 < bytes.size() && bytes[i + 1] == '\n' && i > 0 && bytes[i - 1] == ',', Printable(bytes));
      ++lines;
      ++i;
    } else {
      FUZZ_CHECK(c != '\n' && c != '\0', Printable(bytes));
    }
  }
  FUZZ_CHECK(lines == rows.size() + 1 && bytes.size() >= 2 && bytes.substr(bytes.size() - 2) == "\r\n",
             Printable(bytes));
}

void CheckWidths(const FileList& rows) {
  for (const auto& r : rows) {
    FUZZ_CHECK(CharCount(r.FileName) <= 10 && CharCount(r.MoneyFile) <= 50 && CharCount(r.WorkingStr) <= 30,
               Describe(rows));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  if (data[0] % 2 == 0) {
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const FileList rows = DecodeFileList(bytes);
    CheckWidths(rows);
    const std::string encoded = EncodeFileList(rows);
    CheckEncoded(rows, encoded);
    const FileList again = DecodeFileList(encoded);
    FUZZ_CHECK(Same(again, rows),
               "decoded:\n" + Describe(rows) + "after encoding and decoding again:\n" + Describe(again));
    return 0;
  }

  FuzzedDataProvider in(data + 1, size - 1);
  FileList rows, cut;
  const std::size_t count = in.ConsumeIntegralInRange<std::size_t>(0, 8);
  for (std::size_t i = 0; i < count; ++i) {
    FileListRow row;
    row.FileName = fuzz::ConsumeText(in, 16);
    row.MoneyFile = fuzz::ConsumeText(in, 64);
    row.WorkingStr = fuzz::ConsumeText(in, 40);
    cut.push_back(MakeFileListRow(Stored(row.FileName), Stored(row.MoneyFile), Stored(row.WorkingStr)));
    rows.push_back(std::move(row));
  }
  const std::string encoded = EncodeFileList(rows);
  CheckEncoded(rows, encoded);
  const FileList back = DecodeFileList(encoded);
  FUZZ_CHECK(Same(back, cut), "written:\n" + Describe(cut) + "read back:\n" + Describe(back));
  return 0;
}
