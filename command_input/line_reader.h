// Reading command files and console answers in pieces of bounded size.
#ifndef KVSOLVER_COMMAND_INPUT_LINE_READER_H_
#define KVSOLVER_COMMAND_INPUT_LINE_READER_H_

#include <cstddef>
#include <cstdio>

#include "command_input/file_code.h"

/// Bytes of a piece buffer, terminator included: a line or answer is read
/// at most 99 bytes at a time, and a longer one arrives as several pieces.
constexpr size_t kPieceSize = 100;
/// Bytes of the buffer for an auto-command file's first line.
constexpr size_t kFirstLineSize = 99;

/// Bytes a command file is read ahead by.
constexpr size_t kBlockSize = size_t{1} << 16;

/// An open source of text and how its bytes become UTF-8: the bytes of a
/// plain or UTF-8 file pass unchanged; UTF-16LE is decoded as it is read.
struct LineSource {
  FILE* file;
  enFileCode code;
  /// Whether the source is read ahead in blocks: a command file is, the
  /// console never is, so the rest of a long answer stays for the next
  /// prompt.
  bool read_ahead;
  char block[kBlockSize];
  size_t block_begin;
  size_t block_end;
  unsigned char pending[4];  ///< bytes of a decoded character not yet read
  int pending_begin;
  int pending_end;
  bool has_saved_unit;  ///< a UTF-16 unit (or an odd last byte) was read ahead
  int saved_unit;
};

/// Prepares `source` to read `file` according to `code`.
void InitLineSource(LineSource* source, FILE* file, enFileCode code,
                    bool read_ahead);

/// Passes over the byte-order mark that `code` says the file starts with.
void SkipMark(LineSource* source);

/// Reads one piece into `piece`: at most `size` - 1 bytes, up to and
/// including a line end, then a terminator. Returns the number of bytes
/// read, 0 at end of input.
size_t ReadPiece(LineSource* source, char* piece, size_t size);

/// Whether a piece of `length` bytes begins with the four bytes of `word`.
bool BeginsWithWord(const char* piece, size_t length, const char* word);

#endif  // KVSOLVER_COMMAND_INPUT_LINE_READER_H_
