// One run per directory: a run holds a lock on the command stream file from
// the moment it first creates the stream to the end of the process, so a
// second run in the same directory never empties or rewrites it.
#ifndef KVSOLVER_LAUNCHER_STREAM_LOCK_H_
#define KVSOLVER_LAUNCHER_STREAM_LOCK_H_

/// What locking the stream came to.
enum class StreamLock {
  kHeld,     ///< this run holds it
  kInUse,    ///< another run holds it
  kNoLocks,  ///< the file system offers no locks: the run goes on unlocked
};

/// Makes sure this run holds the lock on the stream file open as `fd`.
/// `*held` is the descriptor that holds it, -1 before the first call; it
/// is kept open, close-on-exec, to the end of the process, so closing the
/// stream, or any other descriptor of the file, never drops the lock.
StreamLock LockCommandStream(int fd, int* held);

#endif  // KVSOLVER_LAUNCHER_STREAM_LOCK_H_
