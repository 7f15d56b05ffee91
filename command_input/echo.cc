#include "command_input/echo.h"

#include <cstring>
#include <cwchar>
#include <vector>

#include "console/console.h"
#include "solverlib/kvslvcore.h"

namespace {

/// Wide characters the library may be handed for a command line; a longer
/// text gets a buffer of its own size.
constexpr size_t kWideLineSize = 1024;

}  // namespace

void EchoText(const wchar_t* format, const char* text) {
  size_t needed = std::strlen(text) + 1;
  wchar_t line[kWideLineSize];
  std::vector<wchar_t> longer;
  wchar_t* wide = line;
  if (needed > kWideLineSize) {
    longer.resize(needed);
    wide = longer.data();
  }
  GetWcStringFromUTF8(text, wide);
  Print(format, wide);
}

void InitLineEcho(LineEcho* echo, const wchar_t* format) {
  const wchar_t* conversion = std::wcsstr(format, L"%ls");
  echo->head = MakeFixedText(std::wstring_view(format, conversion));
  echo->tail = MakeFixedText(conversion + 3);
  echo->cut = false;
  // Left uninitialised: the conversion writes what is read.
  echo->wide.reset(new wchar_t[kChunkSize + 1]);
}
