#include "batch/placeholders.h"

#include <gtest/gtest.h>

#include <map>

namespace {

const std::map<std::string, std::string> kValues = {
    {"factor", "1.25"}, {"t", "3"}, {"empty", ""}, {"a b", "spaced"}};

std::optional<std::string> Look(const std::string& name) {
  auto at = kValues.find(name);
  return at == kValues.end() ? std::nullopt : std::optional<std::string>(at->second);
}

TEST(PlaceholdersTest, Expands) {
  struct {
    std::string text, want;
  } cases[] = {
      {"LOAD {factor}\n", "LOAD 1.25\n"},
      {"{factor}{t}", "1.253"},
      {"x{empty}y", "xy"},
      {"{{factor}}", "{factor}"},
      {"{{{factor}}}", "{1.25}"},
      {"}}{{", "}{"},
      {"{a b}", "spaced"},
      {"no braces\r\n", "no braces\r\n"},
      {"thickness {t} mm", "thickness 3 mm"},
      {std::string("nul\0{t}", 7), std::string("nul\0" "3", 5)},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(ExpandPlaceholders(c.text, Look, &out), "") << c.text;
    EXPECT_EQ(out, c.want) << c.text;
  }
}

TEST(PlaceholdersTest, Refuses) {
  struct {
    std::string text, why;
  } cases[] = {
      {"a\nLOAD {load}\n", "line 2: no column names {load}"},
      {"{}", "line 1: no column names {}"},
      {"x {factor\n}", "line 1: a '{' is not closed (write '{{' for a brace)"},
      {"{fa{ctor}", "line 1: a '{' is not closed (write '{{' for a brace)"},
      {"\n\n}", "line 3: a lone '}' (write '}}' for a brace)"},
      {"{", "line 1: a '{' is not closed (write '{{' for a brace)"},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(ExpandPlaceholders(c.text, Look, &out), c.why) << c.text;
  }
}

TEST(PlaceholdersTest, CommandAndModelFilesOnly) {
  for (const char* name : {"job.kcf", "job.acf", "b.kss", "beam.kmd"})
    EXPECT_TRUE(TakesPlaceholders(name)) << name;
  for (const char* name : {"notes.txt", "job.kcf.orig", ".kcf", "mesh.dat"})
    EXPECT_FALSE(TakesPlaceholders(name)) << name;
}

}  // namespace
