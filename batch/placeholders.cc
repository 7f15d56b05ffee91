#include "batch/placeholders.h"

#include <algorithm>

namespace {

/// "line N: " for byte `at` of `text`.
std::string LineOf(std::string_view text, size_t at) {
  return "line " + std::to_string(1 + std::count(text.begin(), text.begin() + at, '\n')) + ": ";
}

}  // namespace

std::string ExpandPlaceholders(std::string_view text, const Lookup& lookup, std::string* out) {
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    bool doubled = (c == '{' || c == '}') && i + 1 < text.size() && text[i + 1] == c;
    if ((c != '{' && c != '}') || doubled) {
      *out += c;
      i += doubled ? 1 : 0;
      continue;
    }
    if (c == '}') return LineOf(text, i) + "a lone '}' (write '}}' for a brace)";
    size_t end = text.find_first_of("{}\n", i + 1);
    if (end == std::string_view::npos || text[end] != '}')
      return LineOf(text, i) + "a '{' is not closed (write '{{' for a brace)";
    std::string name(text.substr(i + 1, end - i - 1));
    std::optional<std::string> value = lookup(name);
    if (!value) return LineOf(text, i) + "no column names {" + name + "}";
    *out += *value;
    i = end;
  }
  return "";
}

bool TakesPlaceholders(const std::string& name) {
  for (const char* extension : {".kcf", ".acf", ".kss", ".kmd"})
    if (name.size() > 4 && name.compare(name.size() - 4, 4, extension) == 0) return true;
  return false;
}
