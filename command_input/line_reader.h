// Reading a command file line by line. A line of any length is one line:
// it is handed over in chunks of bounded size, so memory stays flat, and
// a line that fits a chunk arrives in one.
#ifndef KVSOLVER_COMMAND_INPUT_LINE_READER_H_
#define KVSOLVER_COMMAND_INPUT_LINE_READER_H_

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

#include "command_input/file_code.h"

/// Bytes a command file is read ahead by.
constexpr size_t kBlockSize = size_t{1} << 16;
/// Most bytes of a line one chunk holds; a longer line comes in several.
constexpr size_t kChunkSize = size_t{1} << 16;

/// A piece of a line as read: its bytes (NULs and the line end included),
/// followed by a terminator that is not counted.
struct Chunk {
  const char* bytes;
  size_t length;
  bool first;  ///< the chunk begins its line
  bool last;   ///< the chunk ends its line: at a line end or the end of input
};

/// An open command file and how its bytes become UTF-8: the bytes of a
/// plain or UTF-8 file pass unchanged; UTF-16LE is decoded as it is read.
struct LineSource {
  FILE* file;
  enFileCode code;
  char block[kBlockSize + 1];  ///< and room for the terminator of a line at its end
  size_t block_begin;
  size_t block_end;
  bool line_in_block;  ///< the last chunk was handed out where it lies in the block,
  char cover;          ///< with a terminator over this byte, the next line's first
  unsigned char pending[4];  ///< bytes of a decoded character not yet read
  int pending_begin;
  int pending_end;
  bool has_saved_unit;  ///< a UTF-16 unit (or an odd last byte) was read ahead
  int saved_unit;
  bool at_line_start;  ///< the next chunk begins a line
  char chunk[kChunkSize + 1];
  char carry[4];  ///< the start of a character a full chunk left for the next
  size_t carry_length;
};

/// Prepares `source` to read `file` according to `code`.
void InitLineSource(LineSource* source, FILE* file, enFileCode code);

/// Passes over the byte-order mark that `code` says the file starts with.
void SkipMark(LineSource* source);

/// Reads the next chunk of the current line into `*chunk` by copying it
/// into the source's chunk buffer: ReadChunk's way for a piece of a line
/// that crosses the block's end, ends the file without a line end, is
/// longer than a chunk, or is decoded from UTF-16.
bool ReadCopiedChunk(LineSource* source, Chunk* chunk);

/// Reads the next chunk of the current line into `*chunk`. A chunk that
/// does not end its line ends on a whole UTF-8 character. Returns false at
/// end of input. The bytes stay valid until the next call. Inline, for it
/// runs for every line: a line that lies whole in the block is handed out
/// where it lies, the byte after it set aside for a terminator and put back
/// at the next call.
inline bool ReadChunk(LineSource* source, Chunk* chunk) {
  if (source->line_in_block) {
    source->block[source->block_begin] = source->cover;
    source->line_in_block = false;
  }
  char* start = source->block + source->block_begin;
  size_t available = source->block_end - source->block_begin;
  auto* line_end = static_cast<char*>(std::memchr(start, '\n', available));
  if (source->code == FileCodeUnicode || source->carry_length != 0 || line_end == nullptr)
    return ReadCopiedChunk(source, chunk);
  auto length = static_cast<size_t>(line_end - start) + 1;
  source->block_begin += length;
  source->cover = start[length];
  source->line_in_block = true;
  start[length] = '\0';
  *chunk = {start, length, source->at_line_start, true};
  source->at_line_start = true;
  return true;
}

/// Reads the next line whole into `*line`, its line end included, for a
/// line that must be held at once (a model name). Returns false at end of
/// input.
bool ReadWholeLine(LineSource* source, std::string* line);

/// Whether the line that `chunk` begins starts with the four bytes of
/// `word`; inline, as it is asked of every line.
inline bool BeginsWithWord(const Chunk& chunk, const char* word) {
  return chunk.length >= 4 && std::memcmp(chunk.bytes, word, 4) == 0;
}

#endif  // KVSOLVER_COMMAND_INPUT_LINE_READER_H_
