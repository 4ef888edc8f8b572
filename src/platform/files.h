#pragma once
// File and directory access with Windows semantics on top of std::filesystem: letter case is not
// significant in any path component, both "\" and "/" separate components in paths that come from
// outside, and paths the add-on builds use the native separator.
//
// The functions that change the disk (WriteFileAtomic, CopyFile, RenamePath, DeleteFile, CreateDir,
// CreateNewDir, ForceDirectories, RemoveDir, RemoveDirectoryTree, SyncDirectoryOf, CreateEmptyFile,
// FolderTakesNewFiles, ShareWithGroup) pass through the door in force (platform/file_door.h), which
// tests replace to make a write fail or vanish at a simulated power cut.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vorlend {

inline constexpr char kPathDelim = '/';

// Turns "\" into "/" and makes a relative path absolute (against the current directory).
std::string NormaliseInputPath(std::string_view path);

// The path as it exists on disk: each component is matched exactly first, else without regard to
// letter case (Czech letters folded too); where several entries match, the first in sort order
// wins. Components that do not exist are kept as given. A trailing separator is kept.
std::string ResolvePath(std::string_view path);

std::string IncludeTrailingPathDelimiter(std::string_view path);
std::string ExcludeTrailingPathDelimiter(std::string_view path);
std::string ExtractFileName(std::string_view path);                      // last component
std::string ExtractFilePath(std::string_view path);                      // up to and including the last separator
std::string ExtractFileExt(std::string_view path);                       // ".ext" of the last component, or empty
std::string ChangeFileExt(std::string_view path, std::string_view ext);  // ext includes the dot

bool FileExists(std::string_view path);  // a file (not a directory)
bool DirectoryExists(std::string_view path);
bool PathExists(std::string_view path);      // anything, a dangling symbolic link included
bool IsSymbolicLink(std::string_view path);  // the last component is a link (a junction on Windows)
// What a path names, looked at as it is given (no letter-case lookup) and without disturbing a
// lock this process holds on the file. Other: a directory, a FIFO, a device, a symbolic link that
// is not to be followed, and an entry that cannot be looked at.
enum class EntryType { Missing, PlainFile, Other };
EntryType TypeOfEntry(std::string_view path, bool followLinks);
// The size in bytes of the file a path names (links followed), looked at in the same way; -1 when
// it cannot be.
std::int64_t FileSizeOf(std::string_view path);
// The path as the system's own calls take it, for a library that makes those calls itself
// (SQLite): on Windows with "\" separators and, beyond MAX_PATH, in the "\\?\" form (see
// win::WidePath); elsewhere the path as given.
std::string SystemPath(std::string_view path);
// The directory's path with every symbolic link in it replaced by what it names, with a trailing
// separator; the path as given (with the separator) when it cannot be resolved. On Windows the path
// as given.
std::string RealDirectoryPath(std::string_view path);

// Creates one directory level; an existing directory that differs only in case counts as created.
bool CreateDir(std::string_view path);
// Creates one directory level that must not exist yet, in any spelling: Exists when it (or a file
// of that name) is already there, as when another process created it a moment ago.
enum class NewDirResult { Created, Exists, Failed };
[[nodiscard]] NewDirResult CreateNewDir(std::string_view path);
// A folder of storage that several users share (the archive root, an archive): the folder's group
// may add and remove its entries, and what is made in it takes the folder's group, whatever the
// maker's umask. On Windows the folder's inherited permissions already decide this.
void ShareWithGroup(std::string_view directory);
// Creates the directory with every missing parent.
bool ForceDirectories(std::string_view path);
bool DeleteFile(std::string_view path);
bool RemoveDir(std::string_view path);
// Makes an empty file, or empties one that exists.
[[nodiscard]] bool CreateEmptyFile(std::string_view path);
// True when a new file can be made in the folder (tried with a probe that is removed at once).
bool FolderTakesNewFiles(std::string_view folder);
// Removes a directory with everything in it, depth first: symbolic links are removed as links and
// never followed, directories are made writable before their entries are removed, and a failed
// item does not stop the rest. True when nothing is left. A link given as `path` is removed itself.
bool RemoveDirectoryTree(std::string_view path);
// Whether RemoveDirectoryTree could remove the directory `path` and everything in it, asked before
// anything is removed: the folder that holds it and every folder inside must take removals, and no
// entry may be protected on its own (an immutable or append-only flag, another user's file in a
// folder with the sticky bit, a file another program keeps open without letting it go). False with
// `blocker`, the first entry that would stay, and `reason`, the system's words for why.
bool TreeRemovable(std::string_view path, std::string& blocker, std::string& reason);
// The system's text for an error number (errno on POSIX systems, GetLastError on Windows).
std::string SystemErrorText(int error);
// Renames a file or directory in one step (within one file system); false when it cannot.
[[nodiscard]] bool RenamePath(std::string_view from, std::string_view to);
// Copies a file byte for byte, replacing an existing target. The copy's content is synced to the
// disk (an empty copy has none to sync), and so is the directory that holds its name unless the
// caller syncs it once after several copies (`syncDirectory` false).
[[nodiscard]] bool CopyFile(std::string_view source, std::string_view target, bool syncDirectory = true);
// Seconds since the file or directory was last modified (a link itself, not what it names);
// negative when it does not exist.
double SecondsSinceModified(std::string_view path);
// A write that fails because the disk or the user's quota is full is remembered with the folder it
// wrote to, so that whoever reports the failure can say why. Taken (and forgotten) by the one who
// reports it; empty when no write failed for want of space since.
void NoteWriteFailure(int error, std::string_view path);
std::string TakeNoSpaceFolder();
// The system's error number (errno, or GetLastError on Windows) says the disk or quota is full.
bool IsNoSpaceError(int systemError);
// The system's error number says the user may not do it (permissions, an immutable file).
bool IsPermissionError(int systemError);
// Syncs the directory that holds `path`, so a name made or changed there survives a power cut.
[[nodiscard]] bool SyncDirectoryOf(std::string_view path);

struct DirEntry {
  std::string name;
  bool isDirectory = false;  // a real directory, not a link to one
  bool isSymlink = false;
};
// Entries of a directory whose names match a wildcard pattern ("*", "?", case-insensitive,
// "*.*" matches every name), hidden ones included, in the order the system returns them.
// `error`, when given: the system's error number when the directory could not be read (0 else).
std::vector<DirEntry> FindEntries(std::string_view directory, std::string_view pattern, int* error = nullptr);
bool MatchesMask(std::string_view name, std::string_view mask);

// Reads a regular file whole. False for anything else (a directory, a FIFO, a device), for a file
// that cannot be read and for one longer than `maxBytes`, so such a file counts as missing or
// damaged; a FIFO never blocks the reader.
[[nodiscard]] bool ReadWholeFile(std::string_view path, std::string& bytes, std::size_t maxBytes = SIZE_MAX);
// How many files this process has opened to read them whole (ReadWholeFile, DirectoryHandle):
// the catalogue's cost in files, for its tests and benchmark.
std::uint64_t FilesOpenedForReading();
// The most an ini file, a description file or a file list may hold: far beyond any real one.
inline constexpr std::size_t kMaxSmallFileBytes = 4u << 20;
// Writes through a temporary file in the same directory and renames it over the target, so a
// crash leaves either the old or the new file; the file and its directory are synced before it
// returns, so a power cut cannot take back a write that succeeded. Temporary files that a dead process left beside
// the target are removed.
[[nodiscard]] bool WriteFileAtomic(std::string_view path, std::string_view bytes);

// A lock on a directory, held while the object lives and released by the death of the process as
// well. Shared locks go together, an exclusive one stands alone. The save holds its archive
// directory's lock exclusively from start to end, so another process can tell an archive still
// being written from one whose save was interrupted; a restore or a look into an archive holds it
// shared, and a deletion exclusively, so no archive is deleted while it is read.
enum class LockMode { Shared, Exclusive };
class DirectoryLock {
public:
  // Exclusive, waiting as long as another process holds the directory.
  explicit DirectoryLock(std::string_view path);
  // Tries for at most `waitMs` milliseconds (0: once). A symbolic link is never locked through.
  DirectoryLock(std::string_view path, LockMode mode, int waitMs);
  ~DirectoryLock();
  DirectoryLock(const DirectoryLock&) = delete;
  DirectoryLock& operator=(const DirectoryLock&) = delete;
  bool Held() const { return m_held; }
  // Not held because another process holds a lock that excludes this one.
  bool Busy() const { return m_busy; }
  // Not held because the directory could not be opened: the system's error number (0 else).
  int Error() const { return m_error; }
  // True while `path` still names the directory this lock is on: it was not renamed, removed or
  // replaced by another one of that name since the lock was taken.
  bool StillAt(std::string_view path) const;
  // From shared to exclusive within `waitMs`. The change is not atomic: another process may come
  // in between, so whoever upgrades checks again what it holds (StillAt and the directory's
  // content) once this returns true. False: the lock is no longer held.
  bool Upgrade(int waitMs);

private:
  bool Take(int operation, int waitMs);
  std::intptr_t m_fd = -1;  // a descriptor on POSIX, a HANDLE on Windows
  std::string m_path;       // Windows takes a lock by opening the directory again
  bool m_held = false;
  bool m_busy = false;
  int m_error = 0;
};

// A directory in storage that other people can write (an archive): opened once, never through a
// symbolic link, and its files read only when they are plain files and no links. What is opened
// is checked, not the name before it is opened. Names match exactly first, else without regard to
// letter case.
class DirectoryHandle {
public:
  // `resolve`: the path's letter case is looked up first (a path read from the disk needs none).
  explicit DirectoryHandle(std::string_view path, bool resolve = true);
  ~DirectoryHandle();
  DirectoryHandle(const DirectoryHandle&) = delete;
  DirectoryHandle& operator=(const DirectoryHandle&) = delete;
  bool IsOpen() const { return m_fd >= 0; }
  // Why it could not be opened: the system's error number (0 when open).
  int Error() const { return m_error; }
  // Reads a plain file of the directory whole; false for a link, anything but a plain file, one
  // larger than `maxBytes`, and one that cannot be read.
  bool ReadFile(std::string_view name, std::string& bytes, std::size_t maxBytes = kMaxSmallFileBytes) const;
  // A plain file of that name is there (not a link).
  bool HasPlainFile(std::string_view name) const;
  // Some exclusive DirectoryLock holds the directory, in this or any other process.
  bool LockedExclusively() const;

private:
  // The entry's name as it is on the disk, or empty.
  std::string Spelled(std::string_view name) const;
  std::intptr_t m_fd = -1;  // a descriptor on POSIX, a HANDLE on Windows
  std::string m_path;
  int m_error = 0;
};

// A path for std::filesystem: on Windows the UTF-8 text becomes the wide path, never one read in
// the ANSI code page.
std::filesystem::path NativePath(std::string_view path);

// The temporary folder (TMPDIR, else /tmp) with a trailing separator.
std::string TempDirectory();
// The directory of the running executable with a trailing separator.
std::string ProgramDirectory();

}  // namespace vorlend
