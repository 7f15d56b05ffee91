// Fuzzes the command-file writers: the input is written as a solver script
// and as an auto-command file, each is copied into a command stream, and
// the stream is checked against what the file's lines say it must hold:
// the header, then the file's lines in order, comment lines dropped,
// nothing after the stop line. Works in a scratch directory of its own
// with no converter on PATH and the console sent to /dev/null.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "command_input/writers.h"
#include "solverlib/kvslvcore.h"

namespace {

/// What the stream must hold after its header for a file whose text (its
/// bytes after any UTF-8 mark) is `text`, read from offset `from` on: each
/// line whole, up to and including its line end, NULs and all, "!" lines
/// left out, up to and including the first line that begins with "stop"
/// or "STOP".
std::string ExpectedCommands(const std::string& text, size_t from) {
  std::string expected;
  size_t at = from;
  while (at < text.size()) {
    size_t line_end = text.find('\n', at);
    size_t end = line_end == std::string::npos ? text.size() : line_end + 1;
    std::string line = text.substr(at, end - at);
    at = end;
    bool stop = line.compare(0, 4, "stop") == 0 || line.compare(0, 4, "STOP") == 0;
    if (stop) return expected + line;
    if (line[0] != '!') expected += line;
  }
  return expected;
}

/// Runs `writer` on a fresh stream and returns what it wrote.
/// The scratch directory, removed when the fuzzer ends.
char scratch[] = "/tmp/kvsolver-fuzz-XXXXXX";

std::string In(const char* name) {
  return std::string(scratch) + "/" + name;
}

void RemoveScratch() {
  for (const char* name : {"fuzz.kss", "fuzz.kcf", "stream", "no-converter"})
    remove(In(name).c_str());
  rmdir(scratch);
}

template <typename Writer>
std::string Stream(int* result, Writer writer) {
  FILE* stream = std::fopen(In("stream").c_str(), "w+");
  if (stream == nullptr) std::abort();
  *result = writer(stream);
  std::fflush(stream);
  std::rewind(stream);
  std::string bytes;
  char block[4096];
  size_t n;
  while ((n = std::fread(block, 1, sizeof block, stream)) > 0) bytes.append(block, n);
  std::fclose(stream);
  return bytes;
}

void Check(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "command file fuzzer: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (mkdtemp(scratch) == nullptr || mkdir(In("no-converter").c_str(), 0700) != 0)
    std::abort();
  std::atexit(RemoveScratch);
  setenv("PATH", In("no-converter").c_str(), 1);
  int null = open("/dev/null", O_WRONLY);
  dup2(null, STDOUT_FILENO);
  close(null);
  SetOSCompatibility();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file(reinterpret_cast<const char*>(data), size);
  static const std::string base = In("fuzz");
  for (const char* extension : {".kss", ".kcf"}) {
    FILE* out = std::fopen((base + extension).c_str(), "wb");
    std::fwrite(data, 1, size, out);
    std::fclose(out);
  }
  bool utf16 = size >= 2 && data[0] == 0xFF && data[1] == 0xFE;
  bool utf8_mark = size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0;
  std::string text = file.substr(utf8_mark ? 3 : 0);

  int result;
  std::string kss = Stream(&result, [](FILE* s) { return ReadFromKss(s, "m", base.c_str()); });
  Check(result == 1, "a solver script that exists was not copied");
  Check(kss.compare(0, 4, "m\n1\n") == 0, "the solver script's header");
  if (utf16) {
    // Decoded text: at most three bytes of UTF-8 for each two of the file.
    Check(kss.size() <= 4 + size / 2 * 3 + 3, "more than the file's text");
  } else {
    Check(kss.substr(4) == ExpectedCommands(text, 0), "the solver script's commands");
  }

  std::string kcf = Stream(&result, [](FILE* s) { return ReadFromKcf(s, base.c_str()); });
  if (utf16) return 0;
  size_t line_end = text.find('\n');
  size_t first_end = line_end == std::string::npos ? text.size() : line_end + 1;
  std::string first = text.substr(0, first_end);
  std::string model = first.substr(0, first.find_first_of(std::string("\n\0", 2)));
  if (model.empty()) {
    Check(result == 0 && kcf.empty(), "an auto-command file without a model name");
  } else {
    Check(result == 1, "an auto-command file that exists was not copied");
    Check(kcf == model + "\n1\n" + ExpectedCommands(text, first_end),
          "the auto-command file's stream");
  }
  return 0;
}
