// The report page's own style and script, inlined into every page so that
// it opens from disk alone.
#ifndef KVSOLVER_BATCH_REPORT_ASSETS_H_
#define KVSOLVER_BATCH_REPORT_ASSETS_H_

/// The page's style sheet: layout, and a colour for each state.
extern const char kReportStyle[];

/// The page's script: sorts the table by the column whose head is clicked,
/// shows the rows of one state, a page of them at a time, keeps all three
/// in the address's fragment so that a reload keeps them, and sets
/// data-ready="1" on the body once it ran without error.
extern const char kReportScript[];

#endif  // KVSOLVER_BATCH_REPORT_ASSETS_H_
