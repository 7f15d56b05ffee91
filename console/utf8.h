// UTF-8 encoding of single characters, for the console's conversion and for
// command files decoded from UTF-16, and the end of a character in a text
// cut into pieces.
#ifndef KVSOLVER_CONSOLE_UTF8_H_
#define KVSOLVER_CONSOLE_UTF8_H_

#include <cstddef>

/// Writes `c` at `out` as UTF-8, as the UTF-8 locales' conversion gives it
/// (at most four bytes); a value no UTF-8 text can hold is written as '?'.
/// Returns the end of what was written.
char* EncodeUtf8(char* out, char32_t c);

/// How many bytes at the end of `text` (at most three) begin a UTF-8
/// character that is not complete within `length` bytes, so that a text
/// cut there splits no character.
size_t IncompleteTail(const char* text, size_t length);

#endif  // KVSOLVER_CONSOLE_UTF8_H_
