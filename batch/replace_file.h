// Replacing a file that others read while it is rewritten: through a
// temporary file beside it and a rename, so a reader sees the old text or
// the new, whole, and never a part.
#ifndef KVSOLVER_BATCH_REPLACE_FILE_H_
#define KVSOLVER_BATCH_REPLACE_FILE_H_

#include <sys/types.h>

#include <string>

/// Why `path` can't be replaced as a file, "PATH: not a regular file"
/// when a directory, a FIFO or a symbolic link is there; empty when it can.
std::string NotReplaceable(const std::string& path);

/// Replaces `path` with `text`, written to a temporary file named
/// `temporary` + six random characters in its directory and renamed over
/// it, with the mode that the umask leaves of 0666. Returns an empty text,
/// or why it failed, naming `path`; no temporary file is left either way.
std::string ReplaceFile(const std::string& path, const std::string& text,
                        const std::string& temporary);

/// Replaces `name` in directory `dirfd` with `text` in the same way, with
/// mode `mode`; a symbolic link in its place is replaced, never followed.
/// `shown` names the file in the message.
std::string ReplaceFileAt(int dirfd, const std::string& name, const std::string& text,
                          mode_t mode, const std::string& temporary, const std::string& shown);

#endif  // KVSOLVER_BATCH_REPLACE_FILE_H_
