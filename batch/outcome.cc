#include "batch/outcome.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "console/messages.h"
#include "launcher/return_values.h"

namespace {

/// The launcher's own messages that may come just before its report line.
constexpr const wchar_t* kLauncherMessages[] = {
    kNoCommandFile, kNoModelName, kCannotCreateStream, kCannotWriteStream, kStreamInUse, kUsage,
};

/// Whether `line` is one of the launcher's messages: it starts as one of
/// their texts does, up to the first argument.
bool IsLauncherMessage(const std::string& line) {
  for (const wchar_t* format : kLauncherMessages) {
    size_t i = 0;
    for (; format[i] != L'\0' && format[i] != L'%' && format[i] != L'\n'; ++i)
      if (i >= line.size() || static_cast<wchar_t>(line[i]) != format[i]) break;
    if (format[i] == L'\0' || format[i] == L'%' || format[i] == L'\n') return true;
  }
  return false;
}

/// The line before `end` in `text` that is not empty, or npos; `*start`
/// gets where it starts.
std::string PreviousLine(const std::string& text, size_t* end) {
  while (*end > 0 && text[*end - 1] == '\n') --*end;
  if (*end == 0) return std::string();
  size_t start = text.rfind('\n', *end - 1);
  start = start == std::string::npos ? 0 : start + 1;
  std::string line = text.substr(start, *end - start);
  *end = start;
  return line;
}

/// The value of report line `line`, if it is one.
std::optional<int> ReportValue(const std::string& line) {
  size_t prefix = std::strlen(kReportPrefix);
  if (line.compare(0, prefix, kReportPrefix) != 0) return std::nullopt;
  const char* number = line.c_str() + prefix;
  char* end = nullptr;
  long value = std::strtol(number, &end, 10);
  if (end == number || std::strcmp(end, " ") != 0 || value < INT32_MIN || value > INT32_MAX)
    return std::nullopt;
  return static_cast<int>(value);
}

/// What the launcher's own return value `value` means.
std::string ValueMeaning(int value) {
  for (const ReturnValueMeaning& known : kReturnValueMeanings)
    if (known.value == value) return known.meaning;
  return kLibraryValueMeaning;
}

std::string SignalName(int signal) {
  const char* name = sigabbrev_np(signal);
  return name != nullptr ? std::string("SIG") + name : "signal " + std::to_string(signal);
}

/// What an exit without a report line means.
std::string NoReportMeaning(int status) {
  std::string meaning = "no report line, exit status " + std::to_string(status);
  // The launcher ends without a report line only when it can't start.
  if (status == 127) return meaning + ": the launcher or its library can't be loaded";
  if (status == ExitStatusOf(kNoSolverLibrary)) return meaning + ": solver library lacks an entry";
  return meaning;
}

}  // namespace

LogEnding ReadLogEnding(const std::string& tail) {
  LogEnding ending;
  size_t end = tail.size();
  ending.return_value = ReportValue(PreviousLine(tail, &end));
  if (!ending.return_value) return ending;
  std::string before = PreviousLine(tail, &end);
  if (IsLauncherMessage(before)) ending.message = before.substr(1);
  return ending;
}

std::string ReadTail(int fd) {
  constexpr off_t kTail = 4096;
  struct stat info;
  if (fstat(fd, &info) != 0) return std::string();
  off_t from = info.st_size > kTail ? info.st_size - kTail : 0;
  std::string tail(static_cast<size_t>(info.st_size - from), '\0');
  ssize_t n = pread(fd, tail.data(), tail.size(), from);
  tail.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return tail;
}

void JudgeRun(int wait_status, Sender sender, const LogEnding& ending, Result* result) {
  result->return_value.reset();
  result->signal.reset();
  result->exit_status.reset();
  if (WIFSIGNALED(wait_status)) {
    int signal = WTERMSIG(wait_status);
    result->signal = signal;
    // The state says it timed out; the meaning says how it ended.
    if (sender == Sender::kTimeout) {
      result->state = State::kTimedOut;
      result->meaning = "ended by " + SignalName(signal);
    } else {
      result->state = State::kKilled;
      result->meaning = (sender == Sender::kBatch ? "stopped with the batch, ended by "
                                                  : "ended by ") + SignalName(signal);
    }
    return;
  }
  int status = WEXITSTATUS(wait_status);
  result->exit_status = status;
  result->return_value = ending.return_value;
  result->state = State::kFailed;
  if (!ending.return_value) {
    result->meaning = NoReportMeaning(status);
  } else if (ExitStatusOf(*ending.return_value) != status) {
    result->meaning = "report line says " + std::to_string(*ending.return_value) +
                      ", exit status " + std::to_string(status);
  } else if (*ending.return_value == 0) {
    result->state = State::kFinished;
    result->meaning = ValueMeaning(0);
  } else {
    result->meaning = ending.message.empty() ? ValueMeaning(*ending.return_value)
                                             : ending.message;
  }
  if (sender == Sender::kTimeout && result->state != State::kFinished)
    result->state = State::kTimedOut;
}
