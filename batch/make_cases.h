// --make-cases: a study's case directories made from a template directory
// and a parameter table, one directory per row, and the table of which
// directory holds which parameters (OUTDIR/cases.tsv).
#ifndef KVSOLVER_BATCH_MAKE_CASES_H_
#define KVSOLVER_BATCH_MAKE_CASES_H_

#include <cstdio>
#include <string>

/// The study's table of its cases: the case directory, then each
/// parameter column, as tab-separated values.
constexpr char kCasesTable[] = "cases.tsv";

/// What --make-cases is given.
struct CaseRequest {
  std::string template_dir;
  std::string table;
  std::string out_dir;
  bool force = false;  ///< overwrite cases edited by hand
};

/// Makes the cases of `request`, saying on `out` what became of each and
/// on `err` what is wrong. Nothing is written when the table, the template
/// or a case in the way is refused. Returns the exit status: 0, or 2 for a
/// refusal or a file that could not be written.
int MakeCases(const CaseRequest& request, FILE* out, FILE* err);

#endif  // KVSOLVER_BATCH_MAKE_CASES_H_
