// Reading a small file whole: a table, a prologue, a template's file.
#ifndef KVSOLVER_BATCH_READ_FILE_H_
#define KVSOLVER_BATCH_READ_FILE_H_

#include <string>

/// Reads the whole regular file `path` (a link followed) into `*text`.
/// Returns an empty text, or why
/// it can't, naming the file.
std::string ReadWholeFile(const std::string& path, std::string* text);

/// The same for the regular file `name` in directory `dirfd`, never
/// through a symbolic link; `shown` names it in the message.
std::string ReadWholeFileAt(int dirfd, const std::string& name, const std::string& shown,
                            std::string* text);

#endif  // KVSOLVER_BATCH_READ_FILE_H_
