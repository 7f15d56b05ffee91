#include "command_input/echo.h"

#include <cstring>
#include <cwchar>
#include <string_view>

#include "console/console.h"
#include "solverlib/kvslvcore.h"

namespace {

/// Wide characters the library may be handed for a command line; a longer
/// text gets a buffer of its own size.
constexpr size_t kWideLineSize = 1024;

/// `length` bytes of UTF-8 at `text`, up to a terminator, converted by the
/// library into the echo's buffer.
const wchar_t* Widen(LineEcho* echo, const char* text, size_t length) {
  if (echo->wide.size() < length + 1) echo->wide.resize(length + 1);
  GetWcStringFromUTF8(text, echo->wide.data());
  return echo->wide.data();
}

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
}

void EchoChunk(LineEcho* echo, const Chunk& chunk) {
  if (chunk.first) echo->cut = false;
  const FixedText& head = chunk.first ? echo->head : echo->none;
  const FixedText& tail = chunk.last ? echo->tail : echo->none;
  if (echo->cut) {
    PrintFramed(head, L"", 0, tail);
    return;
  }
  // The conversion reads to the first NUL, which ends what is shown.
  PrintFramed(head, Widen(echo, chunk.bytes, chunk.length), chunk.length, tail);
  if (!chunk.last) echo->cut = std::memchr(chunk.bytes, '\0', chunk.length) != nullptr;
}
