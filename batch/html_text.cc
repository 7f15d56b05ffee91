#include "batch/html_text.h"

#include "batch/escape.h"
#include "batch/utf8.h"

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

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
