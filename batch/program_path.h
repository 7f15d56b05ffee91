// Which programs a batch runs: found once, at the start, and run by that
// path from every directory.
#ifndef KVSOLVER_BATCH_PROGRAM_PATH_H_
#define KVSOLVER_BATCH_PROGRAM_PATH_H_

#include <string>

/// The absolute path of program `name` as a shell would find it: a name
/// with a "/" against the working directory, a bare name through PATH.
/// Returns an empty text, with `*why` set, when it names no program.
std::string ResolveProgram(const std::string& name, std::string* why);

/// `path` made absolute against the working directory.
std::string AbsolutePath(const std::string& path);

/// This program's own path.
std::string SelfPath();

#endif  // KVSOLVER_BATCH_PROGRAM_PATH_H_
