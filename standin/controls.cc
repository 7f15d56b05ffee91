#include "standin/controls.h"

#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <stdexcept>
#include <vector>

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

/// `text` as a number that is not negative, or 0.
double ParseAmount(const std::string& text) {
  char* end = nullptr;
  double n = std::strtod(text.c_str(), &end);
  return end != text.c_str() && *end == '\0' && n > 0 ? n : 0;
}

/// One rule of KVS_STANDIN_THROW: call `nth` of `operation` (every call
/// when 0) throws `value`.
struct ThrowRule {
  std::string operation;
  int nth;
  std::string value;
};

/// The controls, read from the environment once, at the first call.
struct Controls {
  std::string log_path;
  std::vector<ThrowRule> throw_rules;
  std::optional<int> convert_result;
  std::string stream_copy;
  bool quiet;
  std::string solve_wait;
  double solve_memory_mib;
  double solve_cpu_seconds;
};

std::vector<ThrowRule> ParseThrowRules(const std::string& rules) {
  std::vector<ThrowRule> parsed;
  size_t start = 0;
  while (start < rules.size()) {
    size_t end = rules.find(',', start);
    if (end == std::string::npos) end = rules.size();
    std::string rule = rules.substr(start, end - start);
    start = end + 1;
    size_t eq = rule.find('=');
    if (eq == std::string::npos) continue;
    std::string target = rule.substr(0, eq);
    size_t dot = target.find('.');
    int nth = 0;
    if (dot != std::string::npos && !ParseInt(target.substr(dot + 1), &nth))
      continue;
    parsed.push_back({target.substr(0, dot), nth, rule.substr(eq + 1)});
  }
  return parsed;
}

const Controls& GetControls() {
  static const Controls controls = [] {
    Controls c;
    c.log_path = Env("KVS_STANDIN_LOG");
    c.throw_rules = ParseThrowRules(Env("KVS_STANDIN_THROW"));
    int n;
    if (ParseInt(Env("KVS_STANDIN_CONVERT_RESULT"), &n)) c.convert_result = n;
    c.stream_copy = Env("KVS_STANDIN_STREAM_COPY");
    c.quiet = !Env("KVS_STANDIN_QUIET").empty();
    c.solve_wait = Env("KVS_STANDIN_SOLVE_WAIT");
    c.solve_memory_mib = ParseAmount(Env("KVS_STANDIN_SOLVE_MEMORY"));
    c.solve_cpu_seconds = ParseAmount(Env("KVS_STANDIN_SOLVE_CPU"));
    return c;
  }();
  return controls;
}

void AppendToLog(const char* operation, const std::string& details) {
  const std::string& path = GetControls().log_path;
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

bool LogEnabled() {
  return !GetControls().log_path.empty();
}

void EnterOperation(Operation operation, const std::string& details) {
  static const char* const kNames[] = {
      "SetOSCompatibility",  "CloseOSCompatibility", "SetTypeDLLcall",
      "GetWcStringFromUTF8", "k_convert",            "k_solver",
      "k_endsolver",
  };
  // Without a log or a rule there is nothing to record or count.
  const Controls& controls = GetControls();
  if (controls.log_path.empty() && controls.throw_rules.empty()) return;
  static int calls[std::size(kNames)];
  auto index = static_cast<size_t>(operation);
  const char* name = kNames[index];
  int count = ++calls[index];
  AppendToLog(name, details);
  for (const ThrowRule& rule : controls.throw_rules) {
    if (rule.operation != name || (rule.nth != 0 && rule.nth != count))
      continue;
    int n;
    if (ParseInt(rule.value, &n)) throw n;
    throw std::runtime_error("stand-in control: " + rule.value);
  }
}

std::optional<int> ControlledConvertResult() {
  return GetControls().convert_result;
}

std::string StreamCopyPath() {
  return GetControls().stream_copy;
}

bool Quiet() {
  return GetControls().quiet;
}

void WaitForSolveRelease() {
  const std::string& release = GetControls().solve_wait;
  if (release.empty()) return;
  for (int i = 0; i < 12000 && access(release.c_str(), F_OK) != 0; ++i) usleep(10000);
}

void UseSolveResources() {
  const Controls& controls = GetControls();
  size_t bytes = static_cast<size_t>(controls.solve_memory_mib * 1024 * 1024);
  std::vector<char> held;
  if (bytes > 0) {
    // Every page touched, so that it is resident, not only reserved.
    held.resize(bytes);
    long page = sysconf(_SC_PAGESIZE);
    for (size_t at = 0; at < bytes; at += static_cast<size_t>(page)) held[at] = 1;
  }
  if (controls.solve_cpu_seconds <= 0) return;
  timespec start, now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &start);
  volatile unsigned long spin = 0;
  do {
    for (int i = 0; i < 100000; ++i) spin = spin + 1;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  } while (static_cast<double>(now.tv_sec - start.tv_sec) +
               static_cast<double>(now.tv_nsec - start.tv_nsec) / 1e9 <
           controls.solve_cpu_seconds);
}
