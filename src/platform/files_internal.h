#pragma once
// What the file layer's system sides (files_posix.cpp, files_win.cpp) share.
#include <string>
#include <string_view>

namespace vorlend {

// Turns "\" into "/".
std::string Slashes(std::string_view path);

}  // namespace vorlend
