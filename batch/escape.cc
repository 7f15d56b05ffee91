#include "batch/escape.h"

#include <cstdio>

namespace {

/// The two-character escape of `c`, or 0 when it has none.
char ShortEscape(char c) {
  switch (c) {
    case '\t': return 't';
    case '\n': return 'n';
    case '\r': return 'r';
    default: return 0;
  }
}

}  // namespace

std::string EscapeControls(const std::string& text) {
  std::string shown;
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      shown += c;
    } else if (ShortEscape(c) != 0) {
      shown += '\\';
      shown += ShortEscape(c);
    } else {
      char octal[8];
      std::snprintf(octal, sizeof octal, "\\%03o", byte);
      shown += octal;
    }
  }
  return shown;
}

std::string EscapeField(const std::string& text) {
  std::string field;
  for (char c : text) {
    if (c == '\\' || ShortEscape(c) != 0) {
      field += '\\';
      field += c == '\\' ? '\\' : ShortEscape(c);
    } else {
      field += c;
    }
  }
  return field;
}
