#include "batch/result.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>

#include "tests/test_dir.h"

namespace {

Result Finished() {
  Result r;
  r.state = State::kFinished;
  r.return_value = 0;
  r.exit_status = 0;
  r.meaning = "finished";
  r.attempts = 1;
  r.seconds = 1.5;
  r.started = "2026-12-09T08:44:50Z";
  r.host = "node1";
  r.log = "case\t1/job.log";
  r.batch = "token";
  r.job_hash = "00ff";
  r.model_hash = "none";
  r.max_rss_kib = 204800;
  r.user_seconds = 1.25;
  r.system_seconds = 0.5;
  return r;
}

TEST(ResultTest, RoundTrip) {
  Result failed = Finished();
  failed.state = State::kFailed;
  failed.return_value = -10;
  failed.exit_status = 246;
  Result killed = Finished();
  killed.state = State::kKilled;
  killed.return_value.reset();
  killed.exit_status.reset();
  killed.signal = 9;
  Result retried = Finished();
  retried.attempts = 2;
  retried.earlier = {{State::kKilled, "ended by SIGKILL", std::nullopt, std::nullopt, 9,
                      "2026-12-09T08:44:40Z", 0.25, "case\t1/job.log.1"}};
  for (const Result& r : {Finished(), failed, killed, retried}) {
    std::optional<Result> back = ResultFromJson(ResultToJson(r));
    ASSERT_TRUE(back) << ResultToJson(r);
    EXPECT_EQ(back->state, r.state);
    EXPECT_EQ(back->return_value, r.return_value);
    EXPECT_EQ(back->exit_status, r.exit_status);
    EXPECT_EQ(back->signal, r.signal);
    EXPECT_EQ(back->log, r.log);
    EXPECT_EQ(back->batch, r.batch);
    EXPECT_EQ(back->seconds, r.seconds);
    EXPECT_EQ(back->max_rss_kib, r.max_rss_kib);
    EXPECT_EQ(back->user_seconds, r.user_seconds);
    EXPECT_EQ(back->system_seconds, r.system_seconds);
    ASSERT_EQ(back->earlier.size(), r.earlier.size());
    for (size_t k = 0; k < r.earlier.size(); ++k) {
      EXPECT_EQ(back->earlier[k].state, r.earlier[k].state);
      EXPECT_EQ(back->earlier[k].meaning, r.earlier[k].meaning);
      EXPECT_EQ(back->earlier[k].signal, r.earlier[k].signal);
      EXPECT_EQ(back->earlier[k].exit_status, r.earlier[k].exit_status);
      EXPECT_EQ(back->earlier[k].started, r.earlier[k].started);
      EXPECT_EQ(back->earlier[k].seconds, r.earlier[k].seconds);
      EXPECT_EQ(back->earlier[k].log, r.earlier[k].log);
    }
  }
}

/// A record of the second version, which kept no earlier attempts, reads.
TEST(ResultTest, TheSecondVersionReadsWithoutAttempts) {
  std::string v3 = ResultToJson(Finished());
  std::string v2 = v3;
  v2.replace(v2.find("\"version\":3"), 11, "\"version\":2");
  v2.replace(v2.find(",\"earlier\":[]"), 13, "");
  std::optional<Result> back = ResultFromJson(v2);
  ASSERT_TRUE(back) << v2;
  EXPECT_TRUE(back->earlier.empty());
  v3.replace(v3.find(",\"earlier\":[]"), 13, "");
  EXPECT_FALSE(ResultFromJson(v3)) << "the third version keeps its attempts";
}

/// Names are bytes: two logs that differ in a byte of no UTF-8 stay apart.
TEST(ResultTest, NamesKeepTheirBytes) {
  for (const char* log : {"a\xff/job.log", "a\xfe/job.log", "a\xc2\x85/job.log"}) {
    Result r = Finished();
    r.log = log;
    r.host = std::string("node\xff") + log;
    std::optional<Result> back = ResultFromJson(ResultToJson(r));
    ASSERT_TRUE(back) << ResultToJson(r);
    EXPECT_EQ(back->log, r.log);
    EXPECT_EQ(back->host, r.host);
  }
}

/// A record of the format's first version still reads, without figures.
TEST(ResultTest, TheFirstVersionReadsWithoutFigures) {
  std::string v1 =
      "{\"attempts\":1,\"batch\":\"t\",\"exit_status\":0,\"format\":\"kvsolver-batch-result\","
      "\"host\":\"vm\",\"job_hash\":\"13\",\"log\":\"c/job.log\",\"meaning\":\"finished\","
      "\"model_hash\":\"99\",\"output\":\"\",\"return_value\":0,\"seconds\":0.007,"
      "\"signal\":null,\"started\":\"2026-12-09T20:36:54Z\",\"state\":\"finished\","
      "\"task\":\"\",\"version\":1}";
  std::optional<Result> back = ResultFromJson(v1);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->state, State::kFinished);
  EXPECT_FALSE(back->max_rss_kib);
  EXPECT_FALSE(back->user_seconds);
  Result none = Finished();
  none.max_rss_kib.reset();
  none.user_seconds.reset();
  none.system_seconds.reset();
  back = ResultFromJson(ResultToJson(none));
  ASSERT_TRUE(back) << "figures may be empty in this version too";
  EXPECT_FALSE(back->system_seconds);
}

/// Text that is no result must never read as one, least of all as success.
TEST(ResultTest, NoResult) {
  std::string good = ResultToJson(Finished());
  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string text = good;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  const std::string cases[] = {
      "",
      good.substr(0, good.size() / 2),                            // truncated
      "finished 0",                                               // garbled
      "[1,2]",
      replaced("\"version\":3", "\"version\":4"),                 // a future format
      replaced("\"earlier\":[]", "\"earlier\":{}"),                 // attempts that are none
      replaced("\"earlier\":[]", "\"earlier\":[{\"state\":\"killed\"}]"),
      replaced("\"format\":\"kvsolver-batch-result\"", "\"format\":\"other\""),
      replaced("\"return_value\":0", "\"return_value\":-3"),      // forged: state and value
      replaced("\"exit_status\":0", "\"exit_status\":1"),
      replaced("\"signal\":null", "\"signal\":9"),
      replaced("\"state\":\"finished\"", "\"state\":\"running\""),
      replaced("\"state\":\"finished\"", "\"state\":\"done\""),
      replaced("\"attempts\":1", "\"attempts\":\"1\""),            // wrong type
      replaced("\"batch\":\"token\",", ""),                       // missing key
      replaced("\"return_value\":0", "\"return_value\":4294967296"),  // 2^32 is no 0
      replaced("\"exit_status\":0", "\"exit_status\":-4294967296"),
      replaced("\"started\":\"", "\"started\":\"yesterday"),      // no instant
      replaced("\"started\":\"", "\"started\":\"x\\n"),
      replaced("\"max_rss_kib\":204800", "\"max_rss_kib\":-1"),   // no figure of cost
      replaced("\"user_seconds\":1.25", "\"user_seconds\":\"1\""),
      replaced("\"system_seconds\":0.5,", ""),                   // missing in version 2
  };
  for (const std::string& text : cases) EXPECT_FALSE(ResultFromJson(text)) << text;
}

class ResultFileTest : public ::testing::Test {
 protected:
  void SetUp() override { dirfd_ = open(dir_.path().c_str(), O_RDONLY | O_DIRECTORY); }
  void TearDown() override { close(dirfd_); }
  int Part() {
    return openat(dirfd_, "job.result.part", O_WRONLY | O_CREAT | O_TRUNC, 0666);
  }
  ScratchDir dir_;
  int dirfd_ = -1;
};

TEST_F(ResultFileTest, CommittedWholeAndRead) {
  close(Part());  // a stale one, as a killed task leaves
  EXPECT_EQ(ReplaceResult(dirfd_, "job.result", "d/job.result", Finished()), "");
  std::optional<Result> back = ReadResult(dirfd_, "job.result");
  ASSERT_TRUE(back);
  EXPECT_EQ(back->state, State::kFinished);
  EXPECT_NE(faccessat(dirfd_, "job.result.part", F_OK, 0), 0);
}

TEST_F(ResultFileTest, UnreplaceableResultSaysWhyAndLeavesNoPart) {
  ASSERT_EQ(mkdirat(dirfd_, "job.result", 0777), 0);
  std::string why = ReplaceResult(dirfd_, "job.result", "d/job.result", Finished());
  EXPECT_EQ(why.rfind("cannot replace d/job.result: ", 0), 0u) << why;
  EXPECT_NE(faccessat(dirfd_, "job.result.part", F_OK, 0), 0);
  EXPECT_FALSE(ReadResult(dirfd_, "job.result"));
}

TEST_F(ResultFileTest, AReusedStateIsNoFilesResult) {
  Result reused = Finished();
  reused.state = State::kReused;
  ASSERT_TRUE(ResultFromJson(ResultToJson(reused))) << "a row may say reused";
  ASSERT_EQ(ReplaceResult(dirfd_, "job.result", "job.result", reused), "");
  EXPECT_FALSE(ReadResult(dirfd_, "job.result"));
}

TEST_F(ResultFileTest, NeverWrittenThroughAnotherLink) {
  // A clone made with hard links shares the stale part file and the result.
  ASSERT_EQ(mkdirat(dirfd_, "clone", 0777), 0);
  int part = Part();
  close(part);
  ASSERT_EQ(linkat(dirfd_, "job.result.part", dirfd_, "clone/job.result.part", 0), 0);
  ASSERT_EQ(symlinkat("elsewhere", dirfd_, "job.log"), 0);
  for (const char* name : {"job.result.part", "job.log"}) {
    int fd = CreateFileAnew(dirfd_, name, O_WRONLY);
    ASSERT_GE(fd, 0) << name;
    ASSERT_EQ(write(fd, "mine", 4), 4);
    close(fd);
  }
  EXPECT_EQ(ReadFile(dir_.path() / "clone/job.result.part"), "");
  EXPECT_EQ(ReadFile(dir_.path() / "job.log"), "mine");
  EXPECT_NE(faccessat(dirfd_, "elsewhere", F_OK, 0), 0);
}

TEST_F(ResultFileTest, AnOwnLogIsEmptiedInPlaceAndAnyOtherMadeAnew) {
  auto inode = [&](const char* name) {
    struct stat info;
    return fstatat(dirfd_, name, &info, AT_SYMLINK_NOFOLLOW) == 0 ? info.st_ino : 0;
  };
  auto put = [&](const char* name, const char* text) {
    int fd = openat(dirfd_, name, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    ASSERT_EQ(write(fd, text, std::strlen(text)), static_cast<ssize_t>(std::strlen(text)));
    close(fd);
  };
  struct Case {
    const char* what;
    std::function<void()> make;
    bool same_file;
  } cases[] = {
      {"absent", [] {}, false},
      {"our own file", [&] { put("job.log", "an earlier run"); }, true},
      {"a file shared by a hard link",
       [&] {
         put("other.log", "another directory's");
         linkat(dirfd_, "other.log", dirfd_, "job.log", 0);
       },
       false},
      {"a symbolic link", [&] { symlinkat("other.log", dirfd_, "job.log"); }, false},
      {"a named pipe", [&] { mkfifoat(dirfd_, "job.log", 0666); }, false},
  };
  for (const Case& c : cases) {
    unlinkat(dirfd_, "job.log", 0);
    unlinkat(dirfd_, "other.log", 0);
    c.make();
    ino_t before = inode("job.log");
    int fd = OpenOwnFileEmptied(dirfd_, "job.log", O_RDWR);
    ASSERT_GE(fd, 0) << c.what;
    ASSERT_EQ(write(fd, "mine", 4), 4);
    close(fd);
    EXPECT_EQ(ReadFile(dir_.path() / "job.log"), "mine") << c.what;
    struct stat info;
    ASSERT_EQ(fstatat(dirfd_, "job.log", &info, AT_SYMLINK_NOFOLLOW), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode) && info.st_nlink == 1) << c.what;
    // A file removed may lend its number to the new one: only the kept one is told apart.
    if (c.same_file) {
      EXPECT_EQ(info.st_ino, before) << c.what;
    }
    if (inode("other.log") != 0) {
      EXPECT_NE(ReadFile(dir_.path() / "other.log"), "mine") << c.what;
    }
  }
}

TEST_F(ResultFileTest, TwoLinesOrNoLineEndIsNoResult) {
  std::string one = ResultToJson(Finished());
  for (const std::string& text : {one, one + "\n" + one + "\n"}) {
    int fd = openat(dirfd_, "job.result", O_WRONLY | O_CREAT | O_TRUNC, 0666);
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
    EXPECT_FALSE(ReadResult(dirfd_, "job.result"));
  }
}

}  // namespace
