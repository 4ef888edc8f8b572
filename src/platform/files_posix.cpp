// The file layer on POSIX systems: letter case is looked up component by component, locks are
// flock and open-file-description locks, syncs are fsync.
#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <utility>

#include "platform/environment.h"
#include "platform/files_internal.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace vorlend {

namespace {
// The descriptor kept in the platform-neutral member.
int Fd(std::intptr_t kept) {
  return static_cast<int>(kept);
}
}  // namespace

namespace {

bool LstatExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// The entry of an open directory that equals `name` without regard to case; the first in byte
// order wins. Closes the directory.
bool PickCaseVariant(DIR* d, const std::string& name, std::string& found) {
  if (!d) return false;
  const std::string wanted = UpperCase(name);
  bool any = false;
  while (dirent* e = ::readdir(d)) {
    const std::string entry = e->d_name;
    if (entry == "." || entry == "..") continue;
    if (UpperCase(entry) == wanted && (!any || entry < found)) {
      found = entry;
      any = true;
    }
  }
  ::closedir(d);
  return any;
}

bool FindCaseVariant(const std::string& dir, const std::string& name, std::string& found) {
  return PickCaseVariant(::opendir(dir.empty() ? "." : dir.c_str()), name, found);
}

}  // namespace

std::string NormaliseInputPath(std::string_view path) {
  std::string p = Slashes(path);
  if (p.empty() || p[0] == '/') return p;
  std::error_code ec;
  std::string cwd = fs::current_path(ec).string();
  if (ec) return p;
  if (cwd.empty() || cwd.back() != '/') cwd.push_back('/');
  if (StartsWith(p, "./")) p.erase(0, 2);
  return cwd + p;
}

std::string ResolvePath(std::string_view path) {
  std::string p = Slashes(path);
  if (p.empty()) return p;
  const bool absolute = p[0] == '/';
  const bool trailing = p.size() > 1 && p.back() == '/';
  std::string result = absolute ? "/" : "";
  bool resolving = true;
  const auto parts = Split(p, '/');
  bool first = true;
  for (const std::string& part : parts) {
    if (part.empty()) continue;
    const std::string base = result;
    if (!first || !absolute) {
      if (!result.empty() && result.back() != '/') result.push_back('/');
    }
    first = false;
    if (part == "." || part == ".." || !resolving) {
      result += part;
      continue;
    }
    if (LstatExists(result + part)) {
      result += part;
      continue;
    }
    std::string variant;
    const std::string dir = base.empty() ? "." : base;
    if (FindCaseVariant(dir, part, variant)) {
      result += variant;
    } else {
      result += part;
      resolving = false;  // nothing below a missing component can exist
    }
  }
  if (trailing && result.back() != '/') result.push_back('/');
  return result;
}

void SystemDoor::ShareWithGroup(std::string_view directory) {
  const std::string p = ResolvePath(ExcludeTrailingPathDelimiter(directory));
  struct stat st {};
  if (::lstat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
  const mode_t wanted = (st.st_mode & 07777) | S_IRWXG | S_ISGID;
  if (wanted != (st.st_mode & 07777)) ::chmod(p.c_str(), wanted);
}

bool FileExists(std::string_view path) {
  struct stat st {};
  return ::stat(ResolvePath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(std::string_view path) {
  struct stat st {};
  return ::stat(ResolvePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(std::string_view path) {
  return LstatExists(ResolvePath(path));
}

bool IsSymbolicLink(std::string_view path) {
  struct stat st {};
  return ::lstat(ResolvePath(ExcludeTrailingPathDelimiter(path)).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string RealDirectoryPath(std::string_view path) {
  char* real = ::realpath(ResolvePath(ExcludeTrailingPathDelimiter(path)).c_str(), nullptr);
  const std::string result = real ? std::string(real) : std::string(path);
  std::free(real);
  return IncludeTrailingPathDelimiter(result);
}

bool SystemDoor::CreateDir(std::string_view path) {
  const std::string p = ResolvePath(ExcludeTrailingPathDelimiter(path));
  if (DirectoryExists(p)) return true;
  // Another process creating the same directory a moment earlier is as good as creating it.
  if (::mkdir(p.c_str(), 0777) == 0 || (errno == EEXIST && DirectoryExists(p))) return true;
  NoteWriteFailure(errno, p);
  return false;
}

NewDirResult SystemDoor::CreateNewDir(std::string_view path) {
  const std::string p = ResolvePath(ExcludeTrailingPathDelimiter(path));
  if (PathExists(p)) return NewDirResult::Exists;
  if (::mkdir(p.c_str(), 0777) == 0) return NewDirResult::Created;
  if (errno == EEXIST) return NewDirResult::Exists;
  NoteWriteFailure(errno, p);
  return NewDirResult::Failed;
}

bool SystemDoor::DeleteFile(std::string_view path) {
  const std::string p = ResolvePath(path);
  struct stat st {};
  if (::lstat(p.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return ::unlink(p.c_str()) == 0;
}

bool IsNoSpaceError(int systemError) {
  return systemError == ENOSPC || systemError == EDQUOT;
}
bool IsPermissionError(int systemError) {
  return systemError == EACCES || systemError == EPERM;
}

bool SystemDoor::CreateEmptyFile(std::string_view path) {
  const std::string p = ResolvePath(path);
  const int fd = ::open(p.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    NoteWriteFailure(errno, p);
    return false;
  }
  return ::close(fd) == 0;
}

bool SystemDoor::FolderTakesNewFiles(std::string_view folder) {
  const std::string probe = std::string(folder) + ".vorlend-probe-" + std::to_string(CurrentProcessId());
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return errno == EEXIST;
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

bool SystemDoor::RemoveDir(std::string_view path) {
  return ::rmdir(ResolvePath(ExcludeTrailingPathDelimiter(path)).c_str()) == 0;
}

namespace {
// The names in a directory, "." and ".." left out; false (errno set) when it cannot be read.
bool EntryNames(const std::string& path, std::vector<std::string>& names) {
  DIR* d = ::opendir(path.c_str());
  if (!d) return false;
  while (dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(d);
  return true;
}

bool RemoveTreeAt(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) return ::unlink(path.c_str()) == 0;
  ::chmod(path.c_str(), (st.st_mode & 07777) | S_IRWXU);
  std::vector<std::string> names;
  bool ok = EntryNames(path, names);
  for (const auto& name : names) ok = RemoveTreeAt(std::string(path).append("/").append(name)) && ok;
  return ::rmdir(path.c_str()) == 0 && ok;
}
}  // namespace

namespace {
// A flag that keeps even root from removing or renaming the entry.
bool ProtectedByFlag(const std::string& path, const struct stat& st) {
  if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  int flags = 0;
  const bool flagged = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0;
  ::close(fd);
  return flagged;
}

// The entry `path` can be removed from `folder` (whose status is `folderSt`), and so can
// everything inside it.
bool RemovableAt(const std::string& folder, const struct stat& folderSt, const std::string& path, std::string& blocker,
                 int& error) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  auto refuse = [&](const std::string& who, int why) {
    blocker = who;
    error = why;
    return false;
  };
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return refuse(path, errno);
  if (ProtectedByFlag(folder, folderSt) || ProtectedByFlag(path, st)) return refuse(path, EPERM);
  const uid_t me = ::geteuid();
  if ((folderSt.st_mode & S_ISVTX) && me != 0 && me != st.st_uid && me != folderSt.st_uid) return refuse(path, EPERM);
  if (!S_ISDIR(st.st_mode)) return true;
  std::vector<std::string> names;
  if (!EntryNames(path, names)) return refuse(path, errno);
  for (const std::string& name : names) {
    if (!RemovableAt(path, st, std::string(path).append("/").append(name), blocker, error)) return false;
  }
  return true;
}
}  // namespace

bool TreeRemovable(std::string_view path, std::string& blocker, std::string& reason) {
  const std::string p = ResolvePath(ExcludeTrailingPathDelimiter(path));
  std::string folder = ExcludeTrailingPathDelimiter(ExtractFilePath(p));
  if (folder.empty()) folder = "/";
  struct stat folderSt {};
  int error = 0;
  if (::stat(folder.c_str(), &folderSt) != 0) {
    error = errno;
    blocker = folder;
  } else if (RemovableAt(folder, folderSt, p, blocker, error)) {
    return true;
  }
  reason = SystemErrorText(error);
  return false;
}

std::string SystemErrorText(int error) {
  return std::strerror(error);
}

bool SystemDoor::RemoveDirectoryTree(std::string_view path) {
  const std::string p = ResolvePath(ExcludeTrailingPathDelimiter(path));
  struct stat st {};
  if (::lstat(p.c_str(), &st) != 0) return false;
  if (S_ISLNK(st.st_mode)) return ::unlink(p.c_str()) == 0;
  if (!S_ISDIR(st.st_mode)) return false;
  return RemoveTreeAt(p);
}

bool SystemDoor::SyncDirectoryOf(std::string_view path) {
  std::string dir = ExtractFilePath(std::string(path));
  if (dir.empty()) dir = ".";
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  int rc;
  do {
    rc = ::fsync(fd);
  } while (rc != 0 && errno == EINTR);
  // A file system that cannot sync a directory (EINVAL) keeps names by other means.
  const bool ok = rc == 0 || errno == EINVAL;
  ::close(fd);
  return ok;
}

namespace {

// Writes everything `in` holds into `out`; false when a read or a write failed. `written`: some
// bytes were written.
bool CopyContent(int in, int out, const std::string& target, bool& written) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n == 0;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) {
        NoteWriteFailure(errno, target);
        return false;
      }
      done += w;
      written = true;
    }
  }
}

}  // namespace

bool SystemDoor::CopyFile(std::string_view source, std::string_view target, bool syncDirectory) {
  const std::string src = ResolvePath(source);
  const std::string dst = ResolvePath(target);
  const int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st {};
  if (::fstat(in, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(in);
    return false;
  }
  const int out = ::open(dst.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (out < 0) {
    NoteWriteFailure(errno, dst);
    ::close(in);
    return false;
  }
  bool written = false;
  bool ok = CopyContent(in, out, dst, written);
  ::close(in);
  // The copy counts once it is on the disk, with its name.
  if (ok && written && ::fsync(out) != 0) {
    NoteWriteFailure(errno, dst);
    ok = false;
  }
  if (::close(out) != 0) {
    NoteWriteFailure(errno, dst);
    ok = false;
  }
  return ok && (!syncDirectory || SyncDirectoryOf(dst));
}

std::vector<DirEntry> FindEntries(std::string_view directory, std::string_view pattern, int* error) {
  std::vector<DirEntry> entries;
  const std::string dir = IncludeTrailingPathDelimiter(ResolvePath(directory));
  DIR* d = ::opendir(dir.c_str());
  if (error) *error = d ? 0 : errno;
  if (!d) return entries;
  while (dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == ".." || !MatchesMask(name, pattern)) continue;
    DirEntry entry;
    entry.name = name;
    // The directory tells the kind of most entries itself; only where it does not is it asked.
    struct stat st {};
    if (e->d_type != DT_UNKNOWN) {
      entry.isSymlink = e->d_type == DT_LNK;
      entry.isDirectory = e->d_type == DT_DIR;
    } else if (::lstat((dir + name).c_str(), &st) == 0) {
      entry.isSymlink = S_ISLNK(st.st_mode);
      entry.isDirectory = S_ISDIR(st.st_mode);
    }
    entries.push_back(std::move(entry));
  }
  ::closedir(d);
  return entries;
}

double SecondsSinceModified(std::string_view path) {
  struct stat st {};
  if (::lstat(ResolvePath(ExcludeTrailingPathDelimiter(path)).c_str(), &st) != 0) return -1;
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<double>(now.tv_sec - st.st_mtim.tv_sec) +
         static_cast<double>(now.tv_nsec - st.st_mtim.tv_nsec) / 1e9;
}

bool SystemDoor::RenamePath(std::string_view from, std::string_view to) {
  const std::string target = ResolvePath(to);
  if (::rename(ResolvePath(from).c_str(), target.c_str()) == 0) return true;
  // A new name may need room in its folder.
  NoteWriteFailure(errno, target);
  return false;
}

namespace {
std::atomic<std::uint64_t> g_filesOpenedForReading{0};

// Reads an opened file whole: only a plain file, at most `maxBytes` (a file that grows while it is
// read is bounded all the same). `bytes` is empty unless it succeeds.
bool ReadOpenedFile(int fd, std::string& bytes, std::size_t maxBytes) {
  ++g_filesOpenedForReading;
  bytes.clear();
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::uintmax_t>(st.st_size) <= maxBytes;
  if (ok) bytes.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[65536];
  while (ok) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (bytes.size() + static_cast<std::size_t>(n) > maxBytes) {
      ok = false;
      break;
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  if (!ok) bytes.clear();
  return ok;
}
}  // namespace

std::uint64_t FilesOpenedForReading() {
  return g_filesOpenedForReading;
}

bool ReadWholeFile(std::string_view path, std::string& bytes, std::size_t maxBytes) {
  bytes.clear();
  // Non-blocking open: a FIFO in the file's place must not stop the reader; it is refused below.
  const int fd = ::open(ResolvePath(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  const bool ok = ReadOpenedFile(fd, bytes, maxBytes);
  ::close(fd);
  return ok;
}

namespace {
int OpenDirectoryForLock(std::string_view path) {
  return ::open(ResolvePath(ExcludeTrailingPathDelimiter(path)).c_str(),
                O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}
}  // namespace

DirectoryLock::DirectoryLock(std::string_view path) {
  m_fd = OpenDirectoryForLock(path);
  m_error = m_fd < 0 ? errno : 0;
  // Waits: the save takes this lock on a directory it has just made.
  if (m_fd >= 0) Take(LOCK_EX, -1);
}

DirectoryLock::DirectoryLock(std::string_view path, LockMode mode, int waitMs) {
  m_fd = OpenDirectoryForLock(path);
  m_error = m_fd < 0 ? errno : 0;
  if (m_fd >= 0) Take(mode == LockMode::Shared ? LOCK_SH : LOCK_EX, waitMs);
}

bool DirectoryLock::Take(int operation, int waitMs) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(waitMs, 0));
  m_busy = false;
  for (;;) {
    const int rc = ::flock(Fd(m_fd), operation | (waitMs < 0 ? 0 : LOCK_NB));
    if (rc == 0) return m_held = true;
    const int error = errno;
    if (error == EINTR) continue;
    m_busy = error == EWOULDBLOCK;
    if (!m_busy || waitMs < 0 || std::chrono::steady_clock::now() >= until) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return m_held = false;
}

bool DirectoryLock::Upgrade(int waitMs) {
  return m_fd >= 0 && Take(LOCK_EX, waitMs);
}

bool DirectoryLock::StillAt(std::string_view path) const {
  struct stat held {
  }, named{};
  return m_held && ::fstat(Fd(m_fd), &held) == 0 &&
         ::lstat(ResolvePath(ExcludeTrailingPathDelimiter(path)).c_str(), &named) == 0 && S_ISDIR(named.st_mode) &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

DirectoryLock::~DirectoryLock() {
  if (m_fd >= 0) ::close(Fd(m_fd));
}

DirectoryHandle::DirectoryHandle(std::string_view path, bool resolve) {
  const std::string p = ExcludeTrailingPathDelimiter(resolve ? ResolvePath(path) : Slashes(path));
  m_fd = ::open(p.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  m_error = m_fd < 0 ? errno : 0;
}

DirectoryHandle::~DirectoryHandle() {
  if (m_fd >= 0) ::close(Fd(m_fd));
}

std::string DirectoryHandle::Spelled(std::string_view name) const {
  std::string exact(name);
  struct stat st {};
  if (::fstatat(Fd(m_fd), exact.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return exact;
  // Another spelling: the directory is read through its own descriptor, never by its name.
  const int copy = ::openat(Fd(m_fd), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* d = copy >= 0 ? ::fdopendir(copy) : nullptr;
  if (!d && copy >= 0) ::close(copy);
  std::string found;
  return PickCaseVariant(d, exact, found) ? found : std::string();
}

bool DirectoryHandle::ReadFile(std::string_view name, std::string& bytes, std::size_t maxBytes) const {
  bytes.clear();
  if (m_fd < 0) return false;
  const std::string spelled = Spelled(name);
  if (spelled.empty()) return false;
  const int fd = ::openat(Fd(m_fd), spelled.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  const bool ok = ReadOpenedFile(fd, bytes, maxBytes);
  ::close(fd);
  return ok;
}

bool DirectoryHandle::HasPlainFile(std::string_view name) const {
  if (m_fd < 0) return false;
  const std::string spelled = Spelled(name);
  struct stat st {};
  return !spelled.empty() && ::fstatat(Fd(m_fd), spelled.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryHandle::LockedExclusively() const {
  if (m_fd < 0) return false;
  // A lock probe on a descriptor of our own, so no lock this object's owner holds is touched.
  const int fd = ::openat(Fd(m_fd), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool locked = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return locked;
}

bool SystemDoor::WriteFileAtomic(std::string_view path, std::string_view bytes) {
  const std::string target = ResolvePath(path);
  const std::string temp = TemporaryNameFor(target);
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    NoteWriteFailure(errno, target);
    return false;
  }
  std::size_t done = 0;
  bool ok = true;
  auto failed = [&] {
    NoteWriteFailure(errno, target);
    ok = false;
  };
  while (done < bytes.size()) {
    const ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      failed();
      break;
    }
    done += static_cast<std::size_t>(w);
  }
  if (ok && ::fsync(fd) != 0) failed();
  if (::close(fd) != 0 && ok) failed();
  if (ok && ::rename(temp.c_str(), target.c_str()) != 0) ok = false;
  // The new name is on the disk only once its directory is.
  if (ok && !SyncDirectoryOf(target)) ok = false;
  if (!ok) ::unlink(temp.c_str());
  RemoveStaleTemporaries(target);
  return ok;
}

std::filesystem::path NativePath(std::string_view path) {
  return std::filesystem::path(std::string(path));
}

// stat and lstat: opening the file and closing the descriptor again would drop every POSIX lock
// this process holds on it (SQLite's among them).
EntryType TypeOfEntry(std::string_view path, bool followLinks) {
  std::error_code ec;
  const fs::path p{std::string(path)};
  const fs::file_type type = (followLinks ? fs::status(p, ec) : fs::symlink_status(p, ec)).type();
  if (type == fs::file_type::not_found) return EntryType::Missing;
  return type == fs::file_type::regular ? EntryType::PlainFile : EntryType::Other;
}

std::int64_t FileSizeOf(std::string_view path) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(fs::path{std::string(path)}, ec);
  return ec ? -1 : static_cast<std::int64_t>(size);
}

std::string SystemPath(std::string_view path) {
  return std::string(path);
}

std::string TempDirectory() {
  const char* t = std::getenv("TMPDIR");
  std::string dir = (t && *t) ? t : "/tmp";
  return IncludeTrailingPathDelimiter(ExcludeTrailingPathDelimiter(dir));
}

std::string ProgramDirectory() {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return IncludeTrailingPathDelimiter(fs::current_path().string());
  return ExtractFilePath(std::string(buffer, static_cast<std::size_t>(n)));
}

}  // namespace vorlend
