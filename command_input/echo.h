// Showing narrow names, paths and command lines on the console.
#ifndef KVSOLVER_COMMAND_INPUT_ECHO_H_
#define KVSOLVER_COMMAND_INPUT_ECHO_H_

#include <cstring>
#include <memory>

#include "command_input/line_reader.h"
#include "console/console.h"
#include "solverlib/kvslvcore.h"

/// Converts `text` (UTF-8, up to its terminator) with the solver library's
/// conversion and prints it through `format`, which takes one %ls.
void EchoText(const wchar_t* format, const char* text);

/// The echo of one line that arrives in chunks: one message of the form
/// of a format with one %ls, showing the line's text before its first NUL.
struct LineEcho {
  FixedText head;  ///< the format before its %ls
  FixedText tail;  ///< the format after it
  FixedText none;  ///< no text, for the pieces of a line between its ends
  bool cut;           ///< a NUL was met: the rest of the line is not shown
  /// Room for a chunk's conversion: kChunkSize + 1 wide characters, of
  /// which the memory holds only as many as the longest line has used.
  std::unique_ptr<wchar_t[]> wide;
};

/// Prepares `echo` for lines shown through `format`.
void InitLineEcho(LineEcho* echo, const wchar_t* format);

/// Shows `chunk` as part of its line's echo: each chunk is handed to the
/// conversion in one call, up to the line's first NUL, and a line that fits
/// one chunk is printed in one message. Inline, as it runs for every line.
inline void EchoChunk(LineEcho* echo, const Chunk& chunk) {
  const FixedText& tail = chunk.last ? echo->tail : echo->none;
  if (chunk.first) {
    echo->cut = false;
  } else if (echo->cut) {
    PrintFramed(echo->none, L"", 0, tail);
    return;
  }
  // The conversion reads to the first NUL, which ends what is shown.
  GetWcStringFromUTF8(chunk.bytes, echo->wide.get());
  PrintFramed(chunk.first ? echo->head : echo->none, echo->wide.get(), chunk.length, tail);
  if (!chunk.last) echo->cut = std::memchr(chunk.bytes, '\0', chunk.length) != nullptr;
}

#endif  // KVSOLVER_COMMAND_INPUT_ECHO_H_
