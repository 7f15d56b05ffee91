#include "launcher/stream_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

/// Whether descriptors `a` and `b` are open on the same file.
bool SameFile(int a, int b) {
  struct stat first, second;
  return fstat(a, &first) == 0 && fstat(b, &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace

StreamLock LockCommandStream(int fd, int* held) {
  // The lock belongs to the open file description, not to the process, so
  // a second description of the same file would conflict with our own.
  if (*held >= 0 && SameFile(fd, *held)) return StreamLock::kHeld;
  struct flock whole = {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  if (fcntl(fd, F_OFD_SETLK, &whole) != 0) {
    if (errno == EAGAIN || errno == EACCES) return StreamLock::kInUse;
    return StreamLock::kNoLocks;
  }
  // The file was replaced since the last cycle: the lock moves to the new.
  if (*held >= 0) close(*held);
  *held = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  return StreamLock::kHeld;
}
