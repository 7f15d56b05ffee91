#include "batch/directory_lock.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

bool LockDirectory(int dirfd) {
  return flock(dirfd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
}

std::optional<std::set<std::pair<dev_t, ino_t>>> HeldDirectoryLocks() {
  FILE* table = std::fopen("/proc/locks", "re");
  if (table == nullptr) return std::nullopt;
  std::set<std::pair<dev_t, ino_t>> held;
  char line[256];
  while (std::fgets(line, sizeof line, table) != nullptr) {
    // "1: FLOCK  ADVISORY  WRITE 7833 fe:00:10953000 0 EOF"
    char kind[16];
    unsigned major, minor;
    unsigned long long inode;
    if (std::sscanf(line, "%*d: %15s %*s %*s %*d %x:%x:%llu", kind, &major, &minor, &inode) == 4 &&
        std::string_view(kind) == "FLOCK")
      held.insert({makedev(major, minor), static_cast<ino_t>(inode)});
  }
  std::fclose(table);
  return held;
}

bool DirectoryLocked(int dirfd, const std::optional<std::set<std::pair<dev_t, ino_t>>>& held) {
  struct stat info;
  if (held && fstat(dirfd, &info) == 0) return held->count({info.st_dev, info.st_ino}) > 0;
  if (flock(dirfd, LOCK_SH | LOCK_NB) != 0) return errno == EWOULDBLOCK;
  flock(dirfd, LOCK_UN);
  return false;
}
