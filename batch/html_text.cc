#include "batch/html_text.h"

#include "batch/escape.h"

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

/// The length of the valid UTF-8 character at `text[i]`, or 0 when none
/// begins there: no overlong form, surrogate or value beyond U+10FFFF.
size_t CharacterLength(const std::string& text, size_t i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char lead = byte(i);
  if (lead < 0x80) return 1;
  size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                  : lead >= 0xE0 && lead <= 0xEF ? 3
                  : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                 : 0;
  if (length == 0 || i + length > text.size()) return 0;
  unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (size_t k = 2; k < length; ++k)
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  return length;
}

/// The character reference that stands for `c` in a page, or nullptr.
const char* Reference(char c) {
  switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '"': return "&quot;";
    case '\'': return "&#39;";
    default: return nullptr;
  }
}

}  // namespace

std::string ValidUtf8(const std::string& text) {
  std::string valid;
  valid.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    size_t length = CharacterLength(text, i);
    if (length == 0) {
      valid += kReplacement;
      ++i;
    } else {
      valid.append(text, i, length);
      i += length;
    }
  }
  return valid;
}

std::string HtmlEscape(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    const char* reference = Reference(c);
    if (reference != nullptr)
      escaped += reference;
    else
      escaped += c;
  }
  return escaped;
}

std::string HtmlText(const std::string& text) {
  std::string clean;
  clean.reserve(text.size());
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (c == '\r') continue;
    bool control = (byte < 0x20 && c != '\n' && c != '\t') || byte == 0x7F;
    if (control)
      clean += kReplacement;
    else
      clean += c;
  }
  return HtmlEscape(ValidUtf8(clean));
}

std::string HtmlName(const std::string& name) {
  return HtmlEscape(ValidUtf8(EscapeControls(name)));
}
