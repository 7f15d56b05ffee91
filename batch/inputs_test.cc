#include "batch/inputs.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/test_dir.h"

namespace {

/// A finished result of `job` as its run left it.
Result FinishedWith(const Inputs& inputs) {
  Result r;
  r.state = State::kFinished;
  r.job_hash = inputs.job_hash;
  r.model_hash = inputs.model_hash;
  return r;
}

// --resume keeps a result exactly when --status leaves it finished; else
// --status says which files changed.
TEST(InputsTest, ResumeKeepsOnlyUnchangedFinishedJobs) {
  struct {
    const char* name;
    void (*change)();
    State state;
    bool kept;
    const char* status;  // the meaning --status shows
  } cases[] = {
      {"unchanged", [] {}, State::kFinished, true, "finished"},
      {"job file edited", [] { WriteFile("job.kcf", "beam.kmd\nSOLVE 2\nstop\n"); },
       State::kFinished, false, "finished T, but job.kcf changed since"},
      {"model edited", [] { WriteFile("beam.kmd", "changed"); }, State::kFinished, false,
       "finished T, but beam.kmd changed since"},
      {"another model named", [] { WriteFile("job.kcf", "other.kmd\nSOLVE\nstop\n"); },
       State::kFinished, false, "finished T, but job.kcf and other.kmd changed since"},
      {"job file gone", [] { unlink("job.kcf"); }, State::kFinished, false,
       "finished T, but job.kcf and its model changed since"},
      {"failed last time", [] {}, State::kFailed, false, "finished"},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    WriteFile("beam.kmd", "model");
    WriteFile("other.kmd", "another model");
    WriteFile("job.kcf", "beam.kmd\nSOLVE\nstop\n");
    Job job;
    ASSERT_EQ(ParseJob("job.kcf", &job), "");
    int dirfd = open(".", O_RDONLY | O_DIRECTORY);
    Result earlier = FinishedWith(HashInputs(dirfd, job, ""));
    earlier.state = c.state;
    earlier.meaning = "finished";
    earlier.started = "T";
    c.change();
    EXPECT_EQ(KeepsResult(earlier, HashInputs(dirfd, job, "")), c.kept) << c.name;
    MarkOutdated(dirfd, job, "", &earlier);
    EXPECT_EQ(earlier.meaning, c.status) << c.name;
    bool outdated = c.state == State::kFinished && !c.kept;
    EXPECT_EQ(earlier.state, outdated ? State::kOutdated : c.state) << c.name;
    close(dirfd);
  }
}

TEST(InputsTest, WhatTheLauncherReads) {
  ScratchDir dir;
  WriteFile("a.kmd", "a");
  WriteFile("b.kmd", "b");
  WriteFile("job.acf", "a.kmd\nstop\n");
  WriteFile("job.kss", "stop\n");
  int dirfd = open(".", O_RDONLY | O_DIRECTORY);
  Job acf, kss;
  ASSERT_EQ(ParseJob("job.acf", &acf), "");
  ASSERT_EQ(ParseJob("job.kss", &kss), "");
  Inputs before = HashInputs(dirfd, acf, "");
  // The launcher prefers NAME.kcf, and a CR ends the model's name.
  WriteFile("job.kcf", "b.kmd\r\nstop\r\n");
  Inputs after = HashInputs(dirfd, acf, "");
  EXPECT_NE(before.job_hash, after.job_hash);
  EXPECT_EQ(after.model_hash, HashInputs(dirfd, kss, "b.kmd").model_hash);
  EXPECT_NE(before.model_hash, after.model_hash);
  close(dirfd);
}

TEST(InputsTest, TheModelIsNamedAsTheLauncherReadsIt) {
  struct {
    const char* what;
    std::string bytes;
    std::string model;
  } cases[] = {
      {"plain", "beam.kmd\nstop\n", "beam.kmd"},
      {"UTF-8 mark", "\xEF\xBB\xBF" "beam.kmd\nstop\n", "beam.kmd"},
      {"UTF-16LE", std::string("\xFF\xFE" "b\0e\0a\0m\0.\0k\0m\0d\0\n\0", 20), "beam.kmd"},
      {"UTF-16LE, no ASCII", std::string("\xFF\xFE\xE9\0.\0k\0\n\0", 10), "\xC3\xA9.k"},
      {"CRLF", "beam.kmd\r\nstop\r\n", "beam.kmd"},
      {"a NUL ends the name", std::string("beam.kmd\0x\nstop\n", 15), "beam.kmd"},
      {"no line end", "beam.kmd", "beam.kmd"},
      {"an empty first line", "\nbeam.kmd\n", ""},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    WriteFile("job.kcf", c.bytes);
    int dirfd = open(".", O_RDONLY | O_DIRECTORY);
    EXPECT_EQ(ModelNamed(dirfd, "job.kcf"), c.model) << c.what;
    close(dirfd);
  }
}

TEST(InputsTest, ConvertibleFiles) {
  struct {
    std::string bytes;
    bool convertible;
  } cases[] = {
      {"beam.kmd\nstop\n", false},        {"beam.kmd\r\nstop\r\n", true},
      {"\xEF\xBB\xBF" "beam.kmd\n", true}, {"\xFF\xFE" "b\0", true},
      {"beam\xEF.kmd\n", false},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    WriteFile("job.kcf", c.bytes);
    Job job;
    ASSERT_EQ(ParseJob("job.kcf", &job), "");
    int dirfd = open(".", O_RDONLY | O_DIRECTORY);
    EXPECT_EQ(HashInputs(dirfd, job, "").convertible, c.convertible) << c.bytes;
    close(dirfd);
  }
}

}  // namespace
