#include "batch/make_cases.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>

#include "batch/case_dir.h"
#include "batch/case_names.h"
#include "batch/case_template.h"
#include "batch/escape.h"
#include "batch/param_table.h"
#include "batch/replace_file.h"

namespace {

constexpr int kMade = 0;
constexpr int kRefused = 2;

/// One row's case: its directory's name and what it is to hold.
struct Case {
  std::string name;
  size_t line = 0;
  std::vector<std::string> parameters;  ///< the row but its case column
  CaseFiles files;
  CaseFinding found;
};

/// The index of the case column of `table`, or columns.size() for none.
size_t CaseColumn(const ParamTable& table) {
  return static_cast<size_t>(std::find(table.columns.begin(), table.columns.end(), kCaseColumn) -
                             table.columns.begin());
}

/// `values` without the one at `skip`.
std::vector<std::string> Without(std::vector<std::string> values, size_t skip) {
  if (skip < values.size()) values.erase(values.begin() + static_cast<long>(skip));
  return values;
}

/// Names each row's case into `*cases`. Returns why a name is refused.
std::string NameCases(const ParamTable& table, std::vector<Case>* cases) {
  size_t column = CaseColumn(table);
  std::vector<std::string> parameters = Without(table.columns, column);
  std::map<std::string, size_t> lines;
  std::vector<std::string> names;
  for (const ParamTable::Row& row : table.rows) {
    std::string where = table.path + ":" + std::to_string(row.line) + ": ";
    cases->push_back({"", row.line, Without(row.values, column), {}, {}});
    if (column == table.columns.size()) {
      names.push_back(ParameterName(parameters, cases->back().parameters));
      continue;
    }
    const std::string& name = row.values[column];
    std::string why = CaseNameProblem(name);
    if (!why.empty()) return where + ColumnName(table.columns, column) + ": " + why;
    if (!lines.emplace(name, row.line).second)
      return where + ColumnName(table.columns, column) + ": the case " + name +
             " is also on line " + std::to_string(lines[name]);
    names.push_back(name);
  }
  names = UniqueNames(std::move(names));
  for (size_t i = 0; i < cases->size(); ++i) (*cases)[i].name = names[i];
  return "";
}

/// Warns on `err` of each column no template file uses.
void WarnUnused(const ParamTable& table, const std::set<std::string>& used, FILE* err) {
  for (size_t c = 0; c < table.columns.size(); ++c)
    if (used.count(table.columns[c]) == 0 && table.columns[c] != kCaseColumn)
      std::fprintf(err, "kvsolver-batch: warning: %s: %s is used by no template file\n",
                   EscapeControls(table.path).c_str(),
                   EscapeControls(ColumnName(table.columns, c)).c_str());
}

/// Why case `c` may not be written, or empty.
std::string CaseRefusal(const std::string& path, const Case& c, bool force) {
  if (c.found.state == CaseState::kInTheWay)
    return path + ": not a directory of its own (a link or a file is in its way)";
  if (c.found.state != CaseState::kEdited || force) return "";
  if (c.found.record.empty())
    return path + ": not made by --make-cases (--force writes it)";
  std::string files;
  for (const std::string& name : c.found.differing) files += (files.empty() ? "" : ", ") + name;
  return path + ": edited by hand: " + files + " not as made (--force overwrites)";
}

/// The names of the cases that OUTDIR's earlier table lists and `cases` do not.
std::vector<std::string> RemovedCases(const std::string& out_dir, const std::vector<Case>& cases) {
  ParamTable earlier;
  std::vector<std::string> removed;
  if (!ReadParamTable(out_dir + "/" + kCasesTable, &earlier).empty()) return removed;
  std::set<std::string> names;
  for (const Case& c : cases) names.insert(c.name);
  for (const ParamTable::Row& row : earlier.rows)
    if (!row.values.empty() && names.count(row.values[0]) == 0) removed.push_back(row.values[0]);
  return removed;
}

/// The text of OUTDIR/cases.tsv.
std::string CasesTableText(const ParamTable& table, const std::vector<Case>& cases) {
  std::string text = kCaseColumn;
  for (const std::string& column : Without(table.columns, CaseColumn(table)))
    text += "\t" + EscapeField(column);
  text += "\n";
  for (const Case& c : cases) {
    text += EscapeField(c.name);
    for (const std::string& value : c.parameters) text += "\t" + EscapeField(value);
    text += "\n";
  }
  return text;
}

/// Reads the table and the template and names and fills every case.
std::string PlanCases(const CaseRequest& request, ParamTable* table,
                      std::vector<TemplateFile>* files, std::vector<Case>* cases, FILE* err) {
  std::string why = ReadParamTable(request.table, table);
  if (why.empty()) why = ReadTemplate(request.template_dir, files);
  std::set<std::string> used;
  if (why.empty()) why = CheckPlaceholders(request.template_dir, *files, table->columns, &used);
  if (why.empty()) why = NameCases(*table, cases);
  if (!why.empty()) return why;
  WarnUnused(*table, used, err);
  for (size_t i = 0; i < cases->size(); ++i) {
    Case& c = (*cases)[i];
    c.files = MakeCaseFiles(*files, table->columns, table->rows[i].values);
    c.found = FindCase(request.out_dir + "/" + c.name, c.files);
  }
  return "";
}

/// Says on `err` why each refused case is, and whether any is.
bool RefuseCases(const CaseRequest& request, const std::vector<Case>& cases, FILE* err) {
  bool refused = false;
  for (const Case& c : cases) {
    std::string why = CaseRefusal(request.out_dir + "/" + c.name, c, request.force);
    if (why.empty()) continue;
    std::fprintf(err, "kvsolver-batch: %s\n", EscapeControls(why).c_str());
    refused = true;
  }
  if (refused) std::fprintf(err, "kvsolver-batch: no case was written\n");
  return refused;
}

/// What became of a case, as the listing says it.
const char* Verb(CaseState state) {
  switch (state) {
    case CaseState::kNew: return "made";
    case CaseState::kUnchanged: return "unchanged";
    case CaseState::kChanged: return "changed";
    default: return "overwritten";
  }
}

/// Writes every case that is not as wanted, and lists each on `out`.
std::string WriteCases(const CaseRequest& request, const std::vector<TemplateFile>& files,
                       const std::vector<Case>& cases, FILE* out) {
  std::map<std::string, mode_t> modes;
  for (const TemplateFile& file : files) modes[file.name] = file.mode;
  for (const Case& c : cases) {
    std::string path = request.out_dir + "/" + c.name;
    if (c.found.state != CaseState::kUnchanged) {
      std::string why = WriteCase(path, c.files, modes, c.found);
      if (!why.empty()) return why;
    }
    std::fprintf(out, "%-11s %s\n", Verb(c.found.state), EscapeControls(path).c_str());
  }
  return "";
}

/// Creates OUTDIR when it is not there.
std::string MakeOutDir(const std::string& path) {
  if (mkdir(path.c_str(), 0777) == 0 || errno == EEXIST) return "";
  return "cannot make " + path + ": " + std::strerror(errno);
}

}  // namespace

int MakeCases(const CaseRequest& request, FILE* out, FILE* err) {
  ParamTable table;
  std::vector<TemplateFile> files;
  std::vector<Case> cases;
  std::string why = PlanCases(request, &table, &files, &cases, err);
  if (!why.empty()) {
    std::fprintf(err, "kvsolver-batch: %s\n", EscapeControls(why).c_str());
    return kRefused;
  }
  if (RefuseCases(request, cases, err)) return kRefused;
  why = MakeOutDir(request.out_dir);
  if (why.empty()) why = WriteCases(request, files, cases, out);
  for (const std::string& name : RemovedCases(request.out_dir, cases))
    std::fprintf(out, "%-11s %s (its row is gone; left as it is)\n", "removed",
                 EscapeControls(request.out_dir + "/" + name).c_str());
  if (why.empty())
    why = ReplaceFile(request.out_dir + "/" + kCasesTable, CasesTableText(table, cases),
                      ".kvsolver-cases-");
  if (why.empty() && (std::fflush(out) != 0 || std::ferror(out) != 0))
    why = "cannot write the list of cases to standard output";
  if (why.empty()) return kMade;
  std::fprintf(err, "kvsolver-batch: %s\n", EscapeControls(why).c_str());
  return kRefused;
}
