// One case directory of a study, as --make-cases finds and leaves it. Each
// holds a hidden record of what was written into it, so that a case left
// as it was made is told from one edited by hand; files the batch writes
// there (NAME.result, NAME.log, the command stream) are in no record.
#ifndef KVSOLVER_BATCH_CASE_DIR_H_
#define KVSOLVER_BATCH_CASE_DIR_H_

#include <map>
#include <string>
#include <vector>

#include "batch/case_template.h"

/// The record in each case directory: a file name and its hash a line.
constexpr char kCaseRecord[] = ".kvsolver-case.tsv";

/// What a case directory is, against the files it is to hold.
enum class CaseState {
  kNew,        ///< not there yet
  kUnchanged,  ///< holds those files, as made: left untouched
  kChanged,    ///< as made from another row or template: rewritten
  kEdited,     ///< files differ from what was made, or no record: --force only
  kInTheWay,   ///< a link or a file in its place: never written
};

/// What was found of case directory `path`.
struct CaseFinding {
  CaseState state = CaseState::kNew;
  std::map<std::string, std::string> record;  ///< file name to hash, as made
  std::vector<std::string> differing;         ///< of kEdited: files not as made
};

/// Looks at case directory `path` that is to hold `files`.
CaseFinding FindCase(const std::string& path, const CaseFiles& files);

/// Makes case directory `path` hold `files`, as `found` found it: creates
/// it when new; writes each file not already as wanted, through a file
/// of its own renamed into place; removes the files an earlier record
/// holds that `files` do not; writes the record last. Returns an empty
/// text, or why not, naming the file.
std::string WriteCase(const std::string& path, const CaseFiles& files,
                      const std::map<std::string, mode_t>& modes, const CaseFinding& found);

#endif  // KVSOLVER_BATCH_CASE_DIR_H_
