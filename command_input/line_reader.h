// Reading a command file line by line. A line of any length is one line:
// it is handed over in chunks of bounded size, so memory stays flat, and
// a line that fits a chunk arrives in one.
#ifndef KVSOLVER_COMMAND_INPUT_LINE_READER_H_
#define KVSOLVER_COMMAND_INPUT_LINE_READER_H_

#include <emmintrin.h>

#include <bit>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

#include "command_input/file_code.h"

/// Bytes a command file is read ahead by.
constexpr size_t kBlockSize = size_t{1} << 16;
/// Most bytes of a line one chunk holds; a longer line comes in several.
/// A line that lies whole in the block is one chunk, so the block is no
/// larger.
constexpr size_t kChunkSize = size_t{1} << 16;
static_assert(kBlockSize <= kChunkSize);

/// Bytes looked at at once in the search for a line end.
constexpr size_t kSearchBlock = 16;

/// Bytes that may be read past a chunk's end, the terminator's included, so
/// that a short line is searched and copied in blocks of fixed size.
constexpr size_t kChunkSlack = 64;

/// A piece of a line as read: its bytes (NULs and the line end included),
/// followed by a terminator that is not counted, and readable to
/// kChunkSlack bytes past its end.
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
  char block[kBlockSize + kChunkSlack];  ///< and the slack of the lines handed out in it
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
  char chunk[kChunkSize + kChunkSlack];
  char carry[4];  ///< the start of a character a full chunk left for the next
  size_t carry_length;
};

/// Prepares `source` to read `file` according to `code`.
void InitLineSource(LineSource* source, FILE* file, enFileCode code);

/// Reads the first bytes of `file` and sets `*code` when they are a
/// byte-order mark; leaves it as it was otherwise. The file is then to be
/// rewound.
void DetectMark(FILE* file, enFileCode* code);

/// Passes over the byte-order mark that `code` says the file starts with.
void SkipMark(LineSource* source);

/// Reads the next chunk of the current line into `*chunk` by copying it
/// into the source's chunk buffer: ReadChunk's way for a piece of a line
/// that crosses the block's end, ends the file without a line end, is
/// longer than a chunk, or is decoded from UTF-16.
bool ReadCopiedChunk(LineSource* source, Chunk* chunk);

/// How many of the `available` bytes at `text` make up a line, its line end
/// included, or 0 when no line end is among them. The first few blocks of
/// kSearchBlock bytes are looked at here, each at once, up to
/// kSearchBlock - 1 bytes beyond the `available`, within the block's slack;
/// a longer line is left to memchr. (Every x86-64 processor has SSE2.)
inline size_t LineLength(const char* text, size_t available) {
  constexpr size_t kInline = 4 * kSearchBlock;
  const __m128i line_end = _mm_set1_epi8('\n');
  for (size_t i = 0; i < available && i < kInline; i += kSearchBlock) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    auto found = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, line_end)));
    if (found != 0) {
      size_t length = i + static_cast<size_t>(std::countr_zero(found)) + 1;
      return length <= available ? length : 0;
    }
  }
  if (available <= kInline) return 0;
  const void* found = std::memchr(text + kInline, '\n', available - kInline);
  return found == nullptr ? 0 : static_cast<size_t>(static_cast<const char*>(found) - text) + 1;
}

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
  size_t length = LineLength(start, source->block_end - source->block_begin);
  if (source->code == FileCodeUnicode || source->carry_length != 0 || length == 0)
    return ReadCopiedChunk(source, chunk);
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

/// Reads the first line whole and returns the model name it holds: its
/// text before the line end, up to its first NUL. Whoever needs to know
/// which model a command file names reads it with this.
std::string ReadModelName(LineSource* source);

/// Whether the line that `chunk` begins starts with the four bytes of
/// `word`, which hold no NUL; inline, as it is asked of every line. A
/// shorter chunk has its terminator among the four bytes looked at.
inline bool BeginsWithWord(const Chunk& chunk, const char* word) {
  return std::memcmp(chunk.bytes, word, 4) == 0;
}

#endif  // KVSOLVER_COMMAND_INPUT_LINE_READER_H_
