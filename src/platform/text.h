#pragma once
// UTF-8 text helpers with the Windows notions of case and white space the add-on relies on.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vorlend {

// Decodes UTF-8 into code points; an invalid byte becomes U+FFFD.
std::u32string Utf8ToCodePoints(std::string_view text);
std::string CodePointsToUtf8(std::u32string_view cps);
void AppendUtf8(std::string& out, char32_t cp);

// Number of characters (code points), and the text cut to at most `width` characters.
std::size_t CharCount(std::string_view text);
std::string CutToChars(std::string_view text, std::size_t width);

// Upper and lower case as Windows folds it for Latin text: ASCII, Latin-1 and Latin Extended-A
// (every Czech letter among them).
char32_t UpperChar(char32_t c);
char32_t LowerChar(char32_t c);
std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
bool SameText(std::string_view a, std::string_view b);
// Position (in bytes) of the first occurrence of `needle` compared without regard to case, or npos.
std::size_t FindText(std::string_view hay, std::string_view needle);

// Trim removes characters up to and including the blank (control characters too), as Delphi's Trim does.
std::string Trim(std::string_view text);
std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);

bool StartsWith(std::string_view text, std::string_view prefix);
bool StartsWithText(std::string_view text, std::string_view prefix);  // case-insensitive
std::string ReplaceAll(std::string text, std::string_view from, std::string_view to);
std::vector<std::string> Split(std::string_view text, char delimiter);

// Decimal integer in 32 bits with an optional sign; false on anything else.
bool ParseInt32(std::string_view text, int& out);

// The separator of thousands in a number shown to the user: the no-break space, as the Czech
// locale of Windows groups digits, so a number is never broken across two lines.
inline constexpr const char* kThousandsSeparator = "\u00A0";
// A whole number with its digits in groups of three, the Czech way: 144000 is "144 000" (with
// kThousandsSeparator), -1234 is "-1 234". For the user's eyes only, never for a machine's output.
std::string GroupedNumber(long long number);

}  // namespace vorlend
