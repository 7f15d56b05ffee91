#include "batch/outcome.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

namespace {

constexpr char kReport0[] = "KMD : beam.kmd\n Return Value of KV Solver = 0 \n\n";

int Exited(int status) { return (status & 0xFF) << 8; }
int Signaled(int signal) { return signal; }

TEST(OutcomeTest, LogEnding) {
  struct {
    std::string tail;
    std::optional<int> value;
    std::string message;
  } cases[] = {
      {kReport0, 0, ""},
      {" There is no job.kcf file\n Return Value of KV Solver = -3 \n\n", -3,
       "There is no job.kcf file"},
      {" KV stand-in: solve closed\n Return Value of KV Solver = -20 \n\n", -20, ""},
      // A line that looks like a report, but not at the end.
      {" Return Value of KV Solver = 0 \nCOMMAND : SOLVE\n", std::nullopt, ""},
      {" Return Value of KV Solver = 0x \n\n", std::nullopt, ""},
      {" Return Value of KV Solver = 99999999999 \n\n", std::nullopt, ""},
      {"", std::nullopt, ""},
  };
  for (const auto& c : cases) {
    LogEnding ending = ReadLogEnding(c.tail);
    EXPECT_EQ(ending.return_value, c.value) << c.tail;
    EXPECT_EQ(ending.message, c.message) << c.tail;
  }
}

TEST(OutcomeTest, StateAndMeaning) {
  LogEnding zero = ReadLogEnding(kReport0);
  LogEnding minus3 = ReadLogEnding(" There is no job.kcf file\n Return Value of KV Solver = -3 \n\n");
  LogEnding seven = ReadLogEnding(" Return Value of KV Solver = 7 \n\n");
  LogEnding none;
  struct {
    int status;
    Sender sender;
    LogEnding ending;
    State state;
    std::string meaning;
  } cases[] = {
      {Exited(0), Sender::kNobody, zero, State::kFinished, "finished"},
      {Exited(253), Sender::kNobody, minus3, State::kFailed, "There is no job.kcf file"},
      {Exited(7), Sender::kNobody, seven, State::kFailed, "error raised by the solver library"},
      {Exited(0), Sender::kNobody, seven, State::kFailed, "report line says 7, exit status 0"},
      {Exited(0), Sender::kNobody, none, State::kFailed, "no report line, exit status 0"},
      {Exited(127), Sender::kNobody, none, State::kFailed,
       "no report line, exit status 127: the launcher or its library can't be loaded"},
      {Signaled(SIGKILL), Sender::kNobody, zero, State::kKilled, "ended by SIGKILL"},
      {Signaled(SIGTERM), Sender::kBatch, none, State::kKilled,
       "stopped with the batch, ended by SIGTERM"},
      {Signaled(SIGTERM), Sender::kTimeout, none, State::kTimedOut, "ended by SIGTERM"},
      {Exited(246), Sender::kTimeout, ReadLogEnding(" Return Value of KV Solver = -10 \n"),
       State::kTimedOut, "convert failed"},
      {Exited(0), Sender::kTimeout, zero, State::kFinished, "finished"},
      {Exited(1), Sender::kNobody, ReadLogEnding(" Return Value of KV Solver = 256 \n\n"),
       State::kFailed, "error raised by the solver library"},
      {Exited(0), Sender::kNobody, ReadLogEnding(" Return Value of KV Solver = 256 \n\n"),
       State::kFailed, "report line says 256, exit status 0"},
  };
  for (const auto& c : cases) {
    Result r;
    JudgeRun(c.status, c.sender, c.ending, &r);
    EXPECT_EQ(r.state, c.state) << c.meaning;
    EXPECT_EQ(r.meaning, c.meaning);
  }
}

}  // namespace
