// The names of a study's case directories: from a "case" column when the
// table has one, else from the row's parameters ("factor=1.25,t=3"), made
// safe for a file name and unique.
#ifndef KVSOLVER_BATCH_CASE_NAMES_H_
#define KVSOLVER_BATCH_CASE_NAMES_H_

#include <string>
#include <vector>

/// The column that names the cases, when a table has it.
constexpr char kCaseColumn[] = "case";

/// Why `name`, from the case column, can't name a directory of OUTDIR, or
/// empty: it is empty, holds a '/' or a control character, begins with a
/// '.' (".", ".." and hidden names), is longer than a file name may be, or
/// is "cases.tsv", the study's own file.
std::string CaseNameProblem(const std::string& name);

/// A directory name made of `columns` and a row's `values`, as
/// "factor=1.25,t=3": bytes other than letters, digits and ".,=+-_" are
/// written '_', a leading '.' too, and it is cut to 200 bytes.
std::string ParameterName(const std::vector<std::string>& columns,
                          const std::vector<std::string>& values);

/// `names` made unique in their order: a name seen before gets "-2", "-3",
/// ... (the first free one).
std::vector<std::string> UniqueNames(std::vector<std::string> names);

#endif  // KVSOLVER_BATCH_CASE_NAMES_H_
