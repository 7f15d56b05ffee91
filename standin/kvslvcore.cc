// The stand-in solver library: the seven operations of libkvslvcore.so,
// with just enough behaviour to run every road of the launcher. All of its
// console output is wide.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <langinfo.h>
#include <sys/stat.h>
#include <string>
#include <vector>

#include "command_input/line_reader.h"
#include "solverlib/kvslvcore.h"
#include "standin/controls.h"
#include "standin/utf8.h"

namespace {

constexpr char kStreamName[] = "z_z_z_z_.___";

/// The character handling in force before the first set-up, if saved.
std::string saved_ctype;
bool ctype_saved = false;

/// The command stream open for reading, a line at a time in chunks of
/// bounded size, so that a stream with lines of any length takes little
/// memory.
struct Stream {
  FILE* file = nullptr;
  LineSource lines;
  ~Stream() {
    if (file != nullptr) std::fclose(file);
  }
};

/// Reads the next line whole into `line`, without its line end. Returns
/// false at end of input.
bool ReadLineText(Stream* stream, std::string* line) {
  if (!ReadWholeLine(&stream->lines, line)) return false;
  if (!line->empty() && line->back() == '\n') line->pop_back();
  return true;
}

/// Opens the command stream in the working directory and reads its model
/// name and flag line; the commands follow.
bool OpenStream(Stream* stream, std::string* model) {
  stream->file = std::fopen(kStreamName, "rb");
  if (stream->file == nullptr) return false;
  InitLineSource(&stream->lines, stream->file, FileCodePlain);
  std::string flag;
  return ReadLineText(stream, model) && ReadLineText(stream, &flag);
}

/// Calls `each(chunk)` for every chunk of every command before the stop
/// line.
template <typename Each>
void ForEachCommandChunk(Stream* stream, Each each) {
  Chunk chunk;
  while (ReadChunk(&stream->lines, &chunk)) {
    if (chunk.first && (BeginsWithWord(chunk, "stop") || BeginsWithWord(chunk, "STOP")))
      return;
    each(chunk);
  }
}

[[maybe_unused]] void CopyStreamTo(const std::string& path) {
  std::ifstream in(kStreamName, std::ios::binary);
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out << in.rdbuf();
}

[[maybe_unused]] bool IsReadableFile(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  std::ifstream in(path, std::ios::binary);
  return static_cast<bool>(in);
}

/// Shows a line end and carriage return in a log line as \n and \r.
std::string Escaped(const char* text) {
  std::string out;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '\n')
      out += "\\n";
    else if (*p == '\r')
      out += "\\r";
    else
      out += *p;
  }
  return out;
}

}  // namespace

extern "C" {

void SetOSCompatibility() {
  EnterOperation(Operation::kSetOSCompatibility);
  if (!ctype_saved) {
    saved_ctype = std::setlocale(LC_CTYPE, nullptr);
    ctype_saved = true;
  }
  // Names and commands are UTF-8: use the environment's character set when
  // it is UTF-8, else the C locale's UTF-8 form.
  if (std::setlocale(LC_CTYPE, "") == nullptr ||
      std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
    std::setlocale(LC_CTYPE, "C.UTF-8");
}

void CloseOSCompatibility() {
  EnterOperation(Operation::kCloseOSCompatibility);
  if (ctype_saved) {
    std::setlocale(LC_CTYPE, saved_ctype.c_str());
    ctype_saved = false;
  }
}

void SetTypeDLLcall(int type) {
  EnterOperation(Operation::kSetTypeDLLcall, std::to_string(type));
}

void GetWcStringFromUTF8(const char* text, wchar_t* wide) {
  EnterOperation(Operation::kGetWcStringFromUTF8, LogEnabled() ? Escaped(text) : "");
  DecodeUtf8(text, wide);
}

#ifndef KVS_STANDIN_WITHOUT_K_CONVERT
int k_convert() {
  EnterOperation(Operation::kConvert);
  std::string copy = StreamCopyPath();
  if (!copy.empty()) CopyStreamTo(copy);
  if (std::optional<int> result = ControlledConvertResult()) return *result;

  Stream in;
  std::string model;
  if (!OpenStream(&in, &model)) {
    if (!Quiet())
      std::fwprintf(stdout, L" KV stand-in: cannot read the command stream %s\n",
                    kStreamName);
    return 1;
  }
  if (!IsReadableFile(model)) {
    if (!Quiet())
      std::fwprintf(stdout, L" KV stand-in: cannot read the model file %ls\n",
                    Utf8ToWide(model).c_str());
    return 1;
  }
  size_t commands = 0;
  ForEachCommandChunk(&in, [&](const Chunk& chunk) { commands += chunk.first; });
  if (!Quiet())
    std::fwprintf(stdout, L" KV stand-in: model %ls, %zu commands\n",
                  Utf8ToWide(model).c_str(), commands);
  return 0;
}
#endif

#ifndef KVS_STANDIN_WITHOUT_K_SOLVER
void k_solver(int first, int* second) {
  EnterOperation(Operation::kSolver,
                 std::to_string(first) + " " + std::to_string(*second));
  WaitForSolveRelease();
  UseSolveResources();
  Stream in;
  std::string model;
  if (!OpenStream(&in, &model) || Quiet()) return;
  // Each command is shown as one line, its text up to its first NUL.
  std::vector<wchar_t> wide(kChunkSize + 1);
  bool cut = false;
  ForEachCommandChunk(&in, [&](const Chunk& chunk) {
    if (chunk.first) {
      std::fwprintf(stdout, L" KV stand-in: solving ");
      cut = false;
    }
    if (!cut) {
      std::string text(chunk.bytes, chunk.length);
      if (chunk.last && !text.empty() && text.back() == '\n') text.pop_back();
      DecodeUtf8(text.c_str(), wide.data());
      std::fwprintf(stdout, L"%ls", wide.data());
      cut = text.find('\0') != std::string::npos;
    }
    if (chunk.last) std::fwprintf(stdout, L"\n");
  });
}
#endif

#ifndef KVS_STANDIN_WITHOUT_K_ENDSOLVER
void k_endsolver() {
  EnterOperation(Operation::kEndSolver);
  if (!Quiet()) std::fwprintf(stdout, L" KV stand-in: solve closed\n");
}
#endif

}  // extern "C"
