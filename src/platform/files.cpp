#include "platform/files.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <utility>

#include "platform/environment.h"
#include "platform/files_internal.h"
#include "platform/text.h"

namespace vorlend {

std::string Slashes(std::string_view path) {
  std::string p(path);
  std::replace(p.begin(), p.end(), '\\', '/');
  return p;
}

std::string TemporaryNameFor(const std::string& target) {
  static std::mt19937_64 rng{std::random_device{}()};
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, ".~%d.%llx", CurrentProcessId(), static_cast<unsigned long long>(rng()));
  return target + suffix;
}

void RemoveStaleTemporaries(const std::string& target) {
  const std::string dir = ExtractFilePath(target);
  const std::string prefix = ExtractFileName(target) + ".~";
  for (const DirEntry& e : FindEntries(dir.empty() ? "." : dir, prefix + "*")) {
    if (e.name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::size_t dot = e.name.find('.', prefix.size());
    const std::string digits =
        e.name.substr(prefix.size(), dot == std::string::npos ? std::string::npos : dot - prefix.size());
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 9) continue;
    if (ProcessGone(std::stoi(digits))) SystemFileDoor().DeleteFile(dir + e.name);
  }
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
  std::string p(path);
  if (p.empty() || (p.back() != '/' && p.back() != '\\')) p.push_back(kPathDelim);
  return p;
}

std::string ExcludeTrailingPathDelimiter(std::string_view path) {
  std::string p(path);
  while (p.size() > 1 && (p.back() == '/' || p.back() == '\\')) p.pop_back();
  return p;
}

std::string ExtractFileName(std::string_view path) {
  const std::size_t pos = path.find_last_of("/\\");
  return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

std::string ExtractFilePath(std::string_view path) {
  const std::size_t pos = path.find_last_of("/\\");
  return pos == std::string_view::npos ? std::string() : std::string(path.substr(0, pos + 1));
}

std::string ExtractFileExt(std::string_view path) {
  const std::string name = ExtractFileName(path);
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  const std::string dir = ExtractFilePath(path);
  std::string name = ExtractFileName(path);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return dir + name + std::string(ext);
}

bool ForceDirectories(std::string_view path) {
  const std::string p = ExcludeTrailingPathDelimiter(Slashes(path));
  if (p.empty()) return false;
  if (DirectoryExists(p)) return true;
  const std::string parent = ExcludeTrailingPathDelimiter(ExtractFilePath(p));
  if (!parent.empty() && parent != p && !DirectoryExists(parent)) {
    if (!ForceDirectories(parent)) return false;
  }
  return CreateDir(p);
}

namespace {
std::string g_noSpaceFolder;
}  // namespace

void NoteWriteFailure(int error, std::string_view path) {
  if (IsNoSpaceError(error)) g_noSpaceFolder = ExtractFilePath(path);
}

std::string TakeNoSpaceFolder() {
  return std::exchange(g_noSpaceFolder, std::string());
}

bool MatchesMask(std::string_view name, std::string_view mask) {
  const std::u32string n = Utf8ToCodePoints(UpperCase(name));
  std::u32string m = Utf8ToCodePoints(UpperCase(mask));
  if (m == U"*.*") return true;
  // "name.*" also matches "name" without an extension, as on Windows.
  if (m.size() >= 2 && m.substr(m.size() - 2) == U".*" && n == m.substr(0, m.size() - 2) &&
      n.find(U'*') == std::u32string::npos) {
    return true;
  }
  // Iterative wildcard match with backtracking on the last "*".
  std::size_t i = 0, j = 0, star = std::u32string::npos, mark = 0;
  while (i < n.size()) {
    if (j < m.size() && (m[j] == U'?' || m[j] == n[i])) {
      ++i;
      ++j;
    } else if (j < m.size() && m[j] == U'*') {
      star = j++;
      mark = i;
    } else if (star != std::u32string::npos) {
      j = star + 1;
      i = ++mark;
    } else {
      return false;
    }
  }
  while (j < m.size() && m[j] == U'*') ++j;
  return j == m.size();
}

}  // namespace vorlend
