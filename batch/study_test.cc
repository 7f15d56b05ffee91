#include "batch/study.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

Study ThreeJobs() {
  std::vector<Job> jobs(3);
  for (size_t i = 0; i < jobs.size(); ++i)
    EXPECT_TRUE(NameJob("case" + std::to_string(i), "job.kcf", &jobs[i]));
  return Study(std::move(jobs));
}

Result Ran(State state, double seconds) {
  Result r = Unrun(state, StateName(state), "");
  r.attempts = 1;
  r.started = "2026-12-10T04:00:00Z";
  r.seconds = seconds;
  r.host = "node1";
  return r;
}

TEST(StudyTest, CountsAsJobsStartAndEnd) {
  // Each step: job, started (else ended with the result), then the counts.
  struct Step {
    size_t job;
    bool start;
    State state;
    size_t running, ended, unsuccessful, run_count;
  } steps[] = {
      {0, true, State::kFinished, 1, 0, 0, 0},
      {1, true, State::kFinished, 2, 0, 0, 0},
      {0, false, State::kFinished, 1, 1, 0, 1},
      {0, false, State::kFailed, 1, 1, 0, 1},  // a second end is ignored
      {0, true, State::kFinished, 1, 1, 0, 1},  // so is a start after the end
      {1, false, State::kKilled, 0, 2, 1, 2},
      {2, false, State::kNotRun, 0, 3, 2, 2},  // never started
  };
  Study study = ThreeJobs();
  for (const Step& s : steps) {
    if (s.start)
      study.Start(s.job);
    else
      study.End(s.job, s.state == State::kNotRun ? Unrun(s.state, "stopped", "")
                                                 : Ran(s.state, 1.5));
    EXPECT_EQ(study.running, s.running) << s.job;
    EXPECT_EQ(study.ended_count, s.ended) << s.job;
    EXPECT_EQ(study.unsuccessful, s.unsuccessful) << s.job;
    EXPECT_EQ(study.run_count, s.run_count) << s.job;
  }
  EXPECT_EQ(study.run_seconds, 3.0);
  EXPECT_EQ(study.rows[0].state, State::kFinished);
  EXPECT_FALSE(study.AllSucceeded());
}

TEST(StudyTest, RowKeepsWhatTheOutputsShow) {
  Result r = Ran(State::kFailed, 2.25);
  r.return_value = -10;
  r.max_rss_kib = 4096;
  r.user_seconds = 0.5;
  r.system_seconds = 0.25;
  r.task = "12_3";
  r.job_hash = "13";
  Row row = Row::Of(r);
  EXPECT_EQ(row.StartedText(), r.started);
  EXPECT_EQ(row.return_value, -10);
  EXPECT_EQ(row.meaning, "failed");
  EXPECT_EQ(row.host.str(), "node1");
  EXPECT_EQ(row.task, "12_3");
  EXPECT_EQ(row.max_rss_kib, 4096);
  EXPECT_EQ(row.user_seconds, 0.5);
  EXPECT_EQ(row.system_seconds, 0.25);
  EXPECT_EQ(Row::Of(Unrun(State::kNotRun, "no result", "")).StartedText(), "");
}

TEST(StudyTest, RowsOfOneHostShareItsName) {
  Row a = Row::Of(Ran(State::kFinished, 1)), b = Row::Of(Ran(State::kFailed, 2));
  Result elsewhere = Ran(State::kFinished, 1);
  elsewhere.host = "node2";
  Row c = Row::Of(elsewhere), none;
  EXPECT_EQ(&a.host.str(), &b.host.str());
  EXPECT_EQ(c.host.str(), "node2");
  EXPECT_TRUE(none.host.empty());
  EXPECT_EQ(&none.host.str(), &Row::Of(Unrun(State::kNotRun, "", "")).host.str());
}

TEST(StudyTest, NoParametersHoldNoValues) {
  Study study = ThreeJobs();
  EXPECT_TRUE(study.parameters.empty());
  EXPECT_TRUE(study.ParametersOf(2).empty());
  EXPECT_EQ(LogPath(study.jobs[1]), "case1/job.log");
  EXPECT_EQ(ResultPath(study.jobs[1]), "case1/job.result");
}

}  // namespace
