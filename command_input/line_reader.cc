#include "command_input/line_reader.h"

#include <algorithm>
#include <cstring>

#include "console/utf8.h"

namespace {

constexpr int kOddByte = -2;  ///< a lone byte at the end of a UTF-16 file
constexpr char32_t kReplacement = 0xFFFD;

/// Reads ahead a block of the file. Returns false at end of file.
bool Refill(LineSource* source) {
  source->block_begin = 0;
  source->block_end = std::fread(source->block, 1, kBlockSize, source->file);
  // What the search for line ends reads beyond them is never left unset.
  std::memset(source->block + source->block_end, 0, kSearchBlock);
  return source->block_end > 0;
}

/// The next byte of the file as it stands, or EOF.
int ReadRawByte(LineSource* source) {
  if (source->block_begin == source->block_end && !Refill(source)) return EOF;
  return static_cast<unsigned char>(source->block[source->block_begin++]);
}

/// Reads one little-endian UTF-16 unit: the unit, EOF, or kOddByte.
int ReadUnit(LineSource* source) {
  if (source->has_saved_unit) {
    source->has_saved_unit = false;
    return source->saved_unit;
  }
  int low = ReadRawByte(source);
  if (low == EOF) return EOF;
  int high = ReadRawByte(source);
  if (high == EOF) return kOddByte;
  return low | (high << 8);
}

/// Decodes the next character of a UTF-16LE file; unpaired surrogates and
/// an odd last byte become U+FFFD. Returns false at end of file.
bool ReadUtf16Char(LineSource* source, char32_t* c) {
  int unit = ReadUnit(source);
  if (unit == EOF) return false;
  if (unit == kOddByte || (unit >= 0xDC00 && unit <= 0xDFFF)) {
    *c = kReplacement;
    return true;
  }
  if (unit < 0xD800 || unit > 0xDBFF) {
    *c = static_cast<char32_t>(unit);
    return true;
  }
  int next = ReadUnit(source);
  if (next >= 0xDC00 && next <= 0xDFFF) {
    *c = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
         (static_cast<char32_t>(next) - 0xDC00);
    return true;
  }
  if (next != EOF) {
    source->has_saved_unit = true;
    source->saved_unit = next;
  }
  *c = kReplacement;
  return true;
}

/// Puts the UTF-8 bytes of `c` into the source's pending bytes.
void EncodePending(LineSource* source, char32_t c) {
  char* start = reinterpret_cast<char*>(source->pending);
  source->pending_begin = 0;
  source->pending_end = static_cast<int>(EncodeUtf8(start, c) - start);
}

/// The next byte of the source's text, or EOF.
int ReadByte(LineSource* source) {
  if (source->code != FileCodeUnicode) return ReadRawByte(source);
  if (source->pending_begin == source->pending_end) {
    char32_t c;
    if (!ReadUtf16Char(source, &c)) return EOF;
    EncodePending(source, c);
  }
  return source->pending[source->pending_begin++];
}

/// Whether nothing of the file's text is left to read.
bool AtEnd(LineSource* source) {
  return source->pending_begin == source->pending_end && !source->has_saved_unit &&
         source->block_begin == source->block_end && !Refill(source);
}

/// Appends to `chunk` (holding `*n` bytes) up to `room` bytes of a plain
/// or UTF-8 file, found in the block and copied whole rather than a byte
/// at a time. Returns whether a line end was among them.
bool FillFromBlock(LineSource* source, char* chunk, size_t* n, size_t room) {
  while (*n < room) {
    if (source->block_begin == source->block_end && !Refill(source)) return false;
    const char* start = source->block + source->block_begin;
    size_t available = std::min(room - *n, source->block_end - source->block_begin);
    const void* line_end = std::memchr(start, '\n', available);
    size_t take = line_end != nullptr
                      ? static_cast<size_t>(static_cast<const char*>(line_end) - start) + 1
                      : available;
    std::memcpy(chunk + *n, start, take);
    *n += take;
    source->block_begin += take;
    if (line_end != nullptr) return true;
  }
  return false;
}

/// The same for a UTF-16 file, decoded a character at a time.
bool FillDecoded(LineSource* source, char* chunk, size_t* n, size_t room) {
  while (*n < room) {
    int c = ReadByte(source);
    if (c == EOF) return false;
    chunk[(*n)++] = static_cast<char>(c);
    if (c == '\n') return true;
  }
  return false;
}

}  // namespace

void InitLineSource(LineSource* source, FILE* file, enFileCode code) {
  source->file = file;
  source->code = code;
  source->block_begin = source->block_end = 0;
  source->pending_begin = source->pending_end = 0;
  source->line_in_block = false;
  source->has_saved_unit = false;
  source->saved_unit = 0;
  source->at_line_start = true;
  source->carry_length = 0;
}

void DetectMark(FILE* file, enFileCode* code) {
  unsigned char head[3] = {0, 0, 0};
  size_t n = std::fread(head, 1, sizeof head, file);
  if (n >= 2 && head[0] == 0xFF && head[1] == 0xFE)
    *code = FileCodeUnicode;
  else if (n == 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF)
    *code = FileCodeUtf8;
}

void SkipMark(LineSource* source) {
  int mark_bytes = source->code == FileCodeUnicode ? 2
                   : source->code == FileCodeUtf8  ? 3
                                                   : 0;
  for (int i = 0; i < mark_bytes; ++i) ReadRawByte(source);
}

bool ReadCopiedChunk(LineSource* source, Chunk* chunk) {
  char* bytes = source->chunk;
  size_t n = source->carry_length;
  std::memcpy(bytes, source->carry, n);
  source->carry_length = 0;
  bool line_end = source->code == FileCodeUnicode
                      ? FillDecoded(source, bytes, &n, kChunkSize)
                      : FillFromBlock(source, bytes, &n, kChunkSize);
  if (n == 0) return false;
  bool last = line_end || AtEnd(source);
  if (!last) {
    // The rest of the line follows: a character cut at the chunk's end
    // goes to the next chunk whole.
    size_t tail = IncompleteTail(bytes, n);
    n -= tail;
    std::memcpy(source->carry, bytes + n, tail);
    source->carry_length = tail;
  }
  bytes[n] = '\0';
  *chunk = {bytes, n, source->at_line_start, last};
  source->at_line_start = last;
  return true;
}

bool ReadWholeLine(LineSource* source, std::string* line) {
  line->clear();
  Chunk chunk;
  while (ReadChunk(source, &chunk)) {
    line->append(chunk.bytes, chunk.length);
    if (chunk.last) return true;
  }
  return false;
}

std::string ReadModelName(LineSource* source) {
  std::string line;
  ReadWholeLine(source, &line);
  if (!line.empty() && line.back() == '\n') line.pop_back();
  return line.substr(0, line.find('\0'));
}
