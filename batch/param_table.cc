#include "batch/param_table.h"

#include <csv.h>

#include <set>

#include "batch/escape.h"
#include "batch/read_file.h"

namespace {

/// Where the parser is in the file, and what it has read so far.
struct Reading {
  ParamTable* table;
  std::vector<std::string> fields;
  size_t line = 1;        ///< the line of the byte being read
  size_t row_line = 0;    ///< the line the current row began on; 0 before it
};

void TakeField(void* bytes, size_t n, void* data) {
  auto* r = static_cast<Reading*>(data);
  if (r->row_line == 0) r->row_line = r->line;
  r->fields.emplace_back(static_cast<const char*>(bytes), n);
}

void TakeRow(int, void* data) {
  auto* r = static_cast<Reading*>(data);
  r->table->rows.push_back({r->row_line, std::move(r->fields)});
  r->fields.clear();
  r->row_line = 0;
}

/// Spaces around a field are part of it, as RFC 4180 has them.
int NoSpace(unsigned char) { return 0; }

/// Parses CSV `bytes` into the rows of `*table`, the header as its first.
std::string ParseCsv(const std::string& bytes, size_t from, ParamTable* table) {
  csv_parser parser;
  if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI) != 0)
    return table->path + ": cannot set up the CSV reader";
  csv_set_space_func(&parser, NoSpace);
  Reading reading{table, {}, 1, 0};
  std::string why;
  for (size_t i = from; i < bytes.size() && why.empty(); ++i) {
    if (csv_parse(&parser, &bytes[i], 1, TakeField, TakeRow, &reading) != 1)
      why = csv_strerror(csv_error(&parser));
    if (bytes[i] == '\n') ++reading.line;
  }
  if (why.empty() && csv_fini(&parser, TakeField, TakeRow, &reading) != 0)
    why = csv_strerror(csv_error(&parser));
  csv_free(&parser);
  if (why.empty()) return "";
  return table->path + ":" + std::to_string(reading.line) + ": " + why;
}

/// Parses TSV `bytes` into the rows of `*table`, the header as its first.
void ParseTsv(const std::string& bytes, size_t from, ParamTable* table) {
  size_t line = 0;
  while (from < bytes.size()) {
    ++line;
    size_t end = bytes.find('\n', from);
    if (end == std::string::npos) end = bytes.size();
    std::string text = bytes.substr(from, end - from);
    from = end + 1;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (text.empty()) continue;
    ParamTable::Row row{line, {}};
    for (size_t start = 0;;) {
      size_t tab = text.find('\t', start);
      row.values.push_back(UnescapeField(text.substr(start, tab - start)));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    table->rows.push_back(std::move(row));
  }
}

/// Why the header `columns` names no columns well, or empty.
std::string HeaderProblem(const std::vector<std::string>& columns) {
  std::set<std::string> seen;
  for (size_t c = 0; c < columns.size(); ++c) {
    if (columns[c].empty()) return ColumnName(columns, c) + " has no name";
    if (columns[c].find_first_of("{}") != std::string::npos)
      return ColumnName(columns, c) + ": a name holds no brace";
    if (!seen.insert(columns[c]).second) return ColumnName(columns, c) + " is named twice";
  }
  return "";
}

/// Why `row` is no row of the table, or empty.
std::string RowProblem(const ParamTable& table, const ParamTable::Row& row) {
  if (row.values.size() != table.columns.size())
    return "the row has " + std::to_string(row.values.size()) + " fields, the header " +
           std::to_string(table.columns.size());
  for (size_t c = 0; c < row.values.size(); ++c) {
    size_t bad = row.values[c].find_first_of(std::string("\r\n\0", 3));
    if (bad != std::string::npos)
      return ColumnName(table.columns, c) +
             (row.values[c][bad] == '\0' ? " holds a NUL byte" : " holds a line end");
  }
  return "";
}

/// Takes the first row as the header and checks every row against it.
std::string CheckRows(ParamTable* table) {
  if (table->rows.empty()) return table->path + ": no header row";
  ParamTable::Row header = std::move(table->rows.front());
  table->rows.erase(table->rows.begin());
  table->columns = header.values;
  std::string where = table->path + ":" + std::to_string(header.line) + ": ";
  std::string why = RowProblem(*table, header);
  if (why.empty()) why = HeaderProblem(table->columns);
  if (!why.empty()) return where + why;
  for (const ParamTable::Row& row : table->rows) {
    why = RowProblem(*table, row);
    if (!why.empty()) return table->path + ":" + std::to_string(row.line) + ": " + why;
  }
  return table->rows.empty() ? table->path + ": no rows under the header" : "";
}

}  // namespace

std::string ParseParamTable(const std::string& path, const std::string& bytes, ParamTable* table) {
  table->path = path;
  size_t from = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  bool tsv = path.size() >= 4 && path.compare(path.size() - 4, 4, ".tsv") == 0;
  if (tsv) {
    ParseTsv(bytes, from, table);
  } else {
    std::string why = ParseCsv(bytes, from, table);
    if (!why.empty()) return why;
  }
  return CheckRows(table);
}

std::string ReadParamTable(const std::string& path, ParamTable* table) {
  std::string bytes;
  std::string why = ReadWholeFile(path, &bytes);
  return why.empty() ? ParseParamTable(path, bytes, table) : why;
}

std::string ColumnName(const std::vector<std::string>& columns, size_t c) {
  return "column " + std::to_string(c + 1) + (c < columns.size() && !columns[c].empty() ? " (" + columns[c] + ")" : "");
}
