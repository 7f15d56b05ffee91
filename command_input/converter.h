// The external line-end converter run on every command file.
#ifndef KVSOLVER_COMMAND_INPUT_CONVERTER_H_
#define KVSOLVER_COMMAND_INPUT_CONVERTER_H_

/// Runs `dos2unix -F -- path` from PATH and waits for it, so the file is
/// read with Unix line ends; a symbolic link is followed to its file. The
/// path is one argument that no shell sees; the outcome is ignored, and a
/// missing converter leaves the file as it was.
void RunConverter(const char* path);

#endif  // KVSOLVER_COMMAND_INPUT_CONVERTER_H_
