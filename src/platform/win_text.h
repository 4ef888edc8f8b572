#pragma once
// Windows only: the add-on keeps every text in UTF-8 and hands paths and texts to the system as
// UTF-16, never through the ANSI code page.
#include <windows.h>

#include <string>
#include <string_view>

namespace vorlend::win {

std::wstring Wide(std::string_view utf8);
std::string Narrow(std::wstring_view wide);
// A path for the wide-character calls: "/" becomes "\". A path too long for the calls' plain form
// (MAX_PATH) is made absolute, with "." and ".." taken out, and given the form they take at any
// length: "\\?\C:\..." or, for a network path, "\\?\UNC\server\share\...". A path already in
// that form (or a device's "\\.\") stays as it is.
std::wstring WidePath(std::string_view utf8);

}  // namespace vorlend::win
