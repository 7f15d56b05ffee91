// ReadFromKcf and ReadFromKss: the command-file writers.
#include <cstring>
#include <memory>
#include <string>

#include "command_input/echo.h"
#include "command_input/file_code.h"
#include "command_input/line_reader.h"
#include "command_input/writers.h"
#include "console/messages.h"

namespace {

/// Opens `path` and passes over its mark. Returns false when it can't be
/// opened.
bool OpenCommandFile(const std::string& path, LineSource* source) {
  enFileCode code = FileCodePlain;
  FILE* file = OpenFileAsFileCode(&code, path.c_str());
  if (file == nullptr) return false;
  InitLineSource(source, file, code);
  SkipMark(source);
  return true;
}

/// Whether the line that `chunk` begins ends the command list.
bool IsStopLine(const Chunk& chunk) {
  return BeginsWithWord(chunk, "stop") || BeginsWithWord(chunk, "STOP");
}

/// Lines bound for the command stream, gathered so that a long script goes
/// out in large writes rather than in a call for each line. What it holds
/// reaches the stream however the copy ends, an integer raised by the
/// library while a line is echoed included.
struct StreamBuffer {
  FILE* stream;
  /// kBlockSize, and the slack of a chunk copied whole; left unset.
  std::unique_ptr<char[]> bytes;
  size_t length;
  ~StreamBuffer();
};

/// Writes what `out` holds to its stream.
void Drain(StreamBuffer* out) {
  std::fwrite(out->bytes.get(), 1, out->length, out->stream);
  out->length = 0;
}

StreamBuffer::~StreamBuffer() {
  Drain(this);
}

/// Adds `chunk` to what `out` holds, writing out what it held when it
/// doesn't fit, and passing on at once a chunk that could never fit. A short
/// chunk is copied whole with its slack, in a few instructions.
void Put(StreamBuffer* out, const Chunk& chunk) {
  if (out->length + chunk.length > kBlockSize) {
    Drain(out);
    if (chunk.length > kBlockSize) {
      std::fwrite(chunk.bytes, 1, chunk.length, out->stream);
      return;
    }
  }
  char* to = out->bytes.get() + out->length;
  if (chunk.length <= kChunkSlack)
    std::memcpy(to, chunk.bytes, kChunkSlack);
  else
    std::memcpy(to, chunk.bytes, chunk.length);
  out->length += chunk.length;
}

/// Echoes every line and copies it whole to the stream, leaving out "!"
/// comment lines, up to and including the stop line. Each line is tested
/// once, by its first bytes. A file without a stop line ends the list at
/// its end.
void CopyCommands(LineSource* source, FILE* stream) {
  LineEcho echo;
  InitLineEcho(&echo, kEchoCommand);
  StreamBuffer out{stream, std::make_unique_for_overwrite<char[]>(kBlockSize + kChunkSlack), 0};
  bool stop = false;
  bool copied = false;
  Chunk chunk;
  while (ReadChunk(source, &chunk)) {
    if (chunk.first) {
      stop = IsStopLine(chunk);
      copied = stop || chunk.bytes[0] != '!';
    }
    EchoChunk(&echo, chunk);
    if (copied) Put(&out, chunk);
    if (chunk.last && stop) break;
  }
}

/// Writes the stream's header: the model name and "1" for the command lines
/// that follow.
void WriteHeader(FILE* stream, const char* model) {
  std::fputs(model, stream);
  std::fputs("\n", stream);
  EchoText(kEchoModel, model);
  std::fputs("1\n", stream);
}

}  // namespace

int ReadFromKcf(FILE* stream, const char* base) {
  std::string path = std::string(base) + ".kcf";
  LineSource source;
  if (!OpenCommandFile(path, &source)) {
    std::string fallback = std::string(base) + ".acf";
    if (!OpenCommandFile(fallback, &source)) {
      EchoText(kNoCommandFile, path.c_str());
      return 0;
    }
    path = fallback;
  }

  std::string model = ReadModelName(&source);
  if (model.empty()) {
    std::fclose(source.file);
    EchoText(kNoModelName, path.c_str());
    return 0;
  }
  WriteHeader(stream, model.c_str());
  CopyCommands(&source, stream);
  std::fclose(source.file);
  return 1;
}

int ReadFromKss(FILE* stream, const char* model, const char* base) {
  std::string path = std::string(base) + ".kss";
  LineSource source;
  if (!OpenCommandFile(path, &source)) {
    EchoText(kNoCommandFile, path.c_str());
    return 0;
  }
  WriteHeader(stream, model);
  CopyCommands(&source, stream);
  std::fclose(source.file);
  return 1;
}
