// Showing narrow names, paths and command lines on the console.
#ifndef KVSOLVER_COMMAND_INPUT_ECHO_H_
#define KVSOLVER_COMMAND_INPUT_ECHO_H_

/// Converts `text` (UTF-8, up to its terminator) with the solver library's
/// conversion and prints it through `format`, which takes one %ls.
void EchoText(const wchar_t* format, const char* text);

#endif  // KVSOLVER_COMMAND_INPUT_ECHO_H_
