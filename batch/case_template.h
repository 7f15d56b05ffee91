// A study's template directory, and the files it makes for one case: its
// command and model files with the row's values put in their
// placeholders, its other files as they are.
#ifndef KVSOLVER_BATCH_CASE_TEMPLATE_H_
#define KVSOLVER_BATCH_CASE_TEMPLATE_H_

#include <sys/types.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "batch/param_table.h"

/// One file of the template.
struct TemplateFile {
  std::string name;
  std::string bytes;
  mode_t mode = 0644;         ///< its permission bits, which the copies keep
  bool expands = false;       ///< a command or model file: placeholders replaced
};

/// A case's files by name: what its directory is made to hold.
using CaseFiles = std::map<std::string, std::string>;

/// Reads every file of directory `path` into `*files`, in name order.
/// Returns an empty text, or why not: it can't be read, it holds anything
/// but regular files (a directory, a link), or nothing.
std::string ReadTemplate(const std::string& path, std::vector<TemplateFile>* files);

/// Checks that every placeholder of `files` (in directory `path`) names a
/// column of `columns`, into `*used` the columns they name. Returns an
/// empty text, or why not, naming the file and line.
std::string CheckPlaceholders(const std::string& path, const std::vector<TemplateFile>& files,
                              const std::vector<std::string>& columns,
                              std::set<std::string>* used);

/// The files of the case of `values`, a row under `columns`, whose
/// placeholders CheckPlaceholders found well.
CaseFiles MakeCaseFiles(const std::vector<TemplateFile>& files,
                        const std::vector<std::string>& columns,
                        const std::vector<std::string>& values);

#endif  // KVSOLVER_BATCH_CASE_TEMPLATE_H_
