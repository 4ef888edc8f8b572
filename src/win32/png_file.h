#pragma once
// Writes a picture of 24-bit pixels as a PNG file, without compression (for the screenshots).
#include <cstdint>
#include <string>
#include <vector>

namespace vorlend::win32 {

// `rgb` holds width × height pixels, three bytes each (red, green, blue), row after row from the
// top. False when the file cannot be written.
bool WritePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb);

}  // namespace vorlend::win32
