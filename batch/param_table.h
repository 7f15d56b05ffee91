// A study's parameter table: one row per load case, one column per
// parameter, under a header row. CSV (RFC 4180 quoting) is read with
// libcsv; a name ending in ".tsv" is read as tab-separated values, escaped
// as the summaries write them.
#ifndef KVSOLVER_BATCH_PARAM_TABLE_H_
#define KVSOLVER_BATCH_PARAM_TABLE_H_

#include <cstddef>
#include <string>
#include <vector>

/// The table as read: every row as long as the header, no value holding a
/// line end or a NUL byte.
struct ParamTable {
  std::string path;                  ///< as given, for messages
  std::vector<std::string> columns;  ///< the header row
  struct Row {
    size_t line = 0;                 ///< where the row begins in the file
    std::vector<std::string> values;
  };
  std::vector<Row> rows;
};

/// Reads the table in `bytes` (the file `path`, which also says whether it
/// is CSV or TSV) into `*table`: a byte-order mark at the start is passed
/// over, CRLF rows read as LF ones, empty lines skipped. Returns an empty
/// text, or why it is no table, naming the file, line and column.
std::string ParseParamTable(const std::string& path, const std::string& bytes, ParamTable* table);

/// Reads the file `path` and parses it as above.
std::string ReadParamTable(const std::string& path, ParamTable* table);

/// `columns` with column `c` (from 0) as a message names it:
/// "column 2 (factor)".
std::string ColumnName(const std::vector<std::string>& columns, size_t c);

#endif  // KVSOLVER_BATCH_PARAM_TABLE_H_
