#include "batch/options.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

/// Parses `args` (without the program's name).
std::string Parse(std::vector<std::string> args, Request* request) {
  args.insert(args.begin(), "kvsolver-batch");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  return ParseOptions(static_cast<int>(args.size()), argv.data(), request);
}

TEST(OptionsTest, Accepted) {
  Request r;
  ASSERT_EQ(Parse({"a/j.kcf", "-j", "3", "--retries=2", "--retry-on", "-10,7", "--timeout",
                   "1.5", "--kill-after=2", "--max-fails", "4", "--resume", "--summary", "s.tsv",
                   "--model", "beam.kmd", "b/j.kcf", "--", "-odd.kcf"},
                  &r),
            "");
  EXPECT_EQ(r.parallel, 3u);
  EXPECT_EQ(r.retries, 2);
  EXPECT_EQ(r.retry_on, (std::vector<int>{-10, 7}));
  EXPECT_EQ(r.timeout, 1.5);
  EXPECT_EQ(r.kill_after, 2);
  EXPECT_EQ(r.max_fails, 4u);
  EXPECT_TRUE(r.resume);
  EXPECT_EQ(r.paths, (std::vector<std::string>{"a/j.kcf", "b/j.kcf", "-odd.kcf"}));
}

TEST(OptionsTest, RetryOnAloneRetriesOnce) {
  struct {
    std::vector<std::string> args;
    int retries;
  } cases[] = {
      {{"--retry-on", "-10", "a.kcf"}, 1},
      {{"--retry-on", "-10", "--retries", "3", "a.kcf"}, 3},
      {{"--retries", "0", "--retry-on", "-10", "a.kcf"}, 0},
      {{"a.kcf"}, 0},
  };
  for (auto& c : cases) {
    Request r;
    ASSERT_EQ(Parse(c.args, &r), "");
    EXPECT_EQ(r.retries, c.retries) << c.args[0] << " " << c.args.size();
  }
}

TEST(OptionsTest, MakeCasesTakesThreeNames) {
  Request r;
  ASSERT_EQ(Parse({"--make-cases", "--force", "template", "table.csv", "out"}, &r), "");
  EXPECT_TRUE(r.make_cases);
  EXPECT_TRUE(r.force);
  EXPECT_EQ(r.paths, (std::vector<std::string>{"template", "table.csv", "out"}));
}

TEST(OptionsTest, LatencyWait) {
  struct {
    std::vector<std::string> args;
    double wait;
  } cases[] = {
      {{"--slurm", "a.kcf"}, 5},
      {{"--slurm", "--latency-wait", "0", "a.kcf"}, 0},
      {{"--slurm", "--latency-wait=2.5", "a.kcf"}, 2.5},
  };
  for (auto& c : cases) {
    Request r;
    ASSERT_EQ(Parse(c.args, &r), "") << c.args.size();
    EXPECT_EQ(r.latency_wait, c.wait) << c.args.size();
  }
}

TEST(OptionsTest, Refused) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"-j", "0", "a.kcf"},
      {"-j", "x", "a.kcf"},
      {"-j"},
      {"--retries", "-1", "a.kcf"},
      {"--retry-on", "-10,", "a.kcf"},
      {"--timeout", "0", "a.kcf"},
      {"--timeout", "nan", "a.kcf"},
      {"--max-fails", "0", "a.kcf"},
      {"--model", "beam.kmd\nstop", "a.kss"},
      {"--model", "beam.kmd\r", "a.kss"},
      {"--sbatch-option=-p", "a.kcf"},
      {"--latency-wait", "0", "a.kcf"},
      {"--slurm", "--latency-wait", "-1", "a.kcf"},
      {"--slurm", "--latency-wait", "soon", "a.kcf"},
      {"--dry-run", "--status", "a.kcf"},
      {"--bogus", "a.kcf"},
      {"-x", "a.kcf"},
      {"--make-cases", "template", "table.csv"},
      {"--make-cases", "template", "table.csv", "out", "extra"},
      {"--force", "a.kcf"},
  };
  for (const auto& args : cases) {
    Request r;
    EXPECT_NE(Parse(args, &r), "") << (args.empty() ? "" : args[0]);
  }
}

}  // namespace
