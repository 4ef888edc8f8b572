// The system's locale formats on Windows: the user's short date, long time and decimal separator,
// which are already written as the add-on writes its formats ("d.M.yyyy", "H:mm:ss").
#include "platform/locale.h"

#include "platform/win_text.h"

namespace vorlend {

namespace {

std::string LocaleText(LCTYPE type) {
  wchar_t buffer[128];
  const int n = ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buffer, static_cast<int>(std::size(buffer)));
  return n > 1 ? win::Narrow(std::wstring_view(buffer, static_cast<std::size_t>(n - 1))) : std::string();
}

// The first character of a date format that is no format letter and no quote.
std::string FirstSeparator(const std::string& format) {
  for (const char c : format) {
    if (c != 'd' && c != 'M' && c != 'y' && c != '\'' && c != 'g') return std::string(1, c);
  }
  return {};
}

}  // namespace

LocaleFormats SystemLocaleFormats() {
  LocaleFormats f = CzechLocaleFormats();
  const std::string date = LocaleText(LOCALE_SSHORTDATE);
  const std::string sep = FirstSeparator(date);
  if (!date.empty() && !sep.empty()) {
    f.ShortDateFormat = date;
    f.DateSeparator = sep;
  }
  if (const std::string time = LocaleText(LOCALE_STIMEFORMAT); !time.empty()) f.LongTimeFormat = time;
  if (const std::string decimal = LocaleText(LOCALE_SDECIMAL); decimal.size() == 1) f.DecimalSeparator = decimal[0];
  return f;
}

}  // namespace vorlend
