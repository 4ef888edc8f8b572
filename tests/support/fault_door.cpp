#include "support/fault_door.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/files.h"

#ifdef _WIN32
#include <windows.h>
// windows.h names these after its own functions.
#undef DeleteFile
#undef CopyFile
#endif

namespace vorlend::test {

namespace fs = std::filesystem;

namespace {

// The system's error number for the fault (errno, GetLastError on Windows), as IsNoSpaceError
// knows a full disk.
int SystemErrorOf(Fault fault) {
#ifdef _WIN32
  return fault == Fault::NoSpace ? ERROR_DISK_FULL : ERROR_WRITE_FAULT;
#else
  return fault == Fault::NoSpace ? ENOSPC : EIO;
#endif
}

void SetSystemError(Fault fault) {
#ifdef _WIN32
  ::SetLastError(static_cast<DWORD>(SystemErrorOf(fault)));
#endif
  errno = fault == Fault::NoSpace ? ENOSPC : EIO;
}

// A path as the disk spells it, with one separator between components and none at the end: the
// form in which the journal compares paths.
std::string Spelled(std::string_view path) {
  const std::string resolved = ResolvePath(path);
  std::string out;
  for (std::size_t i = 0; i < resolved.size(); ++i) {
    // A network path keeps its leading "//".
    if (resolved[i] == '/' && i > 1 && out.back() == '/') continue;
    out += resolved[i];
  }
  return ExcludeTrailingPathDelimiter(out);
}

std::string FolderOf(const std::string& spelled) {
  return ExcludeTrailingPathDelimiter(ExtractFilePath(spelled));
}

bool Within(const std::string& path, const std::string& folder) {
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

// A file or a directory with everything in it, as it was when it was taken; parents come before
// what they hold, the entry itself first (relative path empty).
struct TreeEntry {
  std::string relative;
  bool directory = false;
  std::string content;
};
using Tree = std::vector<TreeEntry>;

bool IsSharedMemory(const std::string& path) {
  return path.size() > 4 && path.compare(path.size() - 4, 4, "-shm") == 0;
}

void AddToTree(const std::string& path, const std::string& relative, const DurableContent& durable, Tree& tree) {
  // Read through a descriptor of its own, SQLite's shared memory would lose SQLite's locks on it.
  if (IsSharedMemory(path)) return;
  if (TypeOfEntry(path, false) == EntryType::PlainFile) {
    TreeEntry file{relative, false, {}};
    if (!durable || !durable(path, file.content)) static_cast<void>(ReadWholeFile(path, file.content));
    tree.push_back(std::move(file));
    return;
  }
  if (IsSymbolicLink(path) || !DirectoryExists(path)) return;
  tree.push_back({relative, true, {}});
  for (const DirEntry& e : FindEntries(path, "*")) {
    if (e.isSymlink) continue;
    AddToTree(path + "/" + e.name, relative.empty() ? e.name : relative + "/" + e.name, durable, tree);
  }
}

// Puts back whatever of the tree is missing at `path`.
bool PutBackTree(const std::string& path, const Tree& tree) {
  bool ok = true;
  for (const TreeEntry& e : tree) {
    const std::string at = e.relative.empty() ? path : path + "/" + e.relative;
    if (PathExists(at)) continue;
    std::error_code ec;
    if (e.directory) {
      fs::create_directory(NativePath(at), ec);
      ok = !ec && ok;
      continue;
    }
    std::ofstream out(NativePath(at), std::ios::binary | std::ios::trunc);
    out.write(e.content.data(), static_cast<std::streamsize>(e.content.size()));
    out.close();
    ok = static_cast<bool>(out) && ok;
  }
  return ok;
}

}  // namespace

// ---- the journal of changes that would not survive a power cut yet.

struct FaultDoor::Journal {
  enum class Kind { Made, Removed, Renamed, Emptied };
  struct Change {
    Kind kind;
    std::string path;  // a rename's new name
    std::string from;  // a rename's old name
    Tree before;       // what was removed, what a rename's new name replaced, an emptied file's content
    std::vector<std::string> waitsFor;  // the folders whose sync makes it last
    bool lasts = false;
  };
  DurableContent durable;
  std::vector<Change> changes;

  Tree Take(const std::string& path) const {
    Tree tree;
    AddToTree(path, "", durable, tree);
    return tree;
  }

  // The name that `path`, as change i knew it, goes by after the later renames for which
  // `counts(j)` holds.
  template <class Counts>
  std::string Moved(std::string path, std::size_t i, Counts counts) const {
    for (std::size_t j = i + 1; j < changes.size(); ++j) {
      const Change& r = changes[j];
      if (r.kind != Kind::Renamed || !counts(j)) continue;
      if (path == r.from) {
        path = r.path;
      } else if (Within(path, r.from)) {
        path = r.path + path.substr(r.from.size());
      }
    }
    return path;
  }
  std::string MovedByAll(const std::string& path, std::size_t i) const {
    return Moved(path, i, [](std::size_t) { return true; });
  }

  void Add(Kind kind, const std::string& path, Tree before = {}, const std::string& from = {}) {
    Change c{kind, path, from, std::move(before), {}};
    if (kind != Kind::Emptied) c.waitsFor.push_back(FolderOf(path));
    if (kind == Kind::Renamed && FolderOf(from) != FolderOf(path)) c.waitsFor.push_back(FolderOf(from));
    changes.push_back(std::move(c));
  }

  // The folder was synced: the names in it, as they are now, last.
  void Synced(const std::string& folder) {
    for (std::size_t i = 0; i < changes.size(); ++i) {
      Change& c = changes[i];
      if (c.lasts || c.kind == Kind::Emptied) continue;
      std::erase_if(c.waitsFor, [&](const std::string& f) { return MovedByAll(f, i) == folder; });
      c.lasts = c.waitsFor.empty();
    }
  }

  // The file's content was replaced and synced: no emptying of it is taken back.
  void ContentLasts(const std::string& path) {
    for (std::size_t i = 0; i < changes.size(); ++i) {
      if (changes[i].kind == Kind::Emptied && MovedByAll(changes[i].path, i) == path) changes[i].lasts = true;
    }
  }

  std::size_t Unsynced() const {
    std::size_t n = 0;
    for (const Change& c : changes) n += c.lasts ? 0 : 1;
    return n;
  }

  bool Cut(std::size_t writtenBack) {
    for (Change& c : changes) {
      if (!c.lasts && writtenBack > 0) {
        c.lasts = true;
        --writtenBack;
      }
    }
    bool ok = true;
    for (std::size_t i = changes.size(); i-- > 0;) {
      const Change& c = changes[i];
      if (c.lasts) continue;
      // What was taken back no longer moves anything.
      auto at = [&](const std::string& p) { return Moved(p, i, [&](std::size_t j) { return changes[j].lasts; }); };
      const std::string path = at(c.path);
      std::error_code ec;
      switch (c.kind) {
        case Kind::Made:
          fs::remove_all(NativePath(path), ec);
          break;
        case Kind::Removed:
          ok = PutBackTree(path, c.before) && ok;
          break;
        case Kind::Renamed: {
          const std::string from = at(c.from);
          if (PathExists(path) && !PathExists(from)) fs::rename(NativePath(path), NativePath(from), ec);
          ok = PutBackTree(path, c.before) && ok;
          break;
        }
        case Kind::Emptied:
          if (TypeOfEntry(path, false) == EntryType::PlainFile) {
            fs::remove(NativePath(path), ec);
            ok = PutBackTree(path, c.before) && ok;
          }
          break;
      }
      ok = !ec && ok;
    }
    changes.clear();
    return ok;
  }
};

// ---- failures.

FaultDoor::FaultDoor(FileDoor& inner) : m_inner(inner) {}
FaultDoor::~FaultDoor() = default;

void FaultDoor::FailNth(long n, Fault fault) {
  m_nth.emplace_back(n, fault);
}

void FaultDoor::FullFrom(long n) {
  m_fullFrom = n;
}

void FaultDoor::FailOnPath(std::string mask, Fault fault) {
  m_masks.emplace_back(std::move(mask), fault);
}

const DoorOperation* FaultDoor::FirstFailure() const {
  for (const DoorOperation& op : m_operations) {
    if (op.fault != Fault::None) return &op;
  }
  return nullptr;
}

Fault FaultDoor::ForeignWrite(const std::string& what, const std::string& path) {
  return Decide(what.c_str(), path, true, false, false);
}

Fault FaultDoor::Decide(const char* what, std::string_view path, bool needsRoom, bool sync, bool note) {
  if (m_beforeEach) m_beforeEach(sync);
  const long n = Count() + 1;
  Fault fault = Fault::None;
  for (const auto& [nth, f] : m_nth) {
    if (nth == n) fault = f;
  }
  if (fault == Fault::None && needsRoom && m_fullFrom > 0 && n >= m_fullFrom) fault = Fault::NoSpace;
  for (const auto& [mask, f] : m_masks) {
    if (fault == Fault::None && MatchesMask(ResolvePath(path), mask)) fault = f;
  }
  m_operations.push_back({what, std::string(path), needsRoom, fault});
  if (fault != Fault::None && note) {
    // As the system's door leaves a failure the kernel reported.
    NoteWriteFailure(SystemErrorOf(fault), ResolvePath(path));
    SetSystemError(fault);
  }
  return fault;
}

Fault FaultDoor::Begin(const char* what, std::string_view path, bool needsRoom, bool sync) {
  return Decide(what, path, needsRoom, sync, true);
}

// ---- power cuts.

void FaultDoor::KeepJournal(DurableContent durableContent) {
  m_journal = std::make_unique<Journal>();
  m_journal->durable = std::move(durableContent);
}

std::size_t FaultDoor::UnsyncedChanges() const {
  return m_journal ? m_journal->Unsynced() : 0;
}

bool FaultDoor::CutPower(std::size_t writtenBack) {
  return !m_journal || m_journal->Cut(writtenBack);
}

// ---- the operations.

bool FaultDoor::WriteFileAtomic(std::string_view path, std::string_view bytes) {
  if (Begin("write", path, true, true) != Fault::None) return false;
  const bool ok = m_inner.WriteFileAtomic(path, bytes);
  if (ok && m_journal) {
    const std::string p = Spelled(path);
    m_journal->Synced(FolderOf(p));
    m_journal->ContentLasts(p);
  }
  return ok;
}

bool FaultDoor::CopyFile(std::string_view source, std::string_view target, bool syncDirectory) {
  const Fault fault = Begin("copy", target, true, true);
  const std::string to = Spelled(target);
  const bool existed = PathExists(to);
  bool ok = false;
  if (fault != Fault::None) {
    // The disk gave out part of the way: the target holds the first half of the source.
    std::string bytes;
    if (ReadWholeFile(source, bytes)) {
      std::ofstream out(NativePath(to), std::ios::binary | std::ios::trunc);
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size() / 2));
    }
    SetSystemError(fault);
  } else {
    ok = m_inner.CopyFile(source, target, syncDirectory);
  }
  if (!m_journal) return ok;
  // A copy that failed half-way still made its file.
  if (!existed && PathExists(to)) m_journal->Add(Journal::Kind::Made, to);
  if (ok) {
    m_journal->ContentLasts(to);
    if (syncDirectory) m_journal->Synced(FolderOf(to));
  }
  return ok;
}

bool FaultDoor::RenamePath(std::string_view from, std::string_view to) {
  if (Begin("rename", to, false, false) != Fault::None) return false;
  const std::string f = Spelled(from);
  const std::string t = Spelled(to);
  Tree replaced;
  if (m_journal && PathExists(t)) replaced = m_journal->Take(t);
  const bool ok = m_inner.RenamePath(from, to);
  if (ok && m_journal) m_journal->Add(Journal::Kind::Renamed, Spelled(to), std::move(replaced), f);
  return ok;
}

bool FaultDoor::DeleteFile(std::string_view path) {
  if (Begin("delete", path, false, false) != Fault::None) return false;
  const std::string p = Spelled(path);
  Tree before;
  if (m_journal) before = m_journal->Take(p);
  const bool ok = m_inner.DeleteFile(path);
  if (m_journal && !before.empty() && !PathExists(p)) m_journal->Add(Journal::Kind::Removed, p, std::move(before));
  return ok;
}

bool FaultDoor::CreateDir(std::string_view path) {
  const std::string p = Spelled(path);
  // A directory that is there already is not made again: that takes no room.
  const bool existed = DirectoryExists(p);
  if (Begin("mkdir", path, !existed, false) != Fault::None) return false;
  const bool ok = m_inner.CreateDir(path);
  if (ok && m_journal && !existed) m_journal->Add(Journal::Kind::Made, Spelled(path));
  return ok;
}

NewDirResult FaultDoor::CreateNewDir(std::string_view path) {
  if (Begin("mkdir", path, true, false) != Fault::None) return NewDirResult::Failed;
  const NewDirResult made = m_inner.CreateNewDir(path);
  if (made == NewDirResult::Created && m_journal) m_journal->Add(Journal::Kind::Made, Spelled(path));
  return made;
}

bool FaultDoor::RemoveDir(std::string_view path) {
  if (Begin("rmdir", path, false, false) != Fault::None) return false;
  const std::string p = Spelled(path);
  Tree before;
  if (m_journal) before = m_journal->Take(p);
  const bool ok = m_inner.RemoveDir(path);
  if (ok && m_journal && !before.empty()) m_journal->Add(Journal::Kind::Removed, p, std::move(before));
  return ok;
}

bool FaultDoor::RemoveDirectoryTree(std::string_view path) {
  if (m_journal) return RemoveEntryByEntry(Spelled(path));
  if (Begin("rmtree", path, false, false) != Fault::None) return false;
  const std::string p = Spelled(path);
  Tree before;
  if (m_journal) before = m_journal->Take(p);
  const bool ok = m_inner.RemoveDirectoryTree(path);
  // A removal that failed part of the way took some entries all the same.
  if (m_journal && !before.empty()) m_journal->Add(Journal::Kind::Removed, p, std::move(before));
  return ok;
}

// Depth first, each entry an operation of its own (a link removed as itself), so that a power cut
// can fall between two of them and the oldest of them can last. Entries go in the byte order of
// their names, whatever order the file system lists them in: the same at every run, and one in
// which a folder's tables go before its "info.tab".
bool FaultDoor::RemoveEntryByEntry(const std::string& path) {
  if (IsSymbolicLink(path) || !DirectoryExists(path)) return DeleteFile(path);
  std::vector<std::string> names;
  for (const DirEntry& e : FindEntries(path, "*")) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  bool ok = true;
  for (const std::string& name : names) ok = RemoveEntryByEntry(path + "/" + name) && ok;
  return RemoveDir(path) && ok;
}

bool FaultDoor::SyncDirectoryOf(std::string_view path) {
  if (Begin("sync", path, false, true) != Fault::None) return false;
  const bool ok = m_inner.SyncDirectoryOf(path);
  if (ok && m_journal) m_journal->Synced(FolderOf(Spelled(path)));
  return ok;
}

bool FaultDoor::CreateEmptyFile(std::string_view path) {
  const std::string p = Spelled(path);
  const bool existed = PathExists(p);
  if (Begin("empty", path, !existed, false) != Fault::None) return false;
  Tree before;
  if (m_journal && existed) before = m_journal->Take(p);
  const bool ok = m_inner.CreateEmptyFile(path);
  if (ok && m_journal) {
    if (existed) {
      m_journal->Add(Journal::Kind::Emptied, p, std::move(before));
    } else {
      m_journal->Add(Journal::Kind::Made, Spelled(path));
    }
  }
  return ok;
}

bool FaultDoor::FolderTakesNewFiles(std::string_view folder) {
  if (Begin("probe", folder, true, false) != Fault::None) return false;
  return m_inner.FolderTakesNewFiles(folder);
}

void FaultDoor::ShareWithGroup(std::string_view directory) {
  m_inner.ShareWithGroup(directory);
}

}  // namespace vorlend::test
