// The system's locale formats on POSIX systems: from the environment's locale (LC_ALL,
// LC_TIME/LC_NUMERIC, LANG) through nl_langinfo.
#include "platform/locale.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdlib>

#include "platform/text.h"

namespace vorlend {

namespace {

std::string LocaleName(const char* category) {
  for (const char* var : {"LC_ALL", category, "LANG"}) {
    const char* v = std::getenv(var);
    if (v && *v) return v;
  }
  return {};
}

bool IsPlainLocale(const std::string& name) {
  return name.empty() || name == "C" || name == "POSIX" || StartsWith(name, "C.");
}

// A strftime date or time format turned into the Windows-style format string.
std::string FromStrftime(const std::string& f, std::string& firstSeparator) {
  std::string out;
  int fields = 0;
  for (std::size_t i = 0; i < f.size(); ++i) {
    if (f[i] != '%' || i + 1 == f.size()) {
      // The separator is the whole run of text between the first two fields (". " in some locales).
      if (!out.empty() && fields == 1) firstSeparator.push_back(f[i]);
      out.push_back(f[i]);
      continue;
    }
    ++fields;
    char c = f[++i];
    if (c == 'E' || c == 'O' || c == '-' || c == '_' || c == '0') {
      if (i + 1 == f.size()) break;
      c = f[++i];
    }
    switch (c) {
      case 'd':
        out += "dd";
        break;
      case 'e':
        out += "d";
        break;
      case 'm':
        out += "MM";
        break;
      case 'Y':
        out += "yyyy";
        break;
      case 'y':
        out += "yy";
        break;
      case 'H':
        out += "HH";
        break;
      case 'k':
        out += "H";
        break;
      case 'I':
        out += "hh";
        break;
      case 'l':
        out += "h";
        break;
      case 'M':
        out += "mm";
        break;
      case 'S':
        out += "ss";
        break;
      case 'p':
        out += "tt";
        break;
      case 'T':
        out += "HH:mm:ss";
        break;
      case 'D':
        out += "MM/dd/yy";
        break;
      case 'F':
        out += "yyyy-MM-dd";
        break;
      default:
        break;
    }
  }
  return out;
}

}  // namespace

LocaleFormats SystemLocaleFormats() {
  const std::string timeName = LocaleName("LC_TIME");
  const std::string numericName = LocaleName("LC_NUMERIC");
  LocaleFormats f = CzechLocaleFormats();
  if (IsPlainLocale(timeName) && IsPlainLocale(numericName)) return f;
  if (!IsPlainLocale(timeName)) {
    if (locale_t loc = ::newlocale(LC_TIME_MASK, timeName.c_str(), static_cast<locale_t>(nullptr))) {
      std::string sep;
      const std::string date = FromStrftime(::nl_langinfo_l(D_FMT, loc), sep);
      std::string ignored;
      const std::string time = FromStrftime(::nl_langinfo_l(T_FMT, loc), ignored);
      if (!date.empty() && !sep.empty()) {
        f.ShortDateFormat = date;
        f.DateSeparator = sep;
      }
      if (!time.empty()) f.LongTimeFormat = time;
      ::freelocale(loc);
    }
  }
  if (!IsPlainLocale(numericName)) {
    if (locale_t loc = ::newlocale(LC_NUMERIC_MASK, numericName.c_str(), static_cast<locale_t>(nullptr))) {
      const char* radix = ::nl_langinfo_l(RADIXCHAR, loc);
      if (radix && radix[0] && !radix[1]) f.DecimalSeparator = radix[0];
      ::freelocale(loc);
    }
  }
  return f;
}

}  // namespace vorlend
