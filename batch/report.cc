#include "batch/report.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

constexpr size_t kColumns = 5;
using Row = std::array<std::string, kColumns>;

/// A job's row as the table shows it.
Row TableRow(const Job& job, const Outcome& outcome) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.2f", outcome.seconds);
  return {job.directory, job.file, ReturnValueText(outcome), Meaning(outcome), seconds};
}

}  // namespace

void PrintTable(const std::vector<Job>& jobs, const std::vector<std::optional<Outcome>>& outcomes) {
  std::vector<Row> rows = {{"directory", "job", "return value", "meaning", "seconds"}};
  for (size_t i = 0; i < jobs.size(); ++i)
    if (outcomes[i]) rows.push_back(TableRow(jobs[i], *outcomes[i]));
  std::array<size_t, kColumns> width{};
  for (const Row& row : rows)
    for (size_t c = 0; c < kColumns; ++c) width[c] = std::max(width[c], row[c].size());
  for (const Row& row : rows) {
    for (size_t c = 0; c + 1 < kColumns; ++c)
      std::printf("%-*s  ", static_cast<int>(width[c]), row[c].c_str());
    std::printf("%*s\n", static_cast<int>(width[kColumns - 1]), row[kColumns - 1].c_str());
  }
  std::fflush(stdout);
}

bool WriteSummary(const std::string& path, const std::vector<Job>& jobs,
                  const std::vector<std::optional<Outcome>>& outcomes) {
  FILE* out = std::fopen(path.c_str(), "w");
  if (out == nullptr) return false;
  std::fputs("directory\tjob\treturn_value\tmeaning\tseconds\tlog\n", out);
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (!outcomes[i]) continue;
    const Outcome& outcome = *outcomes[i];
    std::string value = outcome.return_value ? std::to_string(*outcome.return_value) : "";
    std::fprintf(out, "%s\t%s\t%s\t%s\t%.3f\t%s\n", jobs[i].directory.c_str(),
                 jobs[i].file.c_str(), value.c_str(), Meaning(outcome).c_str(),
                 outcome.seconds, jobs[i].log.c_str());
  }
  return std::fclose(out) == 0;
}
