#include "batch/summary_target.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/test_dir.h"

namespace {

TEST(SummaryTargetTest, OnlyAbsentOrAFileTheStudyDoesNotRead) {
  struct {
    const char* path;
    const char* why;
  } cases[] = {
      {"new.tsv", ""},
      {"old.tsv", ""},
      {"fifo", "--summary fifo is no regular file; it is left as it is"},
      {"case", "--summary case is no regular file; it is left as it is"},
      {"link", "--summary link is no regular file; it is left as it is"},
      {"case/job.kcf", "--summary case/job.kcf is case/job.kcf, which the study reads"},
      {"case/beam.kmd", "--summary case/beam.kmd is case/beam.kmd, which the study reads"},
      {"case/script.kmd", "--summary case/script.kmd is case/script.kmd, which the study reads"},
      {"hard", "--summary hard is case/job.kcf, which the study reads"},
      {"list", "--summary list is list, which the study reads"},
  };
  ScratchDir dir;
  ASSERT_EQ(mkdir("case", 0777), 0);
  WriteFile("case/beam.kmd", "");
  WriteFile("case/script.kmd", "");
  WriteFile("case/job.kcf", "beam.kmd\r\nSOLVE\nstop\n");
  WriteFile("case/job.kss", "stop\n");
  WriteFile("old.tsv", "");
  WriteFile("list", "case/job.kcf\n");
  ASSERT_EQ(mkfifo("fifo", 0666), 0);
  ASSERT_EQ(symlink("old.tsv", "link"), 0);
  ASSERT_EQ(link("case/job.kcf", "hard"), 0);
  std::vector<Job> jobs(2);
  ASSERT_EQ(ParseJob("case/job.kcf", &jobs[0]), "");
  ASSERT_EQ(ParseJob("case/job.kss", &jobs[1]), "");
  std::vector<std::string> inputs = StudyInputs(jobs, "script.kmd", {"list"});
  for (const auto& c : cases) EXPECT_EQ(SummaryTargetProblem(c.path, inputs), c.why) << c.path;
}

}  // namespace
