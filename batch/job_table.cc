#include "batch/job_table.h"

#include <cstdlib>

#include "batch/html_text.h"
#include "batch/job_figures.h"

namespace {

/// Whether every job's value of parameter `c` is a number, so that its
/// column sorts by value.
bool NumericParameter(const Study& study, size_t c) {
  for (const std::vector<std::string>& values : study.parameters) {
    char* end = nullptr;
    if (c >= values.size() || values[c].empty()) continue;
    std::strtod(values[c].c_str(), &end);
    if (*end != '\0') return false;
  }
  return true;
}

/// Job `i`'s row; one past the first page is hidden.
std::string TableRow(const Study& study, size_t i) {
  const Job& job = study.jobs[i];
  const Row& r = study.rows[i];
  std::string state = ShownState(study, i);
  bool ran = r.started.has_value();
  std::string html = "<tr class=\"" + StateClass(state) + (i < kPageRows ? "\">" : "\" hidden>");
  for (const std::string& cell : {HtmlName(job.directory), HtmlName(job.file)})
    html += "<td>" + cell + "</td>";
  for (const std::string& value : study.ParametersOf(i)) html += "<td>" + HtmlName(value) + "</td>";
  for (const std::string& cell :
       {state,
        r.return_value ? std::to_string(*r.return_value) : "", HtmlName(r.meaning),
        std::to_string(r.attempts), ran ? Fixed(r.seconds, 2) : ""})
    html += "<td>" + cell + "</td>";
  html += r.max_rss_kib ? "<td data-v=\"" + std::to_string(*r.max_rss_kib) + "\">" +
                              MemoryText(r.max_rss_kib) + "</td>"
                        : "<td></td>";
  for (const std::string& cell :
       {CpuText(r), ran ? ShownInstant(r.StartedText()).substr(0, 19) : "",
        HtmlName(r.host) + (r.task.empty() ? "" : " " + HtmlName(r.task))})
    html += "<td>" + cell + "</td>";
  return html + "</tr>\n";
}

/// The choice of state, the count of rows shown and the pager.
std::string Controls(const Study& study, const std::map<std::string, size_t>& count) {
  std::string html =
      "<div class=\"filter\"><label>show <select id=\"state-filter\"><option value=\"\">"
      "every state</option>";
  for (const char* state : kShownStates)
    if (count.count(state) != 0)
      html += "<option value=\"" + StateClass(state) + "\">" + state + "</option>";
  size_t jobs = study.jobs.size();
  std::string shown = jobs <= kPageRows ? std::to_string(jobs) + " jobs"
                                        : "rows 1 to " + std::to_string(kPageRows) + " of " +
                                              std::to_string(jobs) + " jobs";
  return html + "</select></label><span id=\"shown\">" + shown +
         "</span><span id=\"pager\"" + (jobs <= kPageRows ? " hidden" : "") +
         "><button id=\"previous\">previous " + std::to_string(kPageRows) +
         "</button> <button id=\"next\">next " + std::to_string(kPageRows) +
         "</button></span><span class=\"note\">click a column's head to sort by it</span></div>";
}

}  // namespace

std::string JobTable(const Study& study, const std::map<std::string, size_t>& count) {
  std::string html =
      "<section id=\"all\"><h2>All jobs</h2>" + Controls(study, count) +
      "<table id=\"jobs\" data-page=\"" + std::to_string(kPageRows) +
      "\"><thead><tr><th>directory</th><th>job</th>";
  for (size_t c = 0; c < study.parameter_columns.size(); ++c)
    html += std::string(NumericParameter(study, c) ? "<th class=\"n\">" : "<th>") +
            HtmlName(study.parameter_columns[c]) + "</th>";
  html += "<th>state</th><th class=\"n\">return value"
      "</th><th>meaning</th><th class=\"n\">attempts</th><th class=\"n\">seconds</th>"
      "<th class=\"n\">peak memory</th><th class=\"n\">CPU s</th><th>started (UTC)</th>"
      "<th>host</th></tr></thead><tbody>\n";
  for (size_t i = 0; i < study.jobs.size(); ++i) html += TableRow(study, i);
  return html + "</tbody></table></section>\n";
}
