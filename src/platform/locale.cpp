#include "platform/locale.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/text.h"

namespace vorlend {

namespace {

std::mutex g_mutex;
LocaleFormats g_formats = CzechLocaleFormats();

std::string Pad(int value, int width) {
  std::string s = std::to_string(value);
  while (static_cast<int>(s.size()) < width) s.insert(s.begin(), '0');
  return s;
}

// Splits text into the numbers it holds; false when anything but digits, blanks and separators stands in it.
bool Numbers(const std::string& text, std::vector<int>& numbers, const std::string& allowed) {
  numbers.clear();
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      std::size_t j = i;
      long v = 0;
      while (j < text.size() && text[j] >= '0' && text[j] <= '9' && j - i < 6) v = v * 10 + (text[j++] - '0');
      if (j < text.size() && text[j] >= '0' && text[j] <= '9') return false;
      numbers.push_back(static_cast<int>(v));
      i = j;
    } else if (c == ' ' || allowed.find(c) != std::string::npos) {
      ++i;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

LocaleFormats CzechLocaleFormats() {
  return LocaleFormats{};
}

void NormaliseDateSeparator(LocaleFormats& formats) {
  const std::string full = formats.DateSeparator;
  if (CharCount(full) <= 1) return;
  const std::string trimmed = Trim(full);
  // A separator of blanks only keeps one blank.
  const std::string single = trimmed.empty() ? std::string(" ") : CutToChars(trimmed, 1);
  formats.ShortDateFormat = ReplaceAll(formats.ShortDateFormat, full, single);
  formats.DateSeparator = single;
}

const LocaleFormats& FormatSettings() {
  return g_formats;
}

void SetFormatSettings(const LocaleFormats& formats) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_formats = formats;
}

namespace {

// One run of a pattern letter ("dd", "yyyy") as the parts of a date and time give it.
std::string FormatRun(char letter, int length, int y, int mo, int d, int h, int mi, int s) {
  const int width = length >= 2 ? 2 : 1;
  switch (letter) {
    case 'd':
      return Pad(d, width);
    case 'M':
      return Pad(mo, width);
    case 'y':
      return length <= 2 ? Pad(y % 100, 2) : Pad(y, 4);
    case 'H':
      return Pad(h, width);
    case 'h':
      return Pad(h % 12 == 0 ? 12 : h % 12, width);
    case 'm':
      return Pad(mi, width);
    case 's':
      return Pad(s, width);
    case 't':
      return h < 12 ? "AM" : "PM";
    default:
      return std::string(static_cast<std::size_t>(length), letter);
  }
}

bool IsPatternLetter(char c) {
  return std::string_view("dMyHhmst").find(c) != std::string_view::npos;
}

}  // namespace

std::string FormatDateTime(const std::string& format, TDateTime dt, const LocaleFormats&) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
  DecodeDate(dt, y, mo, d);
  DecodeTime(dt, h, mi, s, ms);
  std::string out;
  std::size_t i = 0;
  while (i < format.size()) {
    const char c = format[i];
    if (c == '\'' || c == '"') {
      // Quoted text stands as it is.
      const std::size_t end = format.find(c, i + 1);
      out += format.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
      i = end == std::string::npos ? format.size() : end + 1;
      continue;
    }
    if (!IsPatternLetter(c)) {
      out.push_back(c);
      ++i;
      continue;
    }
    std::size_t n = 0;
    while (i + n < format.size() && format[i + n] == c) ++n;
    i += n;
    out += FormatRun(c, static_cast<int>(n), y, mo, d, h, mi, s);
  }
  return out;
}

std::string DateToStr(TDateTime dt, const LocaleFormats& fs) {
  return FormatDateTime(fs.ShortDateFormat, dt, fs);
}
std::string TimeToStr(TDateTime dt, const LocaleFormats& fs) {
  return FormatDateTime(fs.LongTimeFormat, dt, fs);
}
std::string DateTimeToStr(TDateTime dt, const LocaleFormats& fs) {
  if (dt - std::floor(dt) == 0.0) return DateToStr(dt, fs);
  return DateToStr(dt, fs) + " " + TimeToStr(dt, fs);
}

namespace {
// The order of day, month and year ("DMY") as the short date format gives it.
std::string DateOrder(const LocaleFormats& fs) {
  std::string order;
  for (char c : fs.ShortDateFormat) {
    const char k = c == 'd' ? 'D' : c == 'M' ? 'M' : c == 'y' ? 'Y' : '\0';
    if (k && order.find(k) == std::string::npos) order.push_back(k);
  }
  return order.size() == 3 ? order : "DMY";
}
}  // namespace

bool TryStrToDate(const std::string& text, TDateTime& out, const LocaleFormats& fs) {
  std::vector<int> n;
  if (!Numbers(Trim(text), n, fs.DateSeparator + "./-") || n.size() < 2 || n.size() > 3) return false;
  const std::string order = DateOrder(fs);
  int day = 0, month = 0, year = 0;
  int y0 = 0, m0 = 0, d0 = 0;
  DecodeDate(Today(), y0, m0, d0);
  std::size_t k = 0;
  bool yearGiven = false;
  for (char part : order) {
    if (part == 'Y' && n.size() == 2) continue;
    const int v = n[k++];
    if (part == 'D')
      day = v;
    else if (part == 'M')
      month = v;
    else {
      year = v;
      yearGiven = true;
    }
  }
  if (!yearGiven)
    year = y0;
  else if (year < 100 && Trim(text).size() <= 8)
    year += year < 50 ? 2000 : 1900;
  if (!IsValidDate(year, month, day)) return false;
  out = EncodeDate(year, month, day);
  return true;
}

bool TryStrToTime(const std::string& text, TDateTime& out, const LocaleFormats&) {
  std::string t = Trim(text);
  int add = 0;
  const std::string upper = UpperCase(t);
  if (upper.size() > 2 && (upper.substr(upper.size() - 2) == "AM" || upper.substr(upper.size() - 2) == "PM")) {
    add = upper.substr(upper.size() - 2) == "PM" ? 12 : 0;
    t = Trim(t.substr(0, t.size() - 2));
  }
  std::vector<int> n;
  if (!Numbers(t, n, ":") || n.empty() || n.size() > 3) return false;
  int h = n[0], m = n.size() > 1 ? n[1] : 0, s = n.size() > 2 ? n[2] : 0;
  if (add == 12 && h < 12) h += 12;
  if (h > 23 || m > 59 || s > 59) return false;
  out = EncodeTime(h, m, s);
  return true;
}

bool TryStrToDateTime(const std::string& text, TDateTime& out, const LocaleFormats& fs) {
  const std::string t = Trim(text);
  // The time starts at the first blank that is followed by digits and a colon.
  const std::size_t colon = t.find(':');
  if (colon == std::string::npos) return TryStrToDate(t, out, fs);
  const std::size_t blank = t.rfind(' ', colon);
  if (blank == std::string::npos) return TryStrToTime(t, out, fs);
  TDateTime date = 0, time = 0;
  if (!TryStrToDate(t.substr(0, blank), date, fs) || !TryStrToTime(t.substr(blank + 1), time, fs)) return false;
  out = date + time;
  return true;
}

std::string FloatToStr(double value, const LocaleFormats& fs) {
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  std::string s(buffer, r.ptr);
  for (char& c : s) {
    if (c == '.') c = fs.DecimalSeparator;
  }
  // "1e+20" is written as Delphi writes it: "1E+20".
  for (char& c : s) {
    if (c == 'e') c = 'E';
  }
  return s;
}

bool TryStrToFloat(const std::string& text, double& out, const LocaleFormats& fs) {
  std::string t = Trim(text);
  if (t.empty()) return false;
  for (char& c : t) {
    if (c == fs.DecimalSeparator)
      c = '.';
    else if (c == '.')
      return false;  // only the locale's separator counts
  }
  const char* begin = t.data();
  const char* end = t.data() + t.size();
  if (*begin == '+') ++begin;
  double v = 0;
  const auto r = std::from_chars(begin, end, v);
  if (r.ec != std::errc() || r.ptr != end || !std::isfinite(v)) return false;
  out = v;
  return true;
}

}  // namespace vorlend
