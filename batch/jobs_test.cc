#include "batch/jobs.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <vector>

#include "tests/test_dir.h"

namespace {

TEST(JobsTest, LauncherArgumentsAreNeverOptions) {
  struct {
    const char* file;
    const char* model;
    std::vector<std::string> arguments;
  } cases[] = {
      {"job.kcf", "", {"job"}},
      {"job.acf", "", {"job"}},
      {"--help.kcf", "", {"./--help"}},
      {"--version.acf", "", {"./--version"}},
      {"-x.kss", "beam.kmd", {"beam.kmd", "./-x"}},
      {"job.kss", "-m.kmd", {"./-m.kmd", "job"}},
      {"a-b.kcf", "", {"a-b"}},
  };
  for (const auto& c : cases) {
    Job job;
    ASSERT_TRUE(NameJob("case", c.file, &job)) << c.file;
    EXPECT_EQ(LauncherArguments(job, c.model), c.arguments) << c.file;
  }
}

TEST(JobsTest, ReadJobList) {
  using namespace std::string_literals;
  struct {
    const char* name;
    std::string text;
    std::vector<std::string> paths;
    std::string why;
  } cases[] = {
      {"lines", "a/j.kcf\nb/j.kcf\n", {"a/j.kcf", "b/j.kcf"}, ""},
      {"empty lines and no last line end", "\na/j.kcf\n\nb/j.kcf", {"a/j.kcf", "b/j.kcf"}, ""},
      {"a NUL byte", "a/j.kcf\nb/j.kcf\0x.kcf\nc/j.kcf\n"s, {"a/j.kcf"},
       "list: line 2 holds a NUL byte"},
      {"a lone NUL", "\0\n"s, {}, "list: line 1 holds a NUL byte"},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    WriteFile("list", c.text);
    std::vector<std::string> paths;
    EXPECT_EQ(ReadJobList("list", &paths), c.why) << c.name;
    EXPECT_EQ(paths, c.paths) << c.name;
  }
  std::vector<std::string> paths;
  EXPECT_EQ(ReadJobList("/nonexistent/list", &paths),
            "cannot read /nonexistent/list: No such file or directory");
}

}  // namespace
