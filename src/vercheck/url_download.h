#pragma once
// The two system services the version check needs: a GUID for a temporary file name and a
// synchronous download of an address into a file.
#include <chrono>
#include <string>

namespace vorlend {

// A new random GUID in its 38-character text form: braces around 32 upper-case hexadecimal digits
// in groups of 8, 4, 4, 4 and 12 joined by hyphens.
std::string NewGuidText();

struct DownloadLimits {
  std::chrono::milliseconds connect{5000};  // to establish the connection
  std::chrono::milliseconds total{15000};   // for the whole transfer, connection included
};

// Fetches `url` (http or https, redirects followed) into `fileName`, replacing the file. Fails on
// any transport error, an HTTP error status, a time-out or a body larger than a version file can
// sensibly be. Loopback addresses never go through a proxy. On failure the file may be left
// partly written; the caller removes it.
bool DownloadToFile(const std::string& url, const std::string& fileName, const DownloadLimits& limits = {});

}  // namespace vorlend
