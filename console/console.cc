#include "console/console.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cwchar>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

/// Longest text one message may format to; a format that still fails at
/// this size holds a narrow argument the locale can't convert.
constexpr size_t kMaxFormatted = size_t{1} << 22;

/// Formats into `out`, growing it until the text fits. Returns false when
/// the text can't be formatted at all.
bool FormatWide(std::vector<wchar_t>* out, const wchar_t* format,
                va_list args) {
  for (;;) {
    va_list copy;
    va_copy(copy, args);
    int n = vswprintf(out->data(), out->size(), format, copy);
    va_end(copy);
    if (n >= 0) {
      out->resize(static_cast<size_t>(n));
      return true;
    }
    if (out->size() >= kMaxFormatted) return false;
    out->resize(out->size() * 4);
  }
}

/// Converts wide text for the current locale; a character the locale has
/// no bytes for is shown as '?'.
std::string ToMultibyte(const std::vector<wchar_t>& text) {
  std::string bytes;
  bytes.reserve(text.size());
  char one[MB_LEN_MAX];
  std::mbstate_t state{};
  for (wchar_t c : text) {
    size_t n = std::wcrtomb(one, c, &state);
    if (n == static_cast<size_t>(-1)) {
      bytes += '?';
      state = std::mbstate_t{};
    } else {
      bytes.append(one, n);
    }
  }
  return bytes;
}

/// Writes all of `bytes` to standard output's descriptor. A console that
/// refuses output loses the text, as a failing stream would.
void WriteOut(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace

void Print(const wchar_t* format, ...) {
  std::vector<wchar_t> text(256);
  va_list args;
  va_start(args, format);
  bool formatted = FormatWide(&text, format, args);
  va_end(args);
  if (!formatted) return;
  FlushConsole();
  WriteOut(ToMultibyte(text));
}

void FlushConsole() {
  std::fflush(stdout);
}
