#include "batch/preflight.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/test_dir.h"

namespace {

TEST(PreflightTest, JobsThatWouldFailBeforeTheySolve) {
  struct {
    const char* what;
    const char* job;
    const char* model;  // --model
    const char* problem;
  } cases[] = {
      {"a model that is there", "job.kcf", "", ""},
      {"no model named", "empty.kcf", "", "empty.kcf names no model"},
      {"a missing model", "missing.acf", "", "its model missing.kmd is not there"},
      {"a directory for a model", "dir.kcf", "", "its model sub is not there"},
      {"a script with its model", "job.kss", "beam.kmd", ""},
      {"a script with a missing model", "job.kss", "gone.kmd", "its model gone.kmd is not there"},
      {"NAME.kcf before NAME.acf", "shadow.acf", "", "its model missing.kmd is not there"},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    WriteFile("beam.kmd", "model");
    mkdir("sub", 0755);
    WriteFile("job.kcf", "beam.kmd\nstop\n");
    WriteFile("empty.kcf", "\nstop\n");
    WriteFile("missing.acf", "missing.kmd\nstop\n");
    WriteFile("dir.kcf", "sub\nstop\n");
    WriteFile("job.kss", "stop\n");
    WriteFile("shadow.acf", "beam.kmd\nstop\n");
    WriteFile("shadow.kcf", "missing.kmd\nstop\n");
    Job job;
    ASSERT_EQ(ParseJob(c.job, &job), "") << c.what;
    int dirfd = open(".", O_RDONLY | O_DIRECTORY);
    EXPECT_EQ(JobProblem(dirfd, job, c.model), c.problem) << c.what;
    close(dirfd);
  }
}

TEST(PreflightTest, ALauncherThatCannotStart) {
  struct {
    const char* what;
    const char* body;
    const char* problem;  // after "the launcher PATH "
  } cases[] = {
      {"it starts", "exit 0", ""},
      {"it fails for another reason", "exit 1", ""},
      {"it is killed", "kill -9 $$", ""},
      {"its library can't be loaded",
       "echo 'kvsolver: error while loading shared libraries: lib.so' >&2; exit 127",
       "can't start (exit status 127): kvsolver: error while loading shared libraries: lib.so; "
       "every job would fail"},
      {"it can't be executed", "echo; echo 'cannot execute'; exit 126",
       "can't start (exit status 126): cannot execute; every job would fail"},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    WriteScript(dir.path(), "launcher", std::string("touch tried; ") + c.body);
    std::string launcher = (dir.path() / "launcher").string();
    std::string problem = LauncherProblem(launcher);
    EXPECT_EQ(problem, *c.problem == '\0' ? "" : "the launcher " + launcher + " " + c.problem)
        << c.what;
    EXPECT_NE(access("tried", F_OK), 0) << c.what << ": run here, not in a scratch directory";
  }
}

}  // namespace
