// The file layer on Windows: wide-character calls with UTF-8 paths converted at the boundary, the
// system's own case-insensitive names, replacing renames with MoveFileExW, syncs with
// FlushFileBuffers, and directory locks from the sharing modes of a handle on the directory.
#include "platform/files.h"

#include "platform/win_text.h"
// windows.h names these after its own functions.
#undef DeleteFile
#undef CopyFile

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>
#include <utility>

#include "platform/environment.h"
#include "platform/files_internal.h"
#include "platform/text.h"

namespace vorlend {

using win::Narrow;
using win::WidePath;

namespace {

HANDLE AsHandle(std::intptr_t kept) {
  return reinterpret_cast<HANDLE>(kept);
}
std::intptr_t Kept(HANDLE h) {
  return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(h);
}

// A write that failed for want of space is remembered as on POSIX systems.
void NoteLastError(std::string_view path) {
  if (IsNoSpaceError(static_cast<int>(::GetLastError()))) NoteWriteFailure(ENOSPC, path);
}

bool Attributes(const std::string& path, DWORD& attributes) {
  attributes = ::GetFileAttributesW(WidePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES;
}

bool IsLink(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}
bool IsDir(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE OpenForReading(const std::string& path, bool noFollow) {
  return ::CreateFileW(WidePath(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | (noFollow ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
}

bool IsAbsolute(const std::string& p) {
  const bool drive = p.size() >= 3 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':' && p[2] == '/';
  return drive || (p.size() >= 2 && p[0] == '/' && p[1] == '/');
}

std::atomic<std::uint64_t> g_filesOpenedForReading{0};

// Reads an opened handle whole: only a plain file on the disk (no directory, pipe or device), at
// most `maxBytes`.
bool ReadOpenedFile(HANDLE h, std::string& bytes, std::size_t maxBytes) {
  ++g_filesOpenedForReading;
  bytes.clear();
  BY_HANDLE_FILE_INFORMATION info{};
  bool ok = ::GetFileType(h) == FILE_TYPE_DISK && ::GetFileInformationByHandle(h, &info) &&
            !IsDir(info.dwFileAttributes) && !IsLink(info.dwFileAttributes);
  const std::uint64_t size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  ok = ok && size <= maxBytes;
  if (ok) bytes.reserve(static_cast<std::size_t>(size));
  char buffer[65536];
  while (ok) {
    DWORD n = 0;
    if (!::ReadFile(h, buffer, sizeof buffer, &n, nullptr)) ok = false;
    if (!ok || n == 0) break;
    if (bytes.size() + n > maxBytes)
      ok = false;
    else
      bytes.append(buffer, n);
  }
  if (!ok) bytes.clear();
  return ok;
}

bool WriteAll(HANDLE h, const char* data, std::size_t size) {
  while (size > 0) {
    DWORD w = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20));
    if (!::WriteFile(h, data, chunk, &w, nullptr)) return false;
    data += w;
    size -= w;
  }
  return true;
}

}  // namespace

std::string NormaliseInputPath(std::string_view path) {
  std::string p = Slashes(path);
  if (p.empty() || IsAbsolute(p) || p[0] == '/') return p;
  // A program that takes long paths may stand in a current directory beyond MAX_PATH.
  std::wstring buffer(::GetCurrentDirectoryW(0, nullptr), L'\0');
  const DWORD n = ::GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
  if (n == 0 || n >= buffer.size()) return p;
  std::string cwd = Slashes(Narrow(std::wstring_view(buffer.data(), n)));
  if (cwd.empty() || cwd.back() != '/') cwd.push_back('/');
  if (StartsWith(p, "./")) p.erase(0, 2);
  return cwd + p;
}

// Windows finds every name without regard to letter case itself; what is looked up here is how
// each existing component is spelled on the disk, so that two spellings of one path compare equal.
std::string ResolvePath(std::string_view path) {
  const std::string p = Slashes(path);
  std::size_t start = 0;
  if (p.size() >= 2 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':') {
    start = p.size() > 2 && p[2] == '/' ? 3 : 2;
  } else if (StartsWith(p, "//")) {
    // "//server/share/" is taken as it stands.
    const std::size_t server = p.find('/', 2);
    const std::size_t share = server == std::string::npos ? server : p.find('/', server + 1);
    start = share == std::string::npos ? p.size() : share + 1;
  } else if (StartsWith(p, "/")) {
    start = 1;
  }
  std::string result = p.substr(0, start);
  bool resolving = true;
  std::size_t at = start;
  while (at < p.size()) {
    const std::size_t slash = p.find('/', at);
    const std::string part = p.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
    at = slash == std::string::npos ? p.size() : slash + 1;
    if (part.empty()) continue;
    if (!result.empty() && result.back() != '/') result.push_back('/');
    if (!resolving || part == "." || part == ".." || part.find_first_of("*?") != std::string::npos) {
      result += part;
      continue;
    }
    WIN32_FIND_DATAW data{};
    HANDLE h =
        ::FindFirstFileExW(WidePath(result + part).c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
    if (h == INVALID_HANDLE_VALUE) {
      result += part;
      resolving = false;  // nothing below a missing component can exist
      continue;
    }
    ::FindClose(h);
    result += Narrow(data.cFileName);
  }
  if (p.size() > start && p.back() == '/' && (result.empty() || result.back() != '/')) result.push_back('/');
  return result;
}

bool FileExists(std::string_view path) {
  DWORD a = 0;
  return Attributes(ResolvePath(path), a) && !IsDir(a);
}

bool DirectoryExists(std::string_view path) {
  DWORD a = 0;
  return Attributes(ResolvePath(ExcludeTrailingPathDelimiter(path)), a) && IsDir(a);
}

bool PathExists(std::string_view path) {
  DWORD a = 0;
  return Attributes(ResolvePath(ExcludeTrailingPathDelimiter(path)), a);
}

bool SystemDoor::CreateDir(std::string_view path) {
  const std::string p = ResolvePath(ExcludeTrailingPathDelimiter(path));
  if (DirectoryExists(p)) return true;
  if (::CreateDirectoryW(WidePath(p).c_str(), nullptr)) return true;
  if (::GetLastError() == ERROR_ALREADY_EXISTS) return DirectoryExists(p);
  NoteLastError(p);
  return false;
}

NewDirResult SystemDoor::CreateNewDir(std::string_view path) {
  const std::string p = ResolvePath(ExcludeTrailingPathDelimiter(path));
  if (PathExists(p)) return NewDirResult::Exists;
  if (::CreateDirectoryW(WidePath(p).c_str(), nullptr)) return NewDirResult::Created;
  if (::GetLastError() == ERROR_ALREADY_EXISTS) return NewDirResult::Exists;
  NoteLastError(p);
  return NewDirResult::Failed;
}

bool SystemDoor::DeleteFile(std::string_view path) {
  const std::string p = ResolvePath(path);
  DWORD a = 0;
  if (!Attributes(p, a) || IsDir(a)) return false;
  if (a & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesW(WidePath(p).c_str(), a & ~DWORD{FILE_ATTRIBUTE_READONLY});
  return ::DeleteFileW(WidePath(p).c_str()) != 0;
}

bool IsNoSpaceError(int systemError) {
  return systemError == ERROR_DISK_FULL || systemError == ERROR_HANDLE_DISK_FULL || systemError == ENOSPC;
}

bool IsPermissionError(int systemError) {
  return systemError == ERROR_ACCESS_DENIED;
}

bool SystemDoor::CreateEmptyFile(std::string_view path) {
  const std::string p = ResolvePath(path);
  HANDLE h = ::CreateFileW(WidePath(p).c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    NoteLastError(p);
    return false;
  }
  return ::CloseHandle(h) != 0;
}

bool SystemDoor::FolderTakesNewFiles(std::string_view folder) {
  const std::string probe = std::string(folder) + ".vorlend-probe-" + std::to_string(CurrentProcessId());
  HANDLE h = ::CreateFileW(WidePath(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_EXISTS;
  ::CloseHandle(h);
  return true;
}

bool SystemDoor::RemoveDir(std::string_view path) {
  return ::RemoveDirectoryW(WidePath(ResolvePath(ExcludeTrailingPathDelimiter(path))).c_str()) != 0;
}

namespace {
// A link (a reparse point) is removed as itself and never followed.
bool RemoveTreeAt(const std::string& path) {
  DWORD a = 0;
  if (!Attributes(path, a)) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  const std::wstring w = WidePath(path);
  if (a & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesW(w.c_str(), a & ~DWORD{FILE_ATTRIBUTE_READONLY});
  if (!IsDir(a)) return ::DeleteFileW(w.c_str()) != 0;
  if (IsLink(a)) return ::RemoveDirectoryW(w.c_str()) != 0;
  bool ok = true;
  for (const DirEntry& e : FindEntries(path, "*")) ok = RemoveTreeAt(path + "/" + e.name) && ok;
  return ::RemoveDirectoryW(w.c_str()) != 0 && ok;
}
}  // namespace

namespace {
// Asks for the right to delete the entry the way the removal will, and lets it go at once.
bool RemovableAt(const std::string& path, std::string& blocker, DWORD& error) {
  DWORD a = 0;
  if (!Attributes(path, a)) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  HANDLE h = ::CreateFileW(WidePath(path).c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    blocker = path;
    error = ::GetLastError();
    return false;
  }
  ::CloseHandle(h);
  if (!IsDir(a) || IsLink(a)) return true;
  for (const DirEntry& e : FindEntries(path, "*")) {
    if (!RemovableAt(path + "/" + e.name, blocker, error)) return false;
  }
  return true;
}
}  // namespace

bool TreeRemovable(std::string_view path, std::string& blocker, std::string& reason) {
  DWORD error = 0;
  if (RemovableAt(ResolvePath(ExcludeTrailingPathDelimiter(path)), blocker, error)) return true;
  reason = SystemErrorText(static_cast<int>(error));
  return false;
}

std::string SystemErrorText(int error) {
  wchar_t* text = nullptr;
  const DWORD n =
      ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string said = n ? Narrow(std::wstring_view(text, n)) : "chyba " + std::to_string(error);
  if (text) ::LocalFree(text);
  while (!said.empty() && (said.back() == '\r' || said.back() == '\n' || said.back() == ' ' || said.back() == '.')) {
    said.pop_back();
  }
  return said;
}

void SystemDoor::ShareWithGroup(std::string_view) {}

bool IsSymbolicLink(std::string_view path) {
  DWORD a = 0;
  return Attributes(ResolvePath(ExcludeTrailingPathDelimiter(path)), a) && IsLink(a);
}

// The database layer follows links on Windows, so nothing needs resolving there.
std::string RealDirectoryPath(std::string_view path) {
  return IncludeTrailingPathDelimiter(path);
}

bool SystemDoor::RemoveDirectoryTree(std::string_view path) {
  const std::string p = ResolvePath(ExcludeTrailingPathDelimiter(path));
  DWORD a = 0;
  if (!Attributes(p, a)) return false;
  if (IsLink(a))
    return IsDir(a) ? ::RemoveDirectoryW(WidePath(p).c_str()) != 0 : ::DeleteFileW(WidePath(p).c_str()) != 0;
  if (!IsDir(a)) return false;
  return RemoveTreeAt(p);
}

bool SystemDoor::SyncDirectoryOf(std::string_view path) {
  // NTFS keeps names in its journal; a directory handle that can be flushed is flushed as well.
  std::string dir = ExcludeTrailingPathDelimiter(ExtractFilePath(std::string(path)));
  if (dir.empty()) dir = ".";
  HANDLE h = ::CreateFileW(WidePath(dir).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return true;
  ::FlushFileBuffers(h);
  ::CloseHandle(h);
  return true;
}

bool SystemDoor::CopyFile(std::string_view source, std::string_view target, bool syncDirectory) {
  const std::string src = ResolvePath(source);
  const std::string dst = ResolvePath(target);
  HANDLE in = OpenForReading(src, false);
  if (in == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(in, &info) || IsDir(info.dwFileAttributes)) {
    ::CloseHandle(in);
    return false;
  }
  HANDLE out = ::CreateFileW(WidePath(dst).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    NoteLastError(dst);
    ::CloseHandle(in);
    return false;
  }
  bool ok = true;
  bool written = false;
  char buffer[65536];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(in, buffer, sizeof buffer, &n, nullptr)) ok = false;
    if (!ok || n == 0) break;
    if (!WriteAll(out, buffer, n)) {
      NoteLastError(dst);
      ok = false;
      break;
    }
    written = true;
  }
  ::CloseHandle(in);
  // The copy counts once it is on the disk.
  if (ok && written && !::FlushFileBuffers(out)) {
    NoteLastError(dst);
    ok = false;
  }
  if (!::CloseHandle(out)) ok = false;
  return ok && (!syncDirectory || SyncDirectoryOf(dst));
}

std::vector<DirEntry> FindEntries(std::string_view directory, std::string_view pattern, int* error) {
  std::vector<DirEntry> entries;
  const std::string dir = IncludeTrailingPathDelimiter(ResolvePath(directory));
  WIN32_FIND_DATAW data{};
  HANDLE h = ::FindFirstFileExW(WidePath(dir + "*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
  if (error) *error = h == INVALID_HANDLE_VALUE ? static_cast<int>(::GetLastError()) : 0;
  if (h == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::string name = Narrow(data.cFileName);
    if (name == "." || name == ".." || !MatchesMask(name, pattern)) continue;
    DirEntry entry;
    entry.name = name;
    entry.isSymlink = IsLink(data.dwFileAttributes);
    entry.isDirectory = IsDir(data.dwFileAttributes) && !entry.isSymlink;
    entries.push_back(std::move(entry));
  } while (::FindNextFileW(h, &data));
  ::FindClose(h);
  return entries;
}

double SecondsSinceModified(std::string_view path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(WidePath(ResolvePath(ExcludeTrailingPathDelimiter(path))).c_str(), GetFileExInfoStandard,
                              &data)) {
    return -1;
  }
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  auto ticks = [](const FILETIME& t) { return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; };
  return (static_cast<double>(ticks(now)) - static_cast<double>(ticks(data.ftLastWriteTime))) / 1e7;
}

bool SystemDoor::RenamePath(std::string_view from, std::string_view to) {
  const std::string target = ResolvePath(to);
  if (::MoveFileExW(WidePath(ResolvePath(from)).c_str(), WidePath(target).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  // A new name may need room in its folder.
  NoteLastError(target);
  return false;
}

std::uint64_t FilesOpenedForReading() {
  return g_filesOpenedForReading;
}

bool ReadWholeFile(std::string_view path, std::string& bytes, std::size_t maxBytes) {
  bytes.clear();
  HANDLE h = OpenForReading(ResolvePath(path), false);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = ReadOpenedFile(h, bytes, maxBytes);
  ::CloseHandle(h);
  return ok;
}

// A directory lock is a handle on the directory whose sharing mode lets others read and delete
// (rename) it but not write it: a shared lock asks to list the directory, an exclusive one to list
// and to add files. So shared handles go together, an exclusive one stands alone, and everyone
// else (listing, reading, making files inside) opens the directory as before. The system closes
// the handle when the process dies.
namespace {
constexpr int kLockShared = 1;
constexpr int kLockExclusive = 2;

HANDLE OpenDirectory(const std::string& path, DWORD access, DWORD share) {
  HANDLE h = ::CreateFileW(WidePath(path).c_str(), access, share, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return h;
  BY_HANDLE_FILE_INFORMATION info{};
  // Never locked through a link.
  if (!::GetFileInformationByHandle(h, &info) || !IsDir(info.dwFileAttributes) || IsLink(info.dwFileAttributes)) {
    ::CloseHandle(h);
    ::SetLastError(ERROR_DIRECTORY);
    return INVALID_HANDLE_VALUE;
  }
  return h;
}

HANDLE OpenDirectoryLocked(const std::string& path, int operation) {
  const DWORD access = operation == kLockExclusive ? FILE_LIST_DIRECTORY | FILE_ADD_FILE : FILE_LIST_DIRECTORY;
  return OpenDirectory(path, access, FILE_SHARE_READ | FILE_SHARE_DELETE);
}

bool SameObject(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION x{}, y{};
  return ::GetFileInformationByHandle(a, &x) && ::GetFileInformationByHandle(b, &y) &&
         x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
         x.nFileIndexLow == y.nFileIndexLow;
}
}  // namespace

DirectoryLock::DirectoryLock(std::string_view path) : m_path(ResolvePath(ExcludeTrailingPathDelimiter(path))) {
  // Waits: the save takes this lock on a directory it has just made.
  Take(kLockExclusive, -1);
}

DirectoryLock::DirectoryLock(std::string_view path, LockMode mode, int waitMs)
    : m_path(ResolvePath(ExcludeTrailingPathDelimiter(path))) {
  Take(mode == LockMode::Shared ? kLockShared : kLockExclusive, waitMs);
}

bool DirectoryLock::Take(int operation, int waitMs) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(waitMs, 0));
  if (m_fd >= 0) ::CloseHandle(AsHandle(m_fd));
  m_fd = -1;
  m_busy = false;
  for (;;) {
    HANDLE h = OpenDirectoryLocked(m_path, operation);
    if (h != INVALID_HANDLE_VALUE) {
      m_fd = Kept(h);
      return m_held = true;
    }
    m_error = static_cast<int>(::GetLastError());
    m_busy = m_error == ERROR_SHARING_VIOLATION;
    if (!m_busy || (waitMs >= 0 && std::chrono::steady_clock::now() >= until)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return m_held = false;
}

// The shared handle is given up before the exclusive one is asked for: not atomic, as on POSIX.
bool DirectoryLock::Upgrade(int waitMs) {
  return m_held && Take(kLockExclusive, waitMs);
}

bool DirectoryLock::StillAt(std::string_view path) const {
  if (!m_held) return false;
  HANDLE now = OpenDirectory(ResolvePath(ExcludeTrailingPathDelimiter(path)), FILE_READ_ATTRIBUTES, kShareAll);
  if (now == INVALID_HANDLE_VALUE) return false;
  const bool same = SameObject(now, AsHandle(m_fd));
  ::CloseHandle(now);
  return same;
}

DirectoryLock::~DirectoryLock() {
  if (m_fd >= 0) ::CloseHandle(AsHandle(m_fd));
}

DirectoryHandle::DirectoryHandle(std::string_view path, bool resolve) {
  m_path = ExcludeTrailingPathDelimiter(resolve ? ResolvePath(path) : Slashes(path));
  m_fd = Kept(OpenDirectory(m_path, FILE_READ_ATTRIBUTES, kShareAll));
  m_error = m_fd < 0 ? static_cast<int>(::GetLastError()) : 0;
}

DirectoryHandle::~DirectoryHandle() {
  if (m_fd >= 0) ::CloseHandle(AsHandle(m_fd));
}

std::string DirectoryHandle::Spelled(std::string_view name) const {
  return std::string(name);
}

bool DirectoryHandle::ReadFile(std::string_view name, std::string& bytes, std::size_t maxBytes) const {
  bytes.clear();
  if (m_fd < 0) return false;
  HANDLE h = OpenForReading(m_path + "/" + Spelled(name), true);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = ReadOpenedFile(h, bytes, maxBytes);
  ::CloseHandle(h);
  return ok;
}

bool DirectoryHandle::HasPlainFile(std::string_view name) const {
  DWORD a = 0;
  return m_fd >= 0 && Attributes(m_path + "/" + Spelled(name), a) && !IsDir(a) && !IsLink(a);
}

bool DirectoryHandle::LockedExclusively() const {
  if (m_fd < 0) return false;
  // A shared lock's probe, closed at once.
  HANDLE h = OpenDirectoryLocked(m_path, kLockShared);
  if (h != INVALID_HANDLE_VALUE) {
    ::CloseHandle(h);
    return false;
  }
  return ::GetLastError() == ERROR_SHARING_VIOLATION;
}

bool SystemDoor::WriteFileAtomic(std::string_view path, std::string_view bytes) {
  const std::string target = ResolvePath(path);
  const std::string temp = TemporaryNameFor(target);
  HANDLE h =
      ::CreateFileW(WidePath(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    NoteLastError(target);
    return false;
  }
  bool ok = WriteAll(h, bytes.data(), bytes.size()) && ::FlushFileBuffers(h);
  if (!ok) NoteLastError(target);
  if (!::CloseHandle(h)) ok = false;
  // MoveFileExW replaces the target in one step; write-through returns once the rename is on disk.
  if (ok && !::MoveFileExW(WidePath(temp).c_str(), WidePath(target).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ok = false;
  }
  if (!ok) ::DeleteFileW(WidePath(temp).c_str());
  RemoveStaleTemporaries(target);
  return ok;
}

std::filesystem::path NativePath(std::string_view path) {
  return std::filesystem::path(win::Wide(path));
}

namespace {
// The attributes and size of what a path names. A link to be followed is looked at through a
// handle on what it names: on Windows closing that handle takes none of this process's locks
// away. False with the system's error.
bool LookAt(std::string_view path, bool followLinks, DWORD& attributes, std::uint64_t& size) {
  const std::wstring w = WidePath(path);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(w.c_str(), GetFileExInfoStandard, &data)) return false;
  attributes = data.dwFileAttributes;
  size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  if (!followLinks || !IsLink(attributes)) return true;
  HANDLE h = ::CreateFileW(w.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool ok = ::GetFileInformationByHandle(h, &info) != 0;
  const DWORD error = ::GetLastError();
  ::CloseHandle(h);
  ::SetLastError(error);
  attributes = info.dwFileAttributes;
  size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  return ok;
}
}  // namespace

// Not through the C runtime's stat: it refuses every path with a "?" in it, the long form's too.
EntryType TypeOfEntry(std::string_view path, bool followLinks) {
  DWORD attributes = 0;
  std::uint64_t size = 0;
  if (!LookAt(path, followLinks, attributes, size)) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? EntryType::Missing : EntryType::Other;
  }
  const bool plain = !IsDir(attributes) && !IsLink(attributes) && (attributes & FILE_ATTRIBUTE_DEVICE) == 0;
  return plain ? EntryType::PlainFile : EntryType::Other;
}

std::int64_t FileSizeOf(std::string_view path) {
  DWORD attributes = 0;
  std::uint64_t size = 0;
  if (!LookAt(path, true, attributes, size) || IsDir(attributes)) return -1;
  return static_cast<std::int64_t>(size);
}

std::string SystemPath(std::string_view path) {
  return Narrow(WidePath(path));
}

std::string TempDirectory() {
  wchar_t buffer[MAX_PATH + 2];
  const DWORD n = ::GetTempPathW(static_cast<DWORD>(std::size(buffer)), buffer);
  const std::string dir = n == 0 ? std::string("C:/Windows/Temp") : Slashes(Narrow(std::wstring_view(buffer, n)));
  return IncludeTrailingPathDelimiter(ExcludeTrailingPathDelimiter(dir));
}

std::string ProgramDirectory() {
  std::wstring buffer(32768, L'\0');
  const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  return ExtractFilePath(Slashes(Narrow(std::wstring_view(buffer.data(), n))));
}

}  // namespace vorlend
