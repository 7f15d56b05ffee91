// All console output of the launcher.
//
// Text is formatted as wide characters and converted to the current
// locale's multibyte form as it is printed, so a locale the solver library
// sets after the banner still applies to every later message. The bytes are
// held in one buffer and go to standard output's descriptor in large
// pieces. The solver library prints through the stdout stream: the console
// is flushed before every call into the library that may print, and the
// stream before the console's own bytes, so both keep their order.
#ifndef KVSOLVER_CONSOLE_CONSOLE_H_
#define KVSOLVER_CONSOLE_CONSOLE_H_

#include <cstddef>
#include <string>
#include <string_view>

/// Prints `format` and its arguments as swprintf would format them. A narrow
/// %s argument is converted by the formatting itself, with the locale in force.
void Print(const wchar_t* format, ...);

/// A fixed text around what a message shows, held as it is and as UTF-8,
/// so that in a UTF-8 locale it is printed by a copy of whole blocks.
struct FixedText {
  std::wstring wide;
  /// Followed by NULs up to a whole number of blocks of 16 bytes, one at
  /// least.
  std::string utf8 = std::string(16, '\0');
  size_t utf8_length = 0;  ///< how much of utf8 is the text
};

/// Makes the FixedText of `text`.
FixedText MakeFixedText(std::wstring_view text);

/// Prints `head`, the text at `text` and `tail` as one message, as
/// Print(L"%ls%ls%ls", ...) would: the echo of a line without the cost of
/// formatting it. The text ends at its terminator, at most `most`
/// characters in; when it is just there, as when each byte of an ASCII
/// line became one character, the text is converted without being
/// measured first.
void PrintFramed(const FixedText& head, const wchar_t* text, size_t most,
                 const FixedText& tail);

/// Puts everything printed so far on the console; called before another
/// program or the solver library may write to it, before input is read,
/// and before the process ends.
void FlushConsole();

#endif  // KVSOLVER_CONSOLE_CONSOLE_H_
