#pragma once
// The companion ".dia" file of a table: a record is locked by a write lock on the one byte at its
// record number. The locks are open-file-description locks, so two handles in one process
// exclude each other as two processes do, and the kernel drops them when the holder closes the
// file or dies.
#include <cstdint>
#include <string>

namespace vorlend::engine {

class RecordLockFile {
public:
  RecordLockFile() = default;
  ~RecordLockFile() { Close(); }
  RecordLockFile(const RecordLockFile&) = delete;
  RecordLockFile& operator=(const RecordLockFile&) = delete;

  // Opens the file, creating it when it is missing: it holds no data, only locks. Close-on-exec,
  // so no lock leaks into a child process.
  // `create`: made when missing (otherwise a missing file leaves the table without record locks);
  // `noFollow`: a symbolic link in the file's place is refused.
  bool Open(const std::string& path, std::string& error, bool create = true, bool noFollow = false);
  void Close();
  bool IsOpen() const { return m_fd >= 0; }
  // False when the file could only be opened for reading (read-only storage or permissions): the
  // table can be read, but no record lock can be taken.
  bool Writable() const { return m_writable; }

  // Never waits: false at once when another handle holds the byte (or the lock cannot be taken).
  bool TryLock(std::int64_t recno);
  void Unlock(std::int64_t recno);

private:
  std::intptr_t m_fd = -1;  // a descriptor on POSIX, a HANDLE on Windows
  bool m_writable = false;
};

}  // namespace vorlend::engine
