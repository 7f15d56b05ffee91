// The lock a batch's task holds on a directory while it runs the
// directory's jobs: it keeps any other batch out, and it tells a job that
// runs from one whose task died without its result.
#ifndef KVSOLVER_BATCH_DIRECTORY_LOCK_H_
#define KVSOLVER_BATCH_DIRECTORY_LOCK_H_

#include <sys/types.h>

#include <optional>
#include <set>
#include <utility>

/// Takes the lock on the directory open at `dirfd`, held while that stays
/// open. Returns false when another task holds it.
bool LockDirectory(int dirfd);

/// The directories (device, inode) whose lock some task on this machine
/// holds now, from the kernel's table of locks; nothing when that can't be
/// read.
std::optional<std::set<std::pair<dev_t, ino_t>>> HeldDirectoryLocks();

/// Whether a task holds the lock on the directory open at `dirfd`, by
/// `held` when it is known, else by trying the lock (which a task starting
/// at that moment could then miss).
bool DirectoryLocked(int dirfd, const std::optional<std::set<std::pair<dev_t, ino_t>>>& held);

#endif  // KVSOLVER_BATCH_DIRECTORY_LOCK_H_
