#include "batch/outcome.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "console/messages.h"
#include "launcher/return_values.h"

namespace {

/// The value of the last report line in the file at `path`, if any.
std::optional<int> LastReportValue(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::optional<int> value;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(kReportPrefix, 0) != 0) continue;
    const char* number = line.c_str() + std::strlen(kReportPrefix);
    char* end = nullptr;
    long n = std::strtol(number, &end, 10);
    if (end != number) value = static_cast<int>(n);
  }
  return value;
}

}  // namespace

void WriteResult(const Job& job, bool signaled, int code, double seconds) {
  std::string part = job.result + ".part";
  FILE* out = std::fopen(part.c_str(), "w");
  if (out == nullptr) return;
  std::fprintf(out, "%s %d %.3f\n", signaled ? "signal" : "exit", code, seconds);
  if (std::fclose(out) == 0) std::rename(part.c_str(), job.result.c_str());
}

bool HasResult(const Job& job) {
  return access(job.result.c_str(), F_OK) == 0;
}

std::optional<Outcome> ReadOutcome(const Job& job) {
  std::ifstream in(job.result);
  std::string how;
  Outcome outcome{};
  if (!(in >> how >> outcome.code >> outcome.seconds)) return std::nullopt;
  outcome.signaled = how == "signal";
  outcome.return_value = LastReportValue(job.log);
  return outcome;
}

bool Succeeded(const Outcome& outcome) {
  return outcome.return_value == 0;
}

std::string ReturnValueText(const Outcome& outcome) {
  if (outcome.return_value) return std::to_string(*outcome.return_value);
  const char* signal = outcome.signaled ? sigabbrev_np(outcome.code) : nullptr;
  if (signal != nullptr) return std::string("SIG") + signal;
  if (outcome.signaled) return "signal " + std::to_string(outcome.code);
  return "exit " + std::to_string(outcome.code);
}

std::string Meaning(const Outcome& outcome) {
  if (outcome.return_value) {
    for (const ReturnValueMeaning& known : kReturnValueMeanings)
      if (known.value == *outcome.return_value) return known.meaning;
    return kLibraryValueMeaning;
  }
  if (outcome.signaled) return "no report line: ended by a signal";
  // The launcher ends without a report line only when it can't start.
  if (outcome.code == 127) return "no report line: the launcher or its library can't be loaded";
  if (outcome.code == (kNoSolverLibrary & 0xFF))
    return "no report line: solver library lacks an entry";
  return "no report line";
}
