#pragma once
// Windows-1250, converted as Windows does it: the five undefined bytes map to U+0081, U+0083,
// U+0088, U+0090 and U+0098 and back, so no byte is lost; a character the code page cannot hold
// is written as "?".
#include <string>
#include <string_view>

namespace vorlend {

std::string Cp1250ToUtf8(std::string_view bytes);
std::string Utf8ToCp1250(std::string_view text);

}  // namespace vorlend
