#include "batch/escape.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "batch/utf8.h"

namespace {

/// The two-character escape of `c`, or 0 when it has none.
char ShortEscape(char c) {
  switch (c) {
    case '\\': return '\\';
    case '\t': return 't';
    case '\n': return 'n';
    case '\r': return 'r';
    default: return 0;
  }
}

/// Whether `code` is a character that shows nothing or moves what follows
/// it: a direction mark, embedding, override or isolate, which can make a
/// name read as another ("U+202E"), a line or paragraph separator, which a
/// terminal or page may break a line at, or a zero-width one, which makes
/// two names look the same.
bool Invisible(char32_t code) {
  return code == 0x061C || (code >= 0x200B && code <= 0x200F) ||
         (code >= 0x2028 && code <= 0x202E) || (code >= 0x2060 && code <= 0x2069) ||
         code == 0xFEFF;
}

/// `value` in `format` ("\\%03o", "\\x%02x", "\\u%04x").
std::string Formatted(const char* format, unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

/// The escape of `c`, the character at byte `at` of `text` (a length of 0:
/// a byte of no character), or empty when it is shown as it is.
std::string CharacterEscape(const std::string& text, size_t at, Utf8Char c) {
  if (ShortEscape(text[at]) != 0) return std::string("\\") + ShortEscape(text[at]);
  if (c.length == 0) return Formatted("\\x%02x", static_cast<unsigned char>(text[at]));
  if (c.code < 0x20 || c.code == 0x7F) return Formatted("\\%03o", static_cast<unsigned>(c.code));
  if ((c.code >= 0x80 && c.code <= 0x9F) || Invisible(c.code))
    return Formatted("\\u%04x", static_cast<unsigned>(c.code));
  return "";
}

/// `bytes` in lowercase hexadecimal, two digits a byte.
std::string Hex(const std::string& bytes) {
  std::string hex;
  for (char c : bytes) hex += Formatted("%02x", static_cast<unsigned char>(c));
  return hex;
}

/// The value of hexadecimal digit `c` (either case), or -1.
int Digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

/// The bytes that Hex wrote as `hex`, or nothing for other text.
std::optional<std::string> Unhex(const std::string& hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  for (size_t at = 0; at < hex.size(); at += 2) {
    int high = Digit(hex[at]), low = Digit(hex[at + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes += static_cast<char>(high * 16 + low);
  }
  return bytes;
}

/// PutName for either kind of JSON object.
template <typename Json>
void PutNameInto(Json* object, const std::string& key, const std::string& name) {
  if (IsUtf8(name)) {
    (*object)[key] = name;
    return;
  }
  (*object)[key] = ValidUtf8(name);
  (*object)[key + "_bytes"] = Hex(name);
}

}  // namespace

std::string EscapeControls(const std::string& text) {
  std::string shown;
  for (size_t at = 0; at < text.size();) {
    Utf8Char c = DecodeUtf8At(text, at);
    std::string escape = CharacterEscape(text, at, c);
    size_t length = c.length == 0 ? 1 : c.length;
    shown += escape.empty() ? text.substr(at, length) : escape;
    at += length;
  }
  return shown;
}

std::string EscapeField(const std::string& text) {
  std::string field;
  for (char c : text) {
    if (ShortEscape(c) != 0) {
      field += '\\';
      field += ShortEscape(c);
    } else {
      field += c;
    }
  }
  return field;
}

void PutName(nlohmann::ordered_json* object, const std::string& key, const std::string& name) {
  PutNameInto(object, key, name);
}

void PutName(nlohmann::json* object, const std::string& key, const std::string& name) {
  PutNameInto(object, key, name);
}

std::optional<std::string> TakeName(const nlohmann::json& object, const std::string& key) {
  auto name = object.find(key);
  if (name == object.end() || !name->is_string()) return std::nullopt;
  auto bytes = object.find(key + "_bytes");
  if (bytes == object.end()) return name->get<std::string>();
  if (!bytes->is_string()) return std::nullopt;
  return Unhex(bytes->get<std::string>());
}

std::string EscapeLines(const std::string& text) {
  size_t end = text.find_last_not_of('\n');
  std::string lines;
  for (size_t start = 0; end != std::string::npos && start <= end;) {
    size_t stop = std::min(text.find('\n', start), end + 1);
    lines += (start == 0 ? "" : "\n    ") + EscapeControls(text.substr(start, stop - start));
    start = stop + 1;
  }
  return lines;
}

std::string UnescapeField(const std::string& field) {
  std::string text;
  for (size_t i = 0; i < field.size(); ++i) {
    char next = i + 1 < field.size() ? field[i + 1] : '\0';
    char byte = field[i] != '\\' ? 0 : next == '\\' ? '\\' : next == 't' ? '\t'
                                     : next == 'n' ? '\n' : next == 'r' ? '\r' : 0;
    text += byte != 0 ? byte : field[i];
    i += byte != 0 ? 1 : 0;
  }
  return text;
}
