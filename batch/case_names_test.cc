#include "batch/case_names.h"

#include <gtest/gtest.h>

namespace {

TEST(CaseNamesTest, FromParameters) {
  struct {
    std::vector<std::string> columns, values;
    std::string want;
  } cases[] = {
      {{"factor", "t"}, {"1.25", "3"}, "factor=1.25,t=3"},
      {{"load"}, {"a/../b"}, "load=a_.._b"},
      {{"x"}, {"tab\tand\nline"}, "x=tab_and_line"},
      {{"name"}, {"caf\xc3\xa9"}, "name=caf__"},
      {{".hidden"}, {"1"}, "_hidden=1"},
      {{}, {}, "_"},
      {{"k"}, {std::string(300, 'v')}, "k=" + std::string(198, 'v')},
  };
  for (const auto& c : cases) EXPECT_EQ(ParameterName(c.columns, c.values), c.want) << c.want;
}

TEST(CaseNamesTest, MadeUnique) {
  EXPECT_EQ(UniqueNames({"a", "b", "a", "a"}), (std::vector<std::string>{"a", "b", "a-2", "a-3"}));
  // A suffix that another row holds as its own name is passed over.
  EXPECT_EQ(UniqueNames({"a", "a", "a-2"}), (std::vector<std::string>{"a", "a-3", "a-2"}));
}

TEST(CaseNamesTest, CaseColumnRefusals) {
  struct {
    std::string name;
    bool refused;
  } cases[] = {
      {"c1", false},         {"load case 7", false},   {"caf\xc3\xa9", false},
      {"\xff", false},       {"-dash", false},         {"", true},
      {".", true},           {"..", true},             {"a/b", true},
      {"/abs", true},        {".hidden", true},        {"bell\a", true},
      {"line\n", true},      {"del\x7f", true},        {"cases.tsv", true},
      {std::string(256, 'x'), true},                    {std::string(255, 'x'), false},
  };
  for (const auto& c : cases) EXPECT_EQ(!CaseNameProblem(c.name).empty(), c.refused) << c.name;
}

}  // namespace
