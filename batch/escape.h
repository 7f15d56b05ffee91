// Names as they are shown: a file name may hold any byte but '/' and NUL,
// and neither a terminal nor a program reading the summary may be misled
// by one.
#ifndef KVSOLVER_BATCH_ESCAPE_H_
#define KVSOLVER_BATCH_ESCAPE_H_

#include <string>

/// `text` with each control character written out: "\t", "\n", "\r", and
/// "\033" (octal) for the others, so that it reaches a terminal as text.
std::string EscapeControls(const std::string& text);

/// `text` as one field of tab-separated values: a backslash, tab, newline
/// or carriage return is written "\\", "\t", "\n" or "\r".
std::string EscapeField(const std::string& text);

#endif  // KVSOLVER_BATCH_ESCAPE_H_
