#include "batch/result.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <utility>
#include <nlohmann/json.hpp>

#include "batch/escape.h"

using Json = nlohmann::json;

namespace {

constexpr char kFormatName[] = "kvsolver-batch-result";

constexpr struct {
  State state;
  const char* name;
} kStateNames[] = {
    {State::kFinished, "finished"}, {State::kFailed, "failed"},   {State::kKilled, "killed"},
    {State::kTimedOut, "timed out"}, {State::kLost, "lost"},      {State::kNotRun, "not run"},
    {State::kReused, "reused"},     {State::kRunning, "running"},
    {State::kOutdated, "outdated"},
};

std::optional<State> StateNamed(const std::string& name) {
  for (const auto& known : kStateNames)
    if (name == known.name) return known.state;
  return std::nullopt;
}

template <typename T>
Json Optional(const std::optional<T>& value) {
  return value ? Json(*value) : Json(nullptr);
}

/// Reads key `key` of `object` into `*out` when it holds a `T`. Returns
/// false when it is missing or of another type.
template <typename T>
bool Take(const Json& object, const char* key, T* out) {
  auto at = object.find(key);
  if (at == object.end()) return false;
  if constexpr (std::is_same_v<T, std::string>) {
    if (!at->is_string()) return false;
  } else if constexpr (std::is_same_v<T, double>) {
    if (!at->is_number()) return false;
  } else {
    if (!at->is_number_integer()) return false;
  }
  *out = at->get<T>();
  return true;
}

/// The same for an integer or null. An integer beyond 32 bits is no value
/// of a run's: 2^32 must never read as 0.
bool TakeOptional(const Json& object, const char* key, std::optional<int>* out) {
  auto at = object.find(key);
  if (at == object.end()) return false;
  if (at->is_null()) return true;
  if (!at->is_number_integer()) return false;
  if (at->is_number_unsigned() ? at->get<uint64_t>() > INT32_MAX
                               : at->get<int64_t>() < INT32_MIN || at->get<int64_t>() > INT32_MAX)
    return false;
  *out = at->get<int>();
  return true;
}

/// The same for a name that PutName wrote.
bool TakeNameInto(const Json& object, const char* key, std::string* out) {
  std::optional<std::string> name = TakeName(object, key);
  if (name) *out = *name;
  return name.has_value();
}

/// The same for a figure of cost: a number that is not negative, or null.
template <typename T>
bool TakeFigure(const Json& object, const char* key, std::optional<T>* out) {
  auto at = object.find(key);
  if (at == object.end()) return false;
  if (at->is_null()) return true;
  if (!(std::is_integral_v<T> ? at->is_number_integer() : at->is_number()) ||
      at->get<double>() < 0)
    return false;
  *out = at->get<T>();
  return true;
}

/// Whether `text` is an instant as results write it, "2026-01-31T23:59:59Z",
/// or empty (never run).
bool IsInstant(const std::string& text) {
  if (text.empty()) return true;
  std::tm parts = {};
  const char* end = strptime(text.c_str(), "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text.size() == 20 && end == text.c_str() + text.size();
}

/// Whether the record's parts agree with its state: a record that claims
/// success must show it everywhere.
bool Consistent(const Result& r) {
  switch (r.state) {
    case State::kFinished:
      return r.return_value == 0 && r.exit_status == 0 && !r.signal && r.attempts >= 1;
    case State::kFailed:
      return !r.signal && r.exit_status && r.attempts >= 1;
    case State::kKilled:
      return r.signal && !r.return_value && r.attempts >= 1;
    case State::kTimedOut:
      return (r.signal || r.exit_status) && r.attempts >= 1;
    case State::kLost:
    case State::kNotRun:
    case State::kReused:
    case State::kOutdated:
      return true;
    case State::kRunning:
      return !r.return_value && !r.signal && !r.exit_status && r.attempts >= 1;
  }
  return false;
}

/// `attempt` as the record keeps it.
Json AttemptToJson(const Attempt& attempt) {
  Json object = {
      {"state", StateName(attempt.state)},   {"meaning", attempt.meaning},
      {"return_value", Optional(attempt.return_value)},
      {"exit_status", Optional(attempt.exit_status)},
      {"signal", Optional(attempt.signal)}, {"started", attempt.started},
      {"seconds", attempt.seconds},
  };
  PutName(&object, "log", attempt.log);
  return object;
}

/// Reads the earlier attempts at `object`'s "earlier" into `*out`.
/// Returns false when one is not as AttemptToJson wrote it.
bool TakeAttempts(const Json& object, std::vector<Attempt>* out) {
  auto at = object.find("earlier");
  if (at == object.end() || !at->is_array()) return false;
  for (const Json& item : *at) {
    Attempt attempt;
    std::string state;
    std::optional<State> known;
    if (!item.is_object() || !Take(item, "state", &state) || !(known = StateNamed(state)) ||
        !Take(item, "meaning", &attempt.meaning) ||
        !TakeOptional(item, "return_value", &attempt.return_value) ||
        !TakeOptional(item, "exit_status", &attempt.exit_status) ||
        !TakeOptional(item, "signal", &attempt.signal) ||
        !Take(item, "started", &attempt.started) || !IsInstant(attempt.started) ||
        !Take(item, "seconds", &attempt.seconds) || !TakeNameInto(item, "log", &attempt.log))
      return false;
    attempt.state = *known;
    out->push_back(std::move(attempt));
  }
  return true;
}

}  // namespace

const char* StateName(State state) {
  for (const auto& known : kStateNames)
    if (known.state == state) return known.name;
  return "?";
}

bool Succeeded(State state) {
  return state == State::kFinished || state == State::kReused;
}

Result Unrun(State state, std::string meaning, std::string log) {
  Result result;
  result.state = state;
  result.meaning = std::move(meaning);
  result.log = std::move(log);
  return result;
}

std::string ResultToJson(const Result& r) {
  Json object = {
      {"format", kFormatName},
      {"version", kResultVersion},
      {"batch", r.batch},
      {"state", StateName(r.state)},
      {"return_value", Optional(r.return_value)},
      {"exit_status", Optional(r.exit_status)},
      {"signal", Optional(r.signal)},
      {"meaning", r.meaning},
      {"attempts", r.attempts},
      {"seconds", r.seconds},
      {"started", r.started},

      {"job_hash", r.job_hash},
      {"model_hash", r.model_hash},
      {"task", r.task},

      {"max_rss_kib", Optional(r.max_rss_kib)},
      {"user_seconds", Optional(r.user_seconds)},
      {"system_seconds", Optional(r.system_seconds)},
  };
  // Names are bytes, kept whole; a meaning that is no UTF-8 shows U+FFFD.
  PutName(&object, "host", r.host);
  PutName(&object, "log", r.log);
  PutName(&object, "output", r.output);
  object["earlier"] = Json::array();
  for (const Attempt& attempt : r.earlier) object["earlier"].push_back(AttemptToJson(attempt));
  return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::optional<Result> ResultFromJson(const std::string& text) {
  Json object = Json::parse(text, nullptr, false);
  if (object.is_discarded() || !object.is_object()) return std::nullopt;
  std::string format, state;
  int version = 0;
  Result r;
  if (!Take(object, "format", &format) || format != kFormatName ||
      !Take(object, "version", &version) || version < 1 || version > kResultVersion ||
      !Take(object, "state", &state) || !Take(object, "batch", &r.batch) ||
      !TakeOptional(object, "return_value", &r.return_value) ||
      !TakeOptional(object, "exit_status", &r.exit_status) ||
      !TakeOptional(object, "signal", &r.signal) || !Take(object, "meaning", &r.meaning) ||
      !Take(object, "attempts", &r.attempts) || !Take(object, "seconds", &r.seconds) ||
      !Take(object, "started", &r.started) || !Take(object, "job_hash", &r.job_hash) ||
      !Take(object, "model_hash", &r.model_hash) || !Take(object, "task", &r.task) ||
      !TakeNameInto(object, "host", &r.host) || !TakeNameInto(object, "log", &r.log) ||
      !TakeNameInto(object, "output", &r.output))
    return std::nullopt;
  if (version >= 2 && (!TakeFigure(object, "max_rss_kib", &r.max_rss_kib) ||
                       !TakeFigure(object, "user_seconds", &r.user_seconds) ||
                       !TakeFigure(object, "system_seconds", &r.system_seconds)))
    return std::nullopt;
  if (version >= 3 && !TakeAttempts(object, &r.earlier)) return std::nullopt;
  std::optional<State> known = StateNamed(state);
  if (!known) return std::nullopt;
  r.state = *known;
  if (!Consistent(r) || !IsInstant(r.started) || r.attempts < 0) return std::nullopt;
  return r;
}

int CreateFileAnew(int dirfd, const std::string& name, int flags) {
  if (unlinkat(dirfd, name.c_str(), 0) != 0 && errno != ENOENT) return -1;
  return openat(dirfd, name.c_str(), flags | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                0666);
}

namespace {

/// Whether `info` is of a regular file of one link that the caller owns.
bool OwnFile(const struct stat& info) {
  return S_ISREG(info.st_mode) && info.st_nlink == 1 && info.st_uid == geteuid();
}

}  // namespace

int OpenOwnFileEmptied(int dirfd, const std::string& name, int flags) {
  struct stat before, opened;
  if (fstatat(dirfd, name.c_str(), &before, AT_SYMLINK_NOFOLLOW) != 0 || !OwnFile(before))
    return CreateFileAnew(dirfd, name, flags);
  int fd = openat(dirfd, name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  // What was opened must be what was looked at, and still one of a kind.
  if (fd >= 0 && fstat(fd, &opened) == 0 && opened.st_dev == before.st_dev &&
      opened.st_ino == before.st_ino && OwnFile(opened) && ftruncate(fd, 0) == 0)
    return fd;
  if (fd >= 0) close(fd);
  return CreateFileAnew(dirfd, name, flags);
}

namespace {

/// Puts `part` in place of `name`: exchanged with an earlier record, which
/// `part` then names, or renamed over anything else (which fails for a
/// directory, as it should).
int PutInPlace(int dirfd, const std::string& part, const std::string& name) {
  struct stat info;
  if (fstatat(dirfd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
      renameat2(dirfd, part.c_str(), dirfd, name.c_str(), RENAME_EXCHANGE) == 0)
    return 0;
  return renameat(dirfd, part.c_str(), dirfd, name.c_str());
}

}  // namespace

std::string ReplaceResult(int dirfd, const std::string& name, const std::string& shown,
                          const Result& result, Part keep) {
  std::string part = name + ".part";
  int fd = OpenOwnFileEmptied(dirfd, part, O_WRONLY);
  if (fd < 0) return "cannot write " + shown + ".part: " + std::strerror(errno);
  std::string text = ResultToJson(result) + "\n";
  std::string why;
  errno = 0;
  if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
    why = "cannot write " + shown + ".part: " + std::strerror(errno ? errno : ENOSPC);
  if (close(fd) != 0 && why.empty()) why = "cannot write " + shown + ".part: " + std::strerror(errno);
  if (why.empty() && PutInPlace(dirfd, part, name) != 0)
    why = "cannot replace " + shown + ": " + std::strerror(errno);
  if (!why.empty() || keep == Part::kRemove) unlinkat(dirfd, part.c_str(), 0);
  return why;
}

std::optional<Result> ReadResult(int dirfd, const std::string& name) {
  int fd = openat(dirfd, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string text;
  char block[4096];
  ssize_t n;
  // A result is a line of a few hundred bytes; anything past 1 MiB is not one.
  while ((n = read(fd, block, sizeof block)) > 0 && text.size() < (1u << 20))
    text.append(block, static_cast<size_t>(n));
  close(fd);
  if (n < 0 || text.empty() || text.back() != '\n') return std::nullopt;
  text.pop_back();
  if (text.find('\n') != std::string::npos) return std::nullopt;
  std::optional<Result> result = ResultFromJson(text);
  if (result && (result->state == State::kReused || result->state == State::kOutdated))
    return std::nullopt;
  return result;
}
