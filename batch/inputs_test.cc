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

TEST(InputsTest, ResumeKeepsOnlyUnchangedFinishedJobs) {
  struct {
    const char* name;
    void (*change)();
    State state;
    bool kept;
  } cases[] = {
      {"unchanged", [] {}, State::kFinished, true},
      {"job file edited", [] { WriteFile("job.kcf", "beam.kmd\nSOLVE 2\nstop\n"); },
       State::kFinished, false},
      {"model edited", [] { WriteFile("beam.kmd", "changed"); }, State::kFinished, false},
      {"another model named", [] { WriteFile("job.kcf", "other.kmd\nSOLVE\nstop\n"); },
       State::kFinished, false},
      {"job file gone", [] { unlink("job.kcf"); }, State::kFinished, false},
      {"failed last time", [] {}, State::kFailed, false},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    WriteFile("beam.kmd", "model");
    WriteFile("other.kmd", "model");
    WriteFile("job.kcf", "beam.kmd\nSOLVE\nstop\n");
    Job job;
    ASSERT_EQ(ParseJob("job.kcf", &job), "");
    int dirfd = open(".", O_RDONLY | O_DIRECTORY);
    Result earlier = FinishedWith(HashInputs(dirfd, job, ""));
    earlier.state = c.state;
    c.change();
    EXPECT_EQ(KeepsResult(earlier, HashInputs(dirfd, job, "")), c.kept) << c.name;
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

}  // namespace
