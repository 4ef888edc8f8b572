// Record locks on Windows: LockFileEx on the record's byte of the ".dia" file. Such a lock belongs
// to the handle, so two handles in one process exclude each other as two processes do, and the
// system drops it when the handle is closed or its process dies. The file holds no data, so the
// locked bytes can lie past its end.
#include "engine/record_lock.h"

#include "platform/files.h"
#include "platform/win_text.h"

#include <cerrno>

namespace vorlend::engine {

namespace {

HANDLE AsHandle(std::intptr_t kept) {
  return reinterpret_cast<HANDLE>(kept);
}

OVERLAPPED At(std::int64_t recno) {
  OVERLAPPED o{};
  o.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(recno) & 0xFFFFFFFFu);
  o.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(recno) >> 32);
  return o;
}

HANDLE Open(const std::string& path, DWORD access, DWORD disposition, bool noFollow) {
  // Not inherited: no lock leaks into a child process.
  return ::CreateFileW(win::WidePath(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, disposition, FILE_ATTRIBUTE_NORMAL | (noFollow ? FILE_FLAG_OPEN_REPARSE_POINT : 0),
                       nullptr);
}

}  // namespace

bool RecordLockFile::Open(const std::string& path, std::string& error, bool create, bool noFollow) {
  Close();
  HANDLE h = create ? engine::Open(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, noFollow) : INVALID_HANDLE_VALUE;
  m_writable = h != INVALID_HANDLE_VALUE;
  // A lock file on read-only storage still lets the table be read; LockRecord then fails.
  if (h == INVALID_HANDLE_VALUE &&
      (!create || ::GetLastError() == ERROR_ACCESS_DENIED || ::GetLastError() == ERROR_WRITE_PROTECT)) {
    h = engine::Open(path, GENERIC_READ, OPEN_EXISTING, noFollow);
  }
  if (h == INVALID_HANDLE_VALUE && !create &&
      (::GetLastError() == ERROR_FILE_NOT_FOUND || ::GetLastError() == ERROR_PATH_NOT_FOUND)) {
    return true;  // read only: no lock file is made
  }
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD e = ::GetLastError();
    if (e == ERROR_DISK_FULL || e == ERROR_HANDLE_DISK_FULL) NoteWriteFailure(ENOSPC, path);
    error = "nelze otevřít soubor zámků " + path + ": chyba " + std::to_string(e);
    return false;
  }
  m_fd = reinterpret_cast<std::intptr_t>(h);
  return true;
}

void RecordLockFile::Close() {
  if (m_fd >= 0) {
    ::CloseHandle(AsHandle(m_fd));
    m_fd = -1;
  }
  m_writable = false;
}

bool RecordLockFile::TryLock(std::int64_t recno) {
  // A handle opened only to read takes no lock, as a POSIX descriptor opened to read cannot.
  if (m_fd < 0 || !m_writable || recno <= 0) return false;
  OVERLAPPED o = At(recno);
  return ::LockFileEx(AsHandle(m_fd), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &o) != 0;
}

void RecordLockFile::Unlock(std::int64_t recno) {
  if (m_fd < 0 || recno <= 0) return;
  OVERLAPPED o = At(recno);
  ::UnlockFileEx(AsHandle(m_fd), 0, 1, 0, &o);
}

}  // namespace vorlend::engine
