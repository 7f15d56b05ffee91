// Completing a name typed at a console prompt from the files on disk.
#ifndef KVSOLVER_COMMAND_INPUT_NAME_COMPLETION_H_
#define KVSOLVER_COMMAND_INPUT_NAME_COMPLETION_H_

#include <string>
#include <vector>

/// What a prompt's answer names, and so what Tab offers.
enum class NameKind {
  kCommandFileBase,  ///< base names of .kcf and .acf files, and directories
  kFile,             ///< any file or directory
};

/// The names that complete `typed`: each is `typed` with the rest of a name
/// of `kind` in the directory that `typed` names up to its last '/' (the
/// working directory when it has none). A directory ends with '/'. Names
/// that begin with '.' are offered only when the typed part does. Sorted,
/// each once.
std::vector<std::string> CompleteName(const std::string& typed, NameKind kind);

/// The longest text that every one of `names` begins with.
std::string CommonPrefix(const std::vector<std::string>& names);

#endif  // KVSOLVER_COMMAND_INPUT_NAME_COMPLETION_H_
