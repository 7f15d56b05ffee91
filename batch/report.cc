#include "batch/report.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <map>
#include <nlohmann/json.hpp>

#include "batch/escape.h"
#include "batch/job_figures.h"
#include "batch/log_tail.h"
#include "batch/replace_file.h"
#include "batch/summary_target.h"
#include "batch/utf8.h"

namespace {

using Cells = std::vector<std::string>;

std::string ValueText(const Row& r) {
  return r.return_value ? std::to_string(*r.return_value) : "";
}

/// A figure of cost as the summary has it: exact, or empty when unknown.
template <typename T>
std::string FigureText(const std::optional<T>& value) {
  if (!value) return "";
  if constexpr (std::is_integral_v<T>) return std::to_string(*value);
  return Fixed(*value, 6);
}

template <typename T>
nlohmann::ordered_json FigureJson(const std::optional<T>& value) {
  return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
}

/// `row` with `parameters`, each made by `shown`, put after its first two
/// fields, the directory and the job.
template <typename Shown>
Cells WithParameters(Cells row, const std::vector<std::string>& parameters, Shown shown) {
  Cells made(row.begin(), row.begin() + 2);
  for (const std::string& value : parameters) made.push_back(shown(value));
  made.insert(made.end(), row.begin() + 2, row.end());
  return made;
}

/// Job `i`'s row as the table shows it.
Cells TableRow(const Study& study, size_t i) {
  const Job& job = study.jobs[i];
  const Row& r = study.rows[i];
  return WithParameters(
      {EscapeControls(job.directory), EscapeControls(job.file), StateName(r.state), ValueText(r),
       EscapeControls(r.meaning), std::to_string(r.attempts),
       r.started ? Fixed(r.seconds, 2) : "", MemoryText(r.max_rss_kib), CpuText(r)},
      study.ParametersOf(i), EscapeControls);
}

/// A job's row of the JSON Lines summary, without a line end. Names keep
/// their bytes (PutName); a meaning that is no UTF-8 shows U+FFFD; the
/// parameters are an object under "parameters", when the study has them.
std::string JsonRow(const Study& study, size_t i) {
  const Job& job = study.jobs[i];
  const Row& r = study.rows[i];
  nlohmann::ordered_json row = nlohmann::ordered_json::object();
  PutName(&row, "directory", job.directory);
  PutName(&row, "job", job.file);
  if (!study.parameter_columns.empty()) {
    nlohmann::ordered_json parameters = nlohmann::ordered_json::object();
    for (size_t c = 0; c < study.parameter_columns.size(); ++c)
      parameters[study.parameter_columns[c]] = study.ParametersOf(i)[c];
    row["parameters"] = parameters;
  }
  row["state"] = StateName(r.state);
  row["return_value"] = r.return_value ? nlohmann::ordered_json(*r.return_value) : nullptr;
  row["meaning"] = r.meaning;
  row["attempts"] = r.attempts;
  row["seconds"] = r.seconds;
  row["started"] = r.StartedText();
  PutName(&row, "host", r.host);
  PutName(&row, "log", LogPath(job));
  row["max_rss_kib"] = FigureJson(r.max_rss_kib);
  row["user_seconds"] = FigureJson(r.user_seconds);
  row["system_seconds"] = FigureJson(r.system_seconds);
  return row.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

/// `fields` as one line of tab-separated values.
std::string TsvLine(const Cells& fields) {
  std::string line;
  for (const std::string& field : fields) line += (line.empty() ? "" : "\t") + field;
  return line + "\n";
}

/// The summary's lines for the jobs that have ended.
std::string SummaryText(const std::string& path, const Study& study) {
  bool json = path.size() >= 6 && path.compare(path.size() - 6, 6, ".jsonl") == 0;
  std::string text =
      json ? ""
           : TsvLine(WithParameters({"directory", "job", "state", "return_value", "meaning",
                                     "attempts", "seconds", "started", "host", "log",
                                     "max_rss_kib", "user_seconds", "system_seconds"},
                                    study.parameter_columns, EscapeField));
  for (size_t i = 0; i < study.jobs.size(); ++i) {
    if (!study.ended[i]) continue;
    const Job& job = study.jobs[i];
    const Row& r = study.rows[i];
    text += json ? JsonRow(study, i) + "\n"
                 : TsvLine(WithParameters(
                       {EscapeField(job.directory), EscapeField(job.file), StateName(r.state),
                        ValueText(r), EscapeField(r.meaning), std::to_string(r.attempts),
                        Fixed(r.seconds, 3), EscapeField(r.StartedText()), EscapeField(r.host),
                        EscapeField(LogPath(job)), FigureText(r.max_rss_kib), FigureText(r.user_seconds),
                        FigureText(r.system_seconds)},
                       study.ParametersOf(i), EscapeField));
  }
  return text;
}

/// Whether `line` says something: not empty, not a banner's rule, not the
/// report line, whose value the table has.
bool HoldsText(const std::string& line) {
  if (line.rfind(" Return Value of KV Solver = ", 0) == 0) return false;
  return line.find_first_not_of(" _\r") != std::string::npos;
}

/// `text` cut to `width` columns, at a character's start, marked when cut.
std::string CutTo(std::string text, size_t width) {
  if (Columns(text) <= width) return text;
  size_t room = width > 3 ? width - 3 : 0, end = 0;
  for (size_t columns = 0; end < text.size();) {
    Utf8Char c = DecodeUtf8At(text, end);
    columns += Columns(c);
    if (columns > room) break;
    end += c.length == 0 ? 1 : c.length;
  }
  return text.substr(0, end) + "...";
}

/// The last two lines of the log `path` that hold text, escaped and cut to
/// `width`; none when it can't be read as a file of its own.
std::vector<std::string> LogDigest(const std::string& path, size_t width) {
  std::string tail = ReadLogTail(path, 64, 4096).text;
  std::vector<std::string> lines;
  for (size_t end = tail.size(); end > 0 && lines.size() < 2;) {
    // The line ending at `end`, its own line end at end - 1.
    size_t start = end < 2 ? std::string::npos : tail.rfind('\n', end - 2);
    start = start == std::string::npos ? 0 : start + 1;
    std::string line = tail.substr(start, end - start - 1);
    if (HoldsText(line))
      lines.insert(lines.begin(),
                   CutTo("    " + EscapeControls(line.substr(line.find_first_not_of(' '))), width));
    end = start;
  }
  return lines;
}

/// The width the digest's lines are cut to: the terminal's, or 120.
size_t DigestWidth(FILE* out) {
  winsize size = {};
  if (isatty(fileno(out)) && ioctl(fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 20)
    return size.ws_col;
  return 120;
}

/// How many jobs ended in each state: "6 jobs: 4 finished, 2 failed".
std::string CountLine(const Study& study) {
  std::map<State, size_t> count;
  for (const Row& r : study.rows) ++count[r.state];
  std::string line = std::to_string(study.jobs.size()) + (study.jobs.size() == 1 ? " job" : " jobs");
  const char* separator = ": ";
  for (const auto& [state, n] : count) {
    line += separator + std::to_string(n) + " " + StateName(state);
    separator = ", ";
  }
  return line;
}

/// One line for each kind of unsuccessful job that never started (its
/// state and meaning): the job itself when it is alone, else how many
/// and the directories of the first few.
void PrintNeverStarted(const Study& study, FILE* out) {
  constexpr size_t kNamed = 3;
  std::vector<std::pair<std::string, std::vector<size_t>>> kinds;
  for (size_t i = 0; i < study.jobs.size(); ++i) {
    const Row& r = study.rows[i];
    if (Succeeded(r.state) || r.started) continue;
    std::string kind = std::string(StateName(r.state)) + ": " + EscapeControls(r.meaning);
    auto at = std::find_if(kinds.begin(), kinds.end(),
                           [&](const auto& known) { return known.first == kind; });
    if (at == kinds.end()) at = kinds.insert(kinds.end(), {kind, {}});
    at->second.push_back(i);
  }
  for (const auto& [kind, jobs] : kinds) {
    if (jobs.size() == 1) {
      std::fprintf(out, "%s: %s\n", EscapeControls(study.jobs[jobs[0]].path).c_str(),
                   kind.c_str());
      continue;
    }
    std::string named;
    for (size_t k = 0; k < std::min(jobs.size(), kNamed); ++k)
      named += (k == 0 ? "" : ", ") + EscapeControls(study.jobs[jobs[k]].directory);
    if (jobs.size() > kNamed) named += ", ...";
    std::fprintf(out, "%zu jobs: %s (%s)\n", jobs.size(), kind.c_str(), named.c_str());
  }
}

}  // namespace

bool PrintTable(const Study& study, FILE* out) {
  // Each row is made twice, for the columns' widths and then to print it,
  // so that a study of many jobs never holds its whole table.
  Cells head = WithParameters({"directory", "job", "state", "return value", "meaning", "attempts",
                               "seconds", "peak memory", "cpu seconds"},
                              study.parameter_columns, EscapeControls);
  size_t columns = head.size();
  size_t p = study.parameter_columns.size();
  std::vector<size_t> width(columns, 0);
  auto widen = [&](const Cells& row) {
    for (size_t c = 0; c < columns; ++c) width[c] = std::max(width[c], Columns(row[c]));
  };
  auto print = [&](const Cells& row) {
    std::string line;
    for (size_t c = 0; c < columns; ++c) {
      bool right = c == 3 + p || c >= 5 + p;
      std::string pad(width[c] - Columns(row[c]), ' ');
      line += right ? pad + row[c] : row[c] + (c + 1 < columns ? pad : "");
      if (c + 1 < columns) line += "  ";
    }
    std::fprintf(out, "%s\n", line.c_str());
  };
  widen(head);
  for (size_t i = 0; i < study.jobs.size(); ++i) widen(TableRow(study, i));
  print(head);
  for (size_t i = 0; i < study.jobs.size(); ++i) print(TableRow(study, i));
  for (size_t i = 0; i < study.jobs.size(); ++i) {
    const Row& r = study.rows[i];
    if (Succeeded(r.state) || !r.started) continue;
    std::string log = LogPath(study.jobs[i]);
    std::fprintf(out, "%s: %s: %s\n", EscapeControls(log).c_str(), StateName(r.state),
                 EscapeControls(r.meaning).c_str());
    // An outdated job's log is that of a run that finished.
    if (r.state == State::kOutdated) continue;
    for (const std::string& line : LogDigest(log, DigestWidth(out)))
      std::fprintf(out, "%s\n", line.c_str());
  }
  PrintNeverStarted(study, out);
  std::fprintf(out, "%s\n", CountLine(study).c_str());
  return std::fflush(out) == 0 && std::ferror(out) == 0;
}

std::string WriteSummary(const std::string& path, const Study& study) {
  std::string refused = SummaryTargetProblem(path, {});
  if (!refused.empty()) return refused;
  return ReplaceFile(path, SummaryText(path, study), ".kvsolver-batch-summary-");
}
