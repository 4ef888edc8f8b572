#include "platform/win_text.h"

#include <algorithm>

namespace vorlend::win {

namespace {

// The longest plain path every call takes: CreateDirectoryW's limit, MAX_PATH less room for an 8.3
// name. Longer paths go to the system in the "\\?\" form.
constexpr std::size_t kPlainPathLimit = MAX_PATH - 12;

bool Begins(std::wstring_view text, std::wstring_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// Taken by the calls as it stands: the long form, or a device.
bool Verbatim(std::wstring_view path) {
  return Begins(path, L"\\\\?\\") || Begins(path, L"\\\\.\\");
}

}  // namespace

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string Narrow(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int n =
      ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring WidePath(std::string_view utf8) {
  std::wstring w = Wide(utf8);
  std::replace(w.begin(), w.end(), L'/', L'\\');
  if (w.size() < kPlainPathLimit || Verbatim(w)) return w;
  // The system's own reading of the path: absolute, "." and ".." gone, as the plain form would be
  // read. The long form is taken as it stands, so it must get the path in this shape.
  const DWORD size = ::GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  if (size == 0) return w;
  std::wstring full(size, L'\0');
  const DWORD n = ::GetFullPathNameW(w.c_str(), size, full.data(), nullptr);
  if (n == 0 || n >= size) return w;
  full.resize(n);
  if (Verbatim(full)) return full;
  if (Begins(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

}  // namespace vorlend::win
