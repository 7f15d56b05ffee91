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

#include "solverlib/kvslvcore.h"
#include "standin/controls.h"
#include "standin/utf8.h"

namespace {

constexpr char kStreamName[] = "z_z_z_z_.___";

/// The character handling in force before the first set-up, if saved.
std::string saved_ctype;
bool ctype_saved = false;

/// What the command stream holds: the model name and the commands before
/// the stop line.
struct StreamContents {
  std::string model;
  std::vector<std::string> commands;
};

bool IsStop(const std::string& line) {
  return line.compare(0, 4, "stop") == 0 || line.compare(0, 4, "STOP") == 0;
}

/// Reads the command stream from the working directory.
bool ReadStream(StreamContents* contents) {
  std::ifstream in(kStreamName, std::ios::binary);
  if (!in) return false;
  std::string line;
  if (!std::getline(in, contents->model)) return false;
  std::getline(in, line);  // "1" or "0"
  while (std::getline(in, line) && !IsStop(line))
    contents->commands.push_back(line);
  return true;
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
  EnterOperation("SetOSCompatibility");
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
  EnterOperation("CloseOSCompatibility");
  if (ctype_saved) {
    std::setlocale(LC_CTYPE, saved_ctype.c_str());
    ctype_saved = false;
  }
}

void SetTypeDLLcall(int type) {
  EnterOperation("SetTypeDLLcall", std::to_string(type));
}

void GetWcStringFromUTF8(const char* text, wchar_t* wide) {
  EnterOperation("GetWcStringFromUTF8", Escaped(text));
  DecodeUtf8(text, wide);
}

#ifndef KVS_STANDIN_WITHOUT_K_CONVERT
int k_convert() {
  EnterOperation("k_convert");
  std::string copy = StreamCopyPath();
  if (!copy.empty()) CopyStreamTo(copy);
  if (std::optional<int> result = ControlledConvertResult()) return *result;

  StreamContents contents;
  if (!ReadStream(&contents)) {
    std::fwprintf(stdout, L" KV stand-in: cannot read the command stream %s\n",
                  kStreamName);
    return 1;
  }
  std::wstring model = Utf8ToWide(contents.model);
  if (!IsReadableFile(contents.model)) {
    std::fwprintf(stdout, L" KV stand-in: cannot read the model file %ls\n",
                  model.c_str());
    return 1;
  }
  std::fwprintf(stdout, L" KV stand-in: model %ls, %zu commands\n",
                model.c_str(), contents.commands.size());
  return 0;
}
#endif

#ifndef KVS_STANDIN_WITHOUT_K_SOLVER
void k_solver(int first, int* second) {
  EnterOperation("k_solver",
                 std::to_string(first) + " " + std::to_string(*second));
  StreamContents contents;
  ReadStream(&contents);
  for (const std::string& command : contents.commands)
    std::fwprintf(stdout, L" KV stand-in: solving %ls\n",
                  Utf8ToWide(command).c_str());
}
#endif

#ifndef KVS_STANDIN_WITHOUT_K_ENDSOLVER
void k_endsolver() {
  EnterOperation("k_endsolver");
  std::fwprintf(stdout, L" KV stand-in: solve closed\n");
}
#endif

}  // extern "C"
