#include "standin/controls.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string_view>

namespace {

/// The value of environment variable `name`, or empty.
std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

/// Whether `text` is a whole decimal int; stores it in `*value`.
bool ParseInt(const std::string& text, int* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long n = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || n < INT32_MIN || n > INT32_MAX)
    return false;
  *value = static_cast<int>(n);
  return true;
}

/// The value KVS_STANDIN_THROW gives for call `count` of `operation`, if any.
std::optional<std::string> ThrowRule(std::string_view operation, int count) {
  std::string rules = Env("KVS_STANDIN_THROW");
  size_t start = 0;
  while (start < rules.size()) {
    size_t end = rules.find(',', start);
    if (end == std::string::npos) end = rules.size();
    std::string rule = rules.substr(start, end - start);
    start = end + 1;
    size_t eq = rule.find('=');
    if (eq == std::string::npos) continue;
    std::string target = rule.substr(0, eq);
    std::string value = rule.substr(eq + 1);
    size_t dot = target.find('.');
    int nth = 0;
    if (dot != std::string::npos &&
        !ParseInt(target.substr(dot + 1), &nth))
      continue;
    if (target.substr(0, dot) == operation && (nth == 0 || nth == count))
      return value;
  }
  return std::nullopt;
}

void AppendToLog(const char* operation, const std::string& details) {
  std::string path = Env("KVS_STANDIN_LOG");
  if (path.empty()) return;
  FILE* log = std::fopen(path.c_str(), "a");
  if (log == nullptr) return;
  std::fputs(operation, log);
  if (!details.empty()) {
    std::fputc(' ', log);
    std::fputs(details.c_str(), log);
  }
  std::fputc('\n', log);
  std::fclose(log);
}

}  // namespace

void EnterOperation(const char* operation, const std::string& details) {
  static std::map<std::string, int> calls;
  int count = ++calls[operation];
  AppendToLog(operation, details);
  std::optional<std::string> value = ThrowRule(operation, count);
  if (!value) return;
  int n;
  if (ParseInt(*value, &n)) throw n;
  throw std::runtime_error("stand-in control: " + *value);
}

std::optional<int> ControlledConvertResult() {
  int n;
  if (ParseInt(Env("KVS_STANDIN_CONVERT_RESULT"), &n)) return n;
  return std::nullopt;
}

std::string StreamCopyPath() {
  return Env("KVS_STANDIN_STREAM_COPY");
}
