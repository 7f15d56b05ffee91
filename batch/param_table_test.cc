#include "batch/param_table.h"

#include <gtest/gtest.h>

#include "tests/test_dir.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;

/// The header and the rows of `bytes` read as the table `path`.
Rows Read(const std::string& path, const std::string& bytes) {
  ParamTable table;
  std::string why = ParseParamTable(path, bytes, &table);
  EXPECT_EQ(why, "") << bytes;
  Rows rows = {table.columns};
  for (const ParamTable::Row& row : table.rows) rows.push_back(row.values);
  return rows;
}

TEST(ParamTableTest, ReadsCsv) {
  struct {
    std::string bytes;
    Rows want;
  } cases[] = {
      {"case,factor\nc1,1.25\n", {{"case", "factor"}, {"c1", "1.25"}}},
      {"a,b\r\n1,2\r\n", {{"a", "b"}, {"1", "2"}}},
      {"\xEF\xBB\xBF" "a,b\n1,2", {{"a", "b"}, {"1", "2"}}},
      {"a,b\n\"1,5\",\"say \"\"hi\"\"\"\n", {{"a", "b"}, {"1,5", "say \"hi\""}}},
      {"a,b,c\n,,\n", {{"a", "b", "c"}, {"", "", ""}}},
      {"a,b\n x , y \n", {{"a", "b"}, {" x ", " y "}}},
      {"a\n1\n\n\n2\n", {{"a"}, {"1"}, {"2"}}},
      {"a,b\n\xff,\t\n", {{"a", "b"}, {"\xff", "\t"}}},
  };
  for (const auto& c : cases) EXPECT_EQ(Read("t.csv", c.bytes), c.want) << c.bytes;
}

TEST(ParamTableTest, ReadsTsv) {
  struct {
    std::string bytes;
    Rows want;
  } cases[] = {
      {"case\tfactor\nc1\t1,25\n", {{"case", "factor"}, {"c1", "1,25"}}},
      {"\xEF\xBB\xBF" "a\tb\r\n\"q\"\t\r\n", {{"a", "b"}, {"\"q\"", ""}}},
      {"a\tb\nx\\ty\t\\\\n\n", {{"a", "b"}, {"x\ty", "\\n"}}},
  };
  for (const auto& c : cases) EXPECT_EQ(Read("t.tsv", c.bytes), c.want) << c.bytes;
}

TEST(ParamTableTest, Refuses) {
  struct {
    std::string path, bytes, why;
  } cases[] = {
      {"t.csv", "a,b\n1,2\n3\n", "t.csv:3: the row has 1 fields, the header 2"},
      {"t.csv", "a,b\n1,2,3\n", "t.csv:2: the row has 3 fields, the header 2"},
      {"t.csv", "a,b\n1,\"two\nlines\"\n", "t.csv:2: column 2 (b) holds a line end"},
      {"t.csv", "a,b\n1,\"cr\r\"\n", "t.csv:2: column 2 (b) holds a line end"},
      {"t.csv", std::string("a,b\n\n1,x\0y\n", 12), "t.csv:3: column 2 (b) holds a NUL byte"},
      {"t.tsv", "a\tb\n1\tx\\ny\n", "t.tsv:2: column 2 (b) holds a line end"},
      {"t.csv", "a,a\n1,2\n", "t.csv:1: column 2 (a) is named twice"},
      {"t.csv", "a,\n1,2\n", "t.csv:1: column 2 has no name"},
      {"t.csv", "a,{b}\n1,2\n", "t.csv:1: column 2 ({b}): a name holds no brace"},
      {"t.csv", "a,b\n", "t.csv: no rows under the header"},
      {"t.csv", "", "t.csv: no header row"},
      {"t.csv", "a,b\n1,\"open\n", "t.csv:3: error parsing data while strict checking enabled"},
      {"t.csv", "a,b\n1,x\"y\n", "t.csv:2: error parsing data while strict checking enabled"},
  };
  for (const auto& c : cases) {
    ParamTable table;
    EXPECT_EQ(ParseParamTable(c.path, c.bytes, &table), c.why) << c.bytes;
  }
}

TEST(ParamTableTest, RowsKnowTheirLines) {
  ParamTable table;
  ASSERT_EQ(ParseParamTable("t.csv", "a,b\n\n1,\"2\"\r\n\n\n3,4", &table), "");
  ASSERT_EQ(table.rows.size(), 2u);
  EXPECT_EQ(table.rows[0].line, 3u);
  EXPECT_EQ(table.rows[1].line, 6u);
}

TEST(ParamTableTest, ReadsAFile) {
  ScratchDir dir;
  WriteFile("t.csv", "a\n1\n");
  ParamTable table;
  EXPECT_EQ(ReadParamTable("t.csv", &table), "");
  EXPECT_EQ(ReadParamTable("missing.csv", &table),
            "cannot read missing.csv: No such file or directory");
}

}  // namespace
