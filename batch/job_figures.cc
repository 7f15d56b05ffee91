#include "batch/job_figures.h"

#include <cstdio>

constexpr char kInstantFormat[] = "%Y-%m-%dT%H:%M:%SZ";

std::string ShownState(const Study& study, size_t i) {
  if (study.ended[i]) return StateName(study.rows[i].state);
  return study.started[i] ? "running" : "waiting";
}

std::string StateClass(const std::string& state) {
  std::string name = "s-" + state;
  for (char& c : name)
    if (c == ' ') c = '-';
  return name;
}

std::optional<std::time_t> InstantSeconds(const std::string& text) {
  std::tm parts = {};
  const char* end = strptime(text.c_str(), kInstantFormat, &parts);
  if (end == nullptr || *end != '\0') return std::nullopt;
  return timegm(&parts);
}

std::string InstantText(std::time_t seconds) {
  std::tm utc;
  gmtime_r(&seconds, &utc);
  char text[32];
  std::strftime(text, sizeof text, kInstantFormat, &utc);
  return text;
}

std::string ShownInstant(const std::string& instant) {
  if (instant.size() != 20) return instant;
  return instant.substr(0, 10) + " " + instant.substr(11, 8) + " UTC";
}

std::string Fixed(double value, int digits) {
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", digits, value);
  return text;
}

std::string DurationText(double seconds) {
  if (seconds < 10) return Fixed(seconds, 2) + " s";
  if (seconds < 60) return Fixed(seconds, 1) + " s";
  long whole = static_cast<long>(seconds + 0.5);
  char text[48];
  if (whole < 3600)
    std::snprintf(text, sizeof text, "%ld min %02ld s", whole / 60, whole % 60);
  else
    std::snprintf(text, sizeof text, "%ld h %02ld min", whole / 3600, whole / 60 % 60);
  return text;
}

std::string MemoryText(std::optional<long long> kib) {
  if (!kib) return "";
  if (*kib < 1024) return std::to_string(*kib) + " KiB";
  // A figure that would round up to 1024.0 MiB is shown in GiB.
  if (*kib < 1024 * 1024 - 51) return Fixed(static_cast<double>(*kib) / 1024, 1) + " MiB";
  return Fixed(static_cast<double>(*kib) / (1024 * 1024), 2) + " GiB";
}

std::string CpuText(const Row& result) {
  if (!result.user_seconds && !result.system_seconds) return "";
  return Fixed(result.user_seconds.value_or(0) + result.system_seconds.value_or(0), 2);
}
