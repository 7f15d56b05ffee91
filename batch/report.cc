#include "batch/report.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>

#include "batch/escape.h"

namespace {

constexpr size_t kColumns = 7;
using Row = std::array<std::string, kColumns>;

std::string Fixed(double value, int digits) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", digits, value);
  return text;
}

std::string ValueText(const Result& r) {
  return r.return_value ? std::to_string(*r.return_value) : "";
}

/// A job's row as the table shows it.
Row TableRow(const Job& job, const Result& r) {
  return {EscapeControls(job.directory), EscapeControls(job.file), StateName(r.state),
          ValueText(r), EscapeControls(r.meaning), std::to_string(r.attempts),
          r.started.empty() ? "" : Fixed(r.seconds, 2)};
}

/// A job's row of the JSON Lines summary, without a line end. Names keep
/// their bytes (PutName); a meaning that is no UTF-8 shows U+FFFD.
std::string JsonRow(const Job& job, const Result& r) {
  nlohmann::ordered_json row = nlohmann::ordered_json::object();
  PutName(&row, "directory", job.directory);
  PutName(&row, "job", job.file);
  row["state"] = StateName(r.state);
  row["return_value"] = r.return_value ? nlohmann::ordered_json(*r.return_value) : nullptr;
  row["meaning"] = r.meaning;
  row["attempts"] = r.attempts;
  row["seconds"] = r.seconds;
  row["started"] = r.started;
  PutName(&row, "host", r.host);
  PutName(&row, "log", r.log);
  return row.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

/// The summary's lines for the jobs that have ended.
std::string SummaryText(const std::string& path, const Study& study) {
  bool json = path.size() >= 6 && path.compare(path.size() - 6, 6, ".jsonl") == 0;
  std::string text = json ? "" : "directory\tjob\tstate\treturn_value\tmeaning\tattempts\t"
                                 "seconds\tstarted\thost\tlog\n";
  for (size_t i = 0; i < study.jobs.size(); ++i) {
    if (!study.ended[i]) continue;
    const Job& job = study.jobs[i];
    const Result& r = study.results[i];
    if (json) {
      text += JsonRow(job, r) + "\n";
      continue;
    }
    for (const std::string& field :
         {EscapeField(job.directory), EscapeField(job.file), std::string(StateName(r.state)),
          ValueText(r), EscapeField(r.meaning), std::to_string(r.attempts), Fixed(r.seconds, 3),
          r.started, EscapeField(r.host)})
      text += field + "\t";
    text += EscapeField(r.log) + "\n";
  }
  return text;
}

/// How many jobs ended in each state: "6 jobs: 4 finished, 2 failed".
std::string CountLine(const Study& study) {
  std::map<State, size_t> count;
  for (const Result& r : study.results) ++count[r.state];
  std::string line = std::to_string(study.jobs.size()) + (study.jobs.size() == 1 ? " job" : " jobs");
  const char* separator = ": ";
  for (const auto& [state, n] : count) {
    line += separator + std::to_string(n) + " " + StateName(state);
    separator = ", ";
  }
  return line;
}

}  // namespace

bool PrintTable(const Study& study, FILE* out) {
  std::vector<Row> rows = {
      {"directory", "job", "state", "return value", "meaning", "attempts", "seconds"}};
  for (size_t i = 0; i < study.jobs.size(); ++i)
    rows.push_back(TableRow(study.jobs[i], study.results[i]));
  std::array<size_t, kColumns> width{};
  for (const Row& row : rows)
    for (size_t c = 0; c < kColumns; ++c) width[c] = std::max(width[c], row[c].size());
  for (const Row& row : rows) {
    std::string line;
    for (size_t c = 0; c < kColumns; ++c) {
      bool right = c == 3 || c >= 5;
      std::string pad(width[c] - row[c].size(), ' ');
      line += right ? pad + row[c] : row[c] + (c + 1 < kColumns ? pad : "");
      if (c + 1 < kColumns) line += "  ";
    }
    std::fprintf(out, "%s\n", line.c_str());
  }
  for (size_t i = 0; i < study.jobs.size(); ++i) {
    const Result& r = study.results[i];
    if (Succeeded(r.state)) continue;
    std::string where = r.started.empty() ? study.jobs[i].path : r.log;
    std::fprintf(out, "%s: %s: %s\n", EscapeControls(where).c_str(), StateName(r.state),
                 EscapeControls(r.meaning).c_str());
  }
  std::fprintf(out, "%s\n", CountLine(study).c_str());
  return std::fflush(out) == 0 && std::ferror(out) == 0;
}

std::string WriteSummary(const std::string& path, const Study& study) {
  std::string text = SummaryText(path, study);
  size_t slash = path.rfind('/');
  std::string temporary = (slash == std::string::npos ? "" : path.substr(0, slash + 1)) +
                          ".kvsolver-batch-summary-XXXXXX";
  int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return "cannot write " + path + ": " + std::strerror(errno);
  size_t done = 0;
  ssize_t n = 0;
  while (done < text.size() && (n = write(fd, text.data() + done, text.size() - done)) > 0)
    done += static_cast<size_t>(n);
  std::string why;
  if (done < text.size()) why = std::strerror(n < 0 ? errno : ENOSPC);
  mode_t mask = umask(0);
  umask(mask);
  if (fchmod(fd, 0666 & ~mask) != 0 && why.empty()) why = std::strerror(errno);
  if (close(fd) != 0 && why.empty()) why = std::strerror(errno);
  if (why.empty() && rename(temporary.c_str(), path.c_str()) != 0) why = std::strerror(errno);
  if (why.empty()) return "";
  unlink(temporary.c_str());
  return "cannot write " + path + ": " + why;
}
