#include "console/console.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <langinfo.h>
#include <unistd.h>
#include <vector>

#include "console/utf8.h"

namespace {

/// Longest text one message may format to; a format that still fails at
/// this size holds a narrow argument the locale can't convert.
constexpr size_t kMaxFormatted = size_t{1} << 22;
/// Bytes held back before they are written.
constexpr size_t kFlushAt = size_t{1} << 16;

/// Converted text not yet written: the console's one buffer. Writing in
/// large pieces is what makes long echoes cheap. It grows to hold a whole
/// message, so a message is written either whole or not at all.
std::vector<char> pending(2 * kFlushAt);
size_t pending_length = 0;

/// Where `more` bytes can be appended.
char* Room(size_t more) {
  if (pending_length + more > pending.size())
    pending.resize(std::max(2 * pending.size(), pending_length + more));
  return pending.data() + pending_length;
}

/// Writes all of `length` bytes to standard output's descriptor. A console
/// that refuses output loses the text, as a failing stream would.
void WriteOut(const char* bytes, size_t length) {
  size_t done = 0;
  while (done < length) {
    ssize_t n = write(STDOUT_FILENO, bytes + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

/// Characters CopyAsciiRun takes at once.
constexpr size_t kAsciiRun = 8;

/// Copies kAsciiRun characters of `text` to `out` when all are ASCII, as
/// they mostly are. Returns whether it did. Working on copies of its own
/// lets the compiler take them all at once.
bool CopyAsciiRun(char* out, const wchar_t* text) {
  uint32_t wide[kAsciiRun];
  std::memcpy(wide, text, sizeof wide);
  uint32_t high = 0;
  for (uint32_t c : wide) high |= c;
  if (high >= 0x80) return false;
  char bytes[kAsciiRun];
  for (size_t k = 0; k < kAsciiRun; ++k) bytes[k] = static_cast<char>(wide[k]);
  std::memcpy(out, bytes, sizeof bytes);
  return true;
}

/// Appends `text` converted by the current locale, UTF-8 when `utf8`; a
/// character the locale has no bytes for is shown as '?'.
void AppendConverted(const wchar_t* text, size_t length, bool utf8) {
  char* out = Room(length * (utf8 ? 4 : MB_CUR_MAX));
  size_t i = 0;
  if (utf8) {
    while (i < length) {
      if (length - i >= kAsciiRun && CopyAsciiRun(out, text + i)) {
        out += kAsciiRun;
        i += kAsciiRun;
      } else {
        out = EncodeUtf8(out, static_cast<char32_t>(text[i++]));
      }
    }
  } else {
    std::mbstate_t state{};
    for (; i < length; ++i) {
      size_t n = std::wcrtomb(out, text[i], &state);
      if (n == static_cast<size_t>(-1)) {
        *out++ = '?';
        state = std::mbstate_t{};
      } else {
        out += n;
      }
    }
  }
  pending_length = static_cast<size_t>(out - pending.data());
}

/// Appends narrow `text` converted with the locale in force, as "%s"
/// does, except that a byte the locale can't read is shown as '?' rather
/// than the whole text being lost.
void AppendNarrow(const char* text, bool utf8) {
  std::mbstate_t state{};
  size_t left = std::strlen(text);
  while (left > 0) {
    wchar_t c;
    size_t n = std::mbrtowc(&c, text, left, &state);
    if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) {
      c = L'?';
      n = 1;
      state = std::mbstate_t{};
    }
    AppendConverted(&c, 1, utf8);
    text += n;
    left -= n;
  }
}

/// Appends the message the launcher's own conversions (%ls, %Nls, %s, %d
/// and %%) make of `format`: the same text swprintf gives, without its
/// cost on every echoed line. Returns false, part of it appended, for any
/// other conversion.
bool AppendFormat(const wchar_t* format, va_list args, bool utf8) {
  const wchar_t* literal = format;
  for (const wchar_t* p = std::wcschr(format, L'%'); p != nullptr;
       p = std::wcschr(p + 1, L'%')) {
    AppendConverted(literal, static_cast<size_t>(p - literal), utf8);
    ++p;
    size_t width = 0;
    while (*p >= L'0' && *p <= L'9')
      width = width * 10 + static_cast<size_t>(*p++ - L'0');
    if (p[0] == L'l' && p[1] == L's') {
      const wchar_t* text = va_arg(args, const wchar_t*);
      size_t length = std::wcslen(text);
      for (; width > length; --width) AppendConverted(L" ", 1, utf8);
      AppendConverted(text, length, utf8);
      ++p;
    } else if (width == 0 && *p == L's') {
      AppendNarrow(va_arg(args, const char*), utf8);
    } else if (width == 0 && *p == L'd') {
      wchar_t number[16];
      int n = swprintf(number, 16, L"%d", va_arg(args, int));
      AppendConverted(number, static_cast<size_t>(n), utf8);
    } else if (width == 0 && *p == L'%') {
      AppendConverted(p, 1, utf8);
    } else {
      return false;
    }
    literal = p + 1;
  }
  AppendConverted(literal, std::wcslen(literal), utf8);
  return true;
}

/// Formats with vswprintf into `out`, growing it until the text fits.
/// Returns the length, or -1 when the text can't be formatted at all.
int FormatWide(std::vector<wchar_t>* out, const wchar_t* format, va_list args) {
  for (;;) {
    va_list copy;
    va_copy(copy, args);
    int n = vswprintf(out->data(), out->size(), format, copy);
    va_end(copy);
    if (n >= 0 || out->size() >= kMaxFormatted) return n;
    out->resize(out->size() * 4);
  }
}

}  // namespace

void Print(const wchar_t* format, ...) {
  bool utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
  size_t start = pending_length;
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  if (!AppendFormat(format, args, utf8)) {
    // Taken back, and left to swprintf; what it can't format isn't shown.
    pending_length = start;
    std::vector<wchar_t> text(512);
    int n = FormatWide(&text, format, again);
    if (n >= 0) AppendConverted(text.data(), static_cast<size_t>(n), utf8);
  }
  va_end(again);
  va_end(args);
  if (pending_length >= kFlushAt) FlushConsole();
}

void FlushConsole() {
  // What the library printed through stdout came before what is pending.
  std::fflush(stdout);
  WriteOut(pending.data(), pending_length);
  pending_length = 0;
}
