#include "console/console.h"

#include <emmintrin.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdarg>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <langinfo.h>
#include <memory>
#include <unistd.h>
#include <vector>

#include "console/utf8.h"

namespace {

/// Longest text one message may format to; a format that still fails at
/// this size holds a narrow argument the locale can't convert.
constexpr size_t kMaxFormatted = size_t{1} << 22;
/// Bytes held back before they are written.
constexpr size_t kFlushAt = size_t{1} << 16;

/// Converted text not yet written: the console's one buffer, of
/// `pending_size` bytes, of which the first `pending_length` are in use.
/// Writing in large pieces is what makes long echoes cheap. It grows to
/// hold a whole message, so a message is written either whole or not at
/// all. What is not in use is left unset, so memory holds only what was.
std::unique_ptr<char[]> pending;
size_t pending_size = 0;
size_t pending_length = 0;

/// Makes the console's buffer hold `more` bytes beyond what it holds.
[[gnu::noinline]] void Grow(size_t more) {
  size_t size = std::max({2 * pending_size, pending_length + more, 2 * kFlushAt});
  auto larger = std::make_unique_for_overwrite<char[]>(size);
  if (pending_length > 0) std::memcpy(larger.get(), pending.get(), pending_length);
  pending = std::move(larger);
  pending_size = size;
}

/// Where `more` bytes can be appended.
char* Room(size_t more) {
  if (pending_length + more > pending_size) Grow(more);
  return pending.get() + pending_length;
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

/// Characters narrowed at once: a block, or half of one for short texts.
constexpr size_t kBlock = 16;

/// Writes the `n` characters of `text` to `out` as bytes, saturated: an
/// ASCII character becomes its byte, any other one a byte that is NUL or
/// above 0x7F. Returns a mask with bit k set where character k is NUL or
/// not ASCII, so that a block of ASCII costs a few vector instructions.
/// (Every x86-64 processor, where the solver library runs, has SSE2.)
template <size_t n>
unsigned NarrowBlock(char* out, const wchar_t* text) {
  static_assert(sizeof(wchar_t) == 4 && (n == kBlock || n == kBlock / 2));
  const auto* in = reinterpret_cast<const __m128i*>(text);
  __m128i low = _mm_packs_epi32(_mm_loadu_si128(in), _mm_loadu_si128(in + 1));
  __m128i high = n == kBlock
                     ? _mm_packs_epi32(_mm_loadu_si128(in + 2), _mm_loadu_si128(in + 3))
                     : low;
  __m128i bytes = _mm_packus_epi16(low, high);
  if (n == kBlock)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
  else
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), bytes);
  __m128i nul = _mm_cmpeq_epi8(bytes, _mm_setzero_si128());
  auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(bytes, nul)));
  return n == kBlock ? mask : mask & 0xFF;
}

/// Writes the `length` characters of `text` to `out` as bytes, and returns
/// whether all of them are ASCII other than NUL; if not, `out` holds bytes
/// of no use. The text goes in whole blocks, the last one ending at its end
/// and overlapping the one before.
[[gnu::always_inline]] inline bool NarrowAscii(char* out, const wchar_t* text, size_t length) {
  unsigned other = 0;
  if (length >= kBlock) {
    size_t last = length - kBlock;
    for (size_t i = 0; i < last; i += kBlock) other |= NarrowBlock<kBlock>(out + i, text + i);
    other |= NarrowBlock<kBlock>(out + last, text + last);
  } else if (length >= kBlock / 2) {
    size_t last = length - kBlock / 2;
    other = NarrowBlock<kBlock / 2>(out, text) | NarrowBlock<kBlock / 2>(out + last, text + last);
  } else {
    for (size_t k = 0; k < length; ++k) {
      auto c = static_cast<uint32_t>(text[k]);
      other |= (c - 1) | c;  // 0x80 or more for NUL and for non-ASCII
      out[k] = static_cast<char>(c);
    }
    other &= ~0x7Fu;
  }
  return other == 0;
}

/// Most bytes `length` characters take in the current locale.
size_t MostBytes(size_t length, bool utf8) {
  return length * (utf8 ? 4 : MB_CUR_MAX);
}

/// Writes `text` at `out` converted by the current locale, UTF-8 when
/// `utf8`, and returns the end of what was written; `out` has room for
/// MostBytes(length). A character the locale has no bytes for is shown as
/// '?'.
char* Convert(char* out, const wchar_t* text, size_t length, bool utf8) {
  if (utf8 && NarrowAscii(out, text, length)) return out + length;  // the usual case
  if (utf8) {
    // Runs of ASCII a block at a time, the rest a character at a time.
    size_t i = 0;
    while (i < length) {
      unsigned other = length - i >= kBlock ? NarrowBlock<kBlock>(out, text + i) : 1;
      size_t ascii = other == 0 ? kBlock : static_cast<size_t>(std::countr_zero(other));
      out += ascii;
      i += ascii;
      if (other != 0) out = EncodeUtf8(out, static_cast<char32_t>(text[i++]));
    }
    return out;
  }
  std::mbstate_t state{};
  for (size_t i = 0; i < length; ++i) {
    size_t n = std::wcrtomb(out, text[i], &state);
    if (n == static_cast<size_t>(-1)) {
      *out++ = '?';
      state = std::mbstate_t{};
    } else {
      out += n;
    }
  }
  return out;
}

/// Writes the UTF-8 of `text` at `out` in whole blocks, and returns the end
/// of the text; `out` has room for the last block's bytes beyond it.
char* CopyFixed(char* out, const FixedText& text) {
  static_assert(kBlock == 16, "the block FixedText is padded to");
  std::memcpy(out, text.utf8.data(), kBlock);
  for (size_t i = kBlock; i < text.utf8_length; i += kBlock)
    std::memcpy(out + i, text.utf8.data() + i, kBlock);
  return out + text.utf8_length;
}

/// Appends `text` converted by the current locale, UTF-8 when `utf8`.
void AppendConverted(const wchar_t* text, size_t length, bool utf8) {
  char* end = Convert(Room(MostBytes(length, utf8)), text, length, utf8);
  pending_length = static_cast<size_t>(end - pending.get());
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

/// Whether the locale in force, which the solver library may have changed
/// since the last message, writes UTF-8. Asked for every message, so the
/// codeset's name is compared only when it is not the one last found to be
/// "UTF-8": the C library never unloads the data of a locale once set.
[[gnu::always_inline]] inline bool LocaleIsUtf8() {
  static const char* utf8_codeset = nullptr;
  const char* c = nl_langinfo(CODESET);
  if (c == utf8_codeset) return true;
  bool utf8 = std::strcmp(c, "UTF-8") == 0;
  if (utf8) utf8_codeset = c;
  return utf8;
}

/// Ends a message: a console buffer that holds enough is written.
void EndMessage() {
  if (pending_length >= kFlushAt) FlushConsole();
}

}  // namespace

void Print(const wchar_t* format, ...) {
  bool utf8 = LocaleIsUtf8();
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
  EndMessage();
}

FixedText MakeFixedText(std::wstring_view text) {
  std::string utf8(4 * text.size(), '\0');
  char* out = utf8.data();
  for (wchar_t c : text) out = EncodeUtf8(out, static_cast<char32_t>(c));
  auto length = static_cast<size_t>(out - utf8.data());
  utf8.resize(std::max(kBlock, (length + kBlock - 1) / kBlock * kBlock));
  return {std::wstring(text), utf8, length};
}

void PrintFramed(const FixedText& head, const wchar_t* text, size_t most,
                 const FixedText& tail) {
  bool utf8 = LocaleIsUtf8();
  // Room for the last block of a fixed text's copy, too.
  char* out = Room(MostBytes(head.wide.size() + most + tail.wide.size(), utf8) + kBlock);
  out = utf8 ? CopyFixed(out, head) : Convert(out, head.wide.data(), head.wide.size(), utf8);
  if (utf8 && text[most] == L'\0' && NarrowAscii(out, text, most))
    out += most;
  else
    out = Convert(out, text, ::wcsnlen(text, most), utf8);
  out = utf8 ? CopyFixed(out, tail) : Convert(out, tail.wide.data(), tail.wide.size(), utf8);
  pending_length = static_cast<size_t>(out - pending.get());
  EndMessage();
}

void FlushConsole() {
  // What the library printed through stdout came before what is pending.
  std::fflush(stdout);
  WriteOut(pending.get(), pending_length);
  pending_length = 0;
}
