// Reading names as UTF-8: a file name is bytes, and only some of them spell
// characters.
#ifndef KVSOLVER_BATCH_UTF8_H_
#define KVSOLVER_BATCH_UTF8_H_

#include <cstddef>
#include <string>
#include <string_view>

/// The character that begins at byte `at` of `text`: its code point and its
/// length in bytes, or a length of 0 when the byte begins no well-formed
/// UTF-8 sequence (a stray continuation byte, a cut or overlong sequence,
/// a surrogate, or past U+10FFFF).
struct Utf8Char {
  char32_t code = 0;
  size_t length = 0;
};

/// Decodes the character at byte `at` (< text.size()) of `text`.
Utf8Char DecodeUtf8At(std::string_view text, size_t at);

/// Whether all of `text` is well-formed UTF-8.
bool IsUtf8(std::string_view text);

/// `text` with each byte that begins no well-formed character replaced by
/// U+FFFD, so the result is valid UTF-8 whatever `text` holds.
std::string ValidUtf8(std::string_view text);

/// The columns a terminal gives character `c` (from DecodeUtf8At): two
/// for a wide one, none for a combining one, and one for a byte of no
/// character or one the C library can't size, as an escape shows it.
size_t Columns(Utf8Char c);

/// The columns a terminal gives `text`, so that a table lines up whatever
/// its names' characters.
size_t Columns(std::string_view text);

#endif  // KVSOLVER_BATCH_UTF8_H_
