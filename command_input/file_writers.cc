// ReadFromKcf and ReadFromKss: the command-file writers.
#include <cstring>
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
  InitLineSource(source, file, code, true);
  SkipMark(source);
  return true;
}

/// Whether a piece ends the command list.
bool IsStopLine(const char* piece, size_t length) {
  return BeginsWithWord(piece, length, "stop") ||
         BeginsWithWord(piece, length, "STOP");
}

/// Echoes every piece and copies it to the stream, leaving out "!" comment
/// pieces, up to and including the stop line. A file without a stop line
/// ends the list at its end.
void CopyCommands(LineSource* source, FILE* stream) {
  char piece[kPieceSize];
  size_t length;
  while ((length = ReadPiece(source, piece, sizeof piece)) > 0) {
    EchoText(kEchoCommand, piece);
    if (IsStopLine(piece, length)) {
      std::fputs(piece, stream);
      return;
    }
    if (piece[0] != '!') std::fputs(piece, stream);
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

  char first[kFirstLineSize];
  ReadPiece(&source, first, sizeof first);
  first[std::strcspn(first, "\n")] = '\0';
  if (first[0] == '\0') {
    std::fclose(source.file);
    EchoText(kNoModelName, path.c_str());
    return 0;
  }
  WriteHeader(stream, first);
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
