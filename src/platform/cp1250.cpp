#include "platform/cp1250.h"

#include <unordered_map>

#include "platform/text.h"

namespace vorlend {

namespace {
// The upper half of Windows-1250. The five bytes the code page leaves undefined map to the C1
// control character of the same value, as Windows converts them.
constexpr char32_t kUpperHalf[128] = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021, 0x0088, 0x2030, 0x0160, 0x2039, 0x015A,
    0x0164, 0x017D, 0x0179, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122,
    0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6,
    0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B, 0x00B0, 0x00B1, 0x02DB, 0x0142,
    0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, 0x0154,
    0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD,
    0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA,
    0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, 0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4,
    0x0151, 0x00F6, 0x00F7, 0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

const std::unordered_map<char32_t, char>& ReverseTable() {
  static const std::unordered_map<char32_t, char> kTable = [] {
    std::unordered_map<char32_t, char> t;
    for (int i = 0; i < 128; ++i) t.emplace(kUpperHalf[i], static_cast<char>(0x80 + i));
    return t;
  }();
  return kTable;
}
}  // namespace

std::string Cp1250ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80)
      out.push_back(c);
    else
      AppendUtf8(out, kUpperHalf[b - 0x80]);
  }
  return out;
}

namespace {
// The character that starts at `i` and the number of bytes it takes, or U+FFFD for one byte that
// starts no well-formed character: a stray continuation byte, a cut sequence, a surrogate, a
// code point beyond U+10FFFF, or an overlong form. An overlong form spells a character in more
// bytes than it needs ("\xC0\x8A" for a line break, "\xC0\xA2" for a double quote); read as that
// character, it would slip a line break or a quote past every writer that escapes or replaces
// them before the text is converted.
char32_t NextCodePoint(std::string_view text, std::size_t i, std::size_t& length) {
  const auto lead = static_cast<unsigned char>(text[i]);
  length = 1;
  if (lead < 0x80) return lead;
  std::size_t n = 0;
  char32_t cp = 0, minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    n = 2;
    cp = lead & 0x1F;
    minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    n = 3;
    cp = lead & 0x0F;
    minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    n = 4;
    cp = lead & 0x07;
    minimum = 0x10000;
  } else
    return 0xFFFD;
  if (i + n > text.size()) return 0xFFFD;
  for (std::size_t k = 1; k < n; ++k) {
    const auto c = static_cast<unsigned char>(text[i + k]);
    if ((c & 0xC0) != 0x80) return 0xFFFD;
    cp = (cp << 6) | (c & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFD;
  length = n;
  return cp;
}
}  // namespace

std::string Utf8ToCp1250(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const auto& reverse = ReverseTable();
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = 1;
    const char32_t cp = NextCodePoint(text, i, length);
    i += length;
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
      continue;
    }
    const auto it = reverse.find(cp);
    out.push_back(it == reverse.end() ? '?' : it->second);
  }
  return out;
}

}  // namespace vorlend
