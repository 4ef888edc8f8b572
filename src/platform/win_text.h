#pragma once
// Windows only: the add-on keeps every text in UTF-8 and hands paths and texts to the system as
// UTF-16, never through the ANSI code page.
#include <windows.h>

#include <string>
#include <string_view>

namespace vorlend::win {

std::wstring Wide(std::string_view utf8);
std::string Narrow(std::wstring_view wide);
// A path for the wide-character calls: "/" becomes "\".
std::wstring WidePath(std::string_view utf8);

}  // namespace vorlend::win
