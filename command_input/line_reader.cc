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
  return source->block_end > 0;
}

/// The next byte of the file as it stands, or EOF.
int ReadRawByte(LineSource* source) {
  if (!source->read_ahead) return getc_unlocked(source->file);
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

/// ReadPiece for a plain or UTF-8 file read ahead: the piece is found in
/// the block and copied whole, rather than a byte at a time.
size_t ReadBlockPiece(LineSource* source, char* piece, size_t size) {
  size_t n = 0;
  while (n + 1 < size) {
    if (source->block_begin == source->block_end && !Refill(source)) break;
    const char* start = source->block + source->block_begin;
    size_t available = std::min(size - 1 - n, source->block_end - source->block_begin);
    const void* line_end = std::memchr(start, '\n', available);
    size_t take = line_end != nullptr
                      ? static_cast<size_t>(static_cast<const char*>(line_end) - start) + 1
                      : available;
    std::memcpy(piece + n, start, take);
    n += take;
    source->block_begin += take;
    if (line_end != nullptr) break;
  }
  piece[n] = '\0';
  return n;
}

}  // namespace

void InitLineSource(LineSource* source, FILE* file, enFileCode code,
                    bool read_ahead) {
  source->file = file;
  source->code = code;
  source->read_ahead = read_ahead;
  source->block_begin = source->block_end = 0;
  source->pending_begin = source->pending_end = 0;
  source->has_saved_unit = false;
  source->saved_unit = 0;
}

void SkipMark(LineSource* source) {
  int mark_bytes = source->code == FileCodeUnicode ? 2
                   : source->code == FileCodeUtf8  ? 3
                                                   : 0;
  for (int i = 0; i < mark_bytes; ++i) ReadRawByte(source);
}

size_t ReadPiece(LineSource* source, char* piece, size_t size) {
  if (source->read_ahead && source->code != FileCodeUnicode)
    return ReadBlockPiece(source, piece, size);
  size_t n = 0;
  while (n + 1 < size) {
    int c = ReadByte(source);
    if (c == EOF) break;
    piece[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  piece[n] = '\0';
  return n;
}

bool BeginsWithWord(const char* piece, size_t length, const char* word) {
  return length >= 4 && std::memcmp(piece, word, 4) == 0;
}
