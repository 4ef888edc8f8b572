#pragma once
// What the file layer's system sides (files_posix.cpp, files_win.cpp) share.
#include <string>
#include <string_view>

namespace vorlend {

// Turns "\" into "/".
std::string Slashes(std::string_view path);

// The name a replacing write gives its temporary file beside `target`: "info.~PID.RANDOM".
std::string TemporaryNameFor(const std::string& target);
// Removes the temporary files beside `target` whose writing process no longer runs: it died
// before the rename and will never finish them.
void RemoveStaleTemporaries(const std::string& target);

}  // namespace vorlend
