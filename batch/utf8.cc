#include "batch/utf8.h"

#include <locale.h>
#include <wchar.h>

namespace {

/// The bytes a sequence led by `lead` has, and the bits the lead holds;
/// a length of 0 for a byte that leads none.
Utf8Char Lead(unsigned char lead) {
  if (lead < 0x80) return {lead, 1};
  if (lead >= 0xC2 && lead <= 0xDF) return {lead & 0x1Fu, 2};
  if (lead >= 0xE0 && lead <= 0xEF) return {lead & 0x0Fu, 3};
  if (lead >= 0xF0 && lead <= 0xF4) return {lead & 0x07u, 4};
  return {};
}

/// The smallest code point that needs `length` bytes.
char32_t Smallest(size_t length) {
  return length == 2 ? 0x80 : length == 3 ? 0x800 : length == 4 ? 0x10000 : 0;
}

}  // namespace

Utf8Char DecodeUtf8At(std::string_view text, size_t at) {
  Utf8Char c = Lead(static_cast<unsigned char>(text[at]));
  if (c.length <= 1 || at + c.length > text.size()) return c.length == 1 ? c : Utf8Char{};
  for (size_t k = 1; k < c.length; ++k) {
    unsigned char next = static_cast<unsigned char>(text[at + k]);
    if ((next & 0xC0) != 0x80) return {};
    c.code = (c.code << 6) | (next & 0x3Fu);
  }
  bool surrogate = c.code >= 0xD800 && c.code <= 0xDFFF;
  if (c.code < Smallest(c.length) || surrogate || c.code > 0x10FFFF) return {};
  return c;
}

bool IsUtf8(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    size_t length = DecodeUtf8At(text, at).length;
    if (length == 0) return false;
    at += length;
  }
  return true;
}

std::string ValidUtf8(std::string_view text) {
  std::string valid;
  valid.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    size_t length = DecodeUtf8At(text, at).length;
    if (length == 0) {
      valid += "\xEF\xBF\xBD";
      ++at;
    } else {
      valid.append(text.substr(at, length));
      at += length;
    }
  }
  return valid;
}

size_t Columns(Utf8Char c) {
  if (c.length <= 1) return 1;
  // The widths are those of the C library's UTF-8 locale, whatever the
  // program's own; without one, a character takes one column.
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  if (utf8 == static_cast<locale_t>(0)) return 1;
  locale_t before = uselocale(utf8);
  int width = wcwidth(static_cast<wchar_t>(c.code));
  uselocale(before);
  return width < 0 ? 1 : static_cast<size_t>(width);
}

size_t Columns(std::string_view text) {
  size_t columns = 0;
  for (size_t at = 0; at < text.size();) {
    Utf8Char c = DecodeUtf8At(text, at);
    columns += Columns(c);
    at += c.length == 0 ? 1 : c.length;
  }
  return columns;
}
