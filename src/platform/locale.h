#pragma once
// The locale formats the add-on uses: date separator, short date and long time formats (Delphi
// format strings such as "d.M.yyyy" and "H:mm:ss") and the decimal separator. One process-wide
// value, made once at start-up from the system locale; tests set fixed values.
#include <string>

#include "platform/datetime.h"

namespace vorlend {

struct LocaleFormats {
  std::string DateSeparator = ".";
  std::string ShortDateFormat = "d.M.yyyy";
  std::string LongTimeFormat = "H:mm:ss";
  char DecimalSeparator = ',';
};

// The Czech formats, used where the system locale is C or POSIX.
LocaleFormats CzechLocaleFormats();
// Read from the environment's locale (LC_ALL, LC_TIME/LC_NUMERIC, LANG).
LocaleFormats SystemLocaleFormats();

// The program body's date-separator normalisation: a separator of more than one character is
// trimmed to its first character ("." for ". "), and the short date format follows it. A separator
// of blanks only becomes a single blank.
void NormaliseDateSeparator(LocaleFormats& formats);

const LocaleFormats& FormatSettings();
void SetFormatSettings(const LocaleFormats& formats);

// Formatting with Delphi format strings: d dd M MM yyyy yy, H HH h hh m mm s ss, "/" stands for
// the date separator and ":" for the time separator ":". Text in quotes is copied.
std::string FormatDateTime(const std::string& format, TDateTime dt, const LocaleFormats& fs = FormatSettings());
std::string DateToStr(TDateTime dt, const LocaleFormats& fs = FormatSettings());
std::string TimeToStr(TDateTime dt, const LocaleFormats& fs = FormatSettings());
std::string DateTimeToStr(TDateTime dt, const LocaleFormats& fs = FormatSettings());
// Parsing in the order of the short date format (day, month, year with any separator between the
// numbers, as Delphi's StrToDate does); false on failure.
bool TryStrToDate(const std::string& text, TDateTime& out, const LocaleFormats& fs = FormatSettings());
bool TryStrToTime(const std::string& text, TDateTime& out, const LocaleFormats& fs = FormatSettings());
bool TryStrToDateTime(const std::string& text, TDateTime& out, const LocaleFormats& fs = FormatSettings());

// Numbers with the locale's decimal separator (no thousands separators).
std::string FloatToStr(double value, const LocaleFormats& fs = FormatSettings());
bool TryStrToFloat(const std::string& text, double& out, const LocaleFormats& fs = FormatSettings());

}  // namespace vorlend
