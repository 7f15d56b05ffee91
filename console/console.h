// All console output of the launcher.
//
// Text is formatted as wide characters and converted to the current
// locale's multibyte form only when it is written, so a locale the solver
// library sets after the banner still applies to every later message. The
// bytes go to standard output's descriptor; whatever the library left in the
// stdout stream is flushed first, so both keep their order on the console.
#ifndef KVSOLVER_CONSOLE_CONSOLE_H_
#define KVSOLVER_CONSOLE_CONSOLE_H_

#include <cstdarg>

/// Prints `format` and its arguments as swprintf would format them. A narrow
/// %s argument is converted by the formatting itself, with the locale in force.
void Print(const wchar_t* format, ...);

/// Puts everything printed so far on the console; called before another
/// program or the solver library may write to it, and before input is read.
void FlushConsole();

#endif  // KVSOLVER_CONSOLE_CONSOLE_H_
