#include "standin/utf8.h"

#include <cstdint>
#include <cstring>
#include <cwchar>

namespace {

/// Length of the well-formed sequence at `s` and its character, or 0.
int DecodeOne(const unsigned char* s, char32_t* c) {
  unsigned char lead = s[0];
  int length;
  char32_t min;
  if (lead < 0x80) {
    *c = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, min = 0x80, *c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, min = 0x800, *c = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, min = 0x10000, *c = lead & 0x07;
  } else {
    return 0;
  }
  for (int i = 1; i < length; ++i) {
    // A terminator is not a continuation byte, so this never reads past it.
    if ((s[i] & 0xC0) != 0x80) return 0;
    *c = (*c << 6) | (s[i] & 0x3F);
  }
  if (*c < min || *c > 0x10FFFF || (*c >= 0xD800 && *c <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

void DecodeUtf8(const char* text, wchar_t* wide) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  size_t length = std::strlen(text);
  const unsigned char* end = s + length;
  // Runs of ASCII, as most text is, eight bytes at a time, on copies of
  // its own so that the compiler can do the eight at once.
  while (end - s >= 8) {
    uint64_t eight;
    std::memcpy(&eight, s, sizeof eight);
    if ((eight & 0x8080808080808080u) != 0) break;
    unsigned char bytes[8];
    std::memcpy(bytes, s, sizeof bytes);
    wchar_t chars[8];
    for (int k = 0; k < 8; ++k) chars[k] = static_cast<wchar_t>(bytes[k]);
    std::memcpy(wide, chars, sizeof chars);
    s += 8;
    wide += 8;
  }
  while (*s != 0) {
    if (*s < 0x80) {
      *wide++ = static_cast<wchar_t>(*s++);
      continue;
    }
    char32_t c;
    int length = DecodeOne(s, &c);
    if (length == 0) {
      *wide++ = L'\uFFFD';
      ++s;
    } else {
      *wide++ = static_cast<wchar_t>(c);
      s += length;
    }
  }
  *wide = L'\0';
}

std::wstring Utf8ToWide(const std::string& text) {
  std::wstring wide(std::strlen(text.c_str()) + 1, L'\0');
  DecodeUtf8(text.c_str(), wide.data());
  wide.resize(std::wcslen(wide.c_str()));
  return wide;
}
