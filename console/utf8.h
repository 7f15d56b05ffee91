// UTF-8 encoding of single characters, for the console's conversion and for
// command files decoded from UTF-16.
#ifndef KVSOLVER_CONSOLE_UTF8_H_
#define KVSOLVER_CONSOLE_UTF8_H_

/// Writes `c` at `out` as UTF-8, as the UTF-8 locales' conversion gives it
/// (at most four bytes); a value no UTF-8 text can hold is written as '?'.
/// Returns the end of what was written.
char* EncodeUtf8(char* out, char32_t c);

#endif  // KVSOLVER_CONSOLE_UTF8_H_
