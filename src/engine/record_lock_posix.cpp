#include "engine/record_lock.h"

#include "platform/files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vorlend::engine {

namespace {
// The descriptor kept in the platform-neutral member.
int Fd(std::intptr_t kept) {
  return static_cast<int>(kept);
}
}  // namespace

namespace {

bool SetLock(int fd, short type, std::int64_t recno) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(recno);
  fl.l_len = 1;
  fl.l_pid = 0;  // required for open-file-description locks
  int rc;
  do {
    rc = fcntl(fd, F_OFD_SETLK, &fl);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

}  // namespace

bool RecordLockFile::Open(const std::string& path, std::string& error, bool create, bool noFollow) {
  Close();
  const int follow = noFollow ? O_NOFOLLOW : 0;
  int fd = create ? ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | follow, 0666) : -1;
  m_writable = fd >= 0;
  // A lock file on read-only storage still lets the table be read; LockRecord then fails.
  if (fd < 0 && (!create || errno == EACCES || errno == EROFS || errno == EPERM))
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | follow);
  if (fd < 0 && !create && errno == ENOENT) return true;  // read only: no lock file is made
  if (fd < 0) {
    NoteWriteFailure(errno, path);
    error = std::string("nelze otevřít soubor zámků ") + path + ": " + std::strerror(errno);
    return false;
  }
  m_fd = fd;
  return true;
}

void RecordLockFile::Close() {
  if (m_fd >= 0) {
    ::close(Fd(m_fd));
    m_fd = -1;
  }
  m_writable = false;
}

bool RecordLockFile::TryLock(std::int64_t recno) {
  return m_fd >= 0 && recno > 0 && SetLock(Fd(m_fd), F_WRLCK, recno);
}

void RecordLockFile::Unlock(std::int64_t recno) {
  if (m_fd >= 0 && recno > 0) SetLock(Fd(m_fd), F_UNLCK, recno);
}

}  // namespace vorlend::engine
