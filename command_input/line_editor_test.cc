// The console dialogue at a terminal: bin/kvsolver run on a pseudo-terminal
// against the stand-in library, typed at as a user would.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/test_dir.h"

namespace fs = std::filesystem;

namespace {

const std::string kPrompt =
    "\n ^^Enter the name of the Auto-Command File or EXIT or ENTER^^ \n";
const std::string kModelPrompt = "\n ^^Enter KMD filename or STOP^^ \n";
const std::string kLeft = "\x1b[D", kUp = "\x1b[A", kDown = "\x1b[B", kHome = "\x1b[H";

/// One step of a session: wait until the output has shown `prompt` once
/// more and the editor reads the terminal, then type `keys`.
struct Step {
  std::string prompt;
  std::string keys;
};

/// What a session left: exit status, everything the terminal received
/// (each "\r\n" the terminal makes of a line end as "\n"), the streams
/// the stand-in converted, one after another.
struct Session {
  int status;
  std::string screen;
  std::string streams;
};

class LineEditorTest : public ::testing::Test {
 protected:
  LineEditorTest() {
    WriteFile("job.kcf", "m.kmd\nrun\nstop\n");
    WriteFile("m.kmd", "");
    fs::create_directory(dir_.path() / "home");
  }

  /// Runs bin/kvsolver without arguments on a new pseudo-terminal, with
  /// TERM=xterm and `env` added, and types the keys of `steps`.
  Session Run(const std::vector<Step>& steps, const std::vector<std::string>& env = {}) {
    fs::path streams = dir_.path() / "streams";
    fs::remove(streams);
    std::vector<std::string> environment = {
        "PATH=/usr/bin:/bin", "TERM=xterm", "HOME=" + (dir_.path() / "home").string(),
        "LC_ALL=C", "KVS_STANDIN_STREAM_COPY=" + streams.string()};
    environment.insert(environment.end(), env.begin(), env.end());

    winsize size = {24, 80, 0, 0};
    int master = -1;
    pid_t pid = forkpty(&master, nullptr, nullptr, &size);
    if (pid == 0) {
      alarm(60);
      std::vector<char*> argv = {const_cast<char*>(KVSOLVER_BIN), nullptr}, envp;
      for (std::string& s : environment) envp.push_back(s.data());
      envp.push_back(nullptr);
      execve(KVSOLVER_BIN, argv.data(), envp.data());
      _exit(127);
    }
    Session session = {};
    size_t seen = 0;
    for (const Step& step : steps) {
      size_t at = WaitFor(master, step.prompt, seen, &session.screen);
      if (at == std::string::npos) {
        ADD_FAILURE() << "no prompt " << step.prompt << " after: " << session.screen;
        break;
      }
      seen = at + step.prompt.size();
      WaitForEditing(master);
      EXPECT_EQ(write(master, step.keys.data(), step.keys.size()),
                static_cast<ssize_t>(step.keys.size()));
    }
    WaitFor(master, "\x01never\x01", seen, &session.screen);  // to the end of output
    close(master);
    int wait_status = 0;
    waitpid(pid, &wait_status, 0);
    session.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -WTERMSIG(wait_status);
    session.streams = ReadFile(streams);
    return session;
  }

  ScratchDir dir_;

 private:
  /// Reads the terminal into `screen` until `text` stands in it at or after
  /// `from`, or the output ends; returns where it stands, or npos.
  static size_t WaitFor(int master, const std::string& text, size_t from, std::string* screen) {
    for (;;) {
      size_t at = screen->find(text, from);
      if (at != std::string::npos) return at;
      pollfd ready = {master, POLLIN, 0};
      if (poll(&ready, 1, 20000) <= 0) return std::string::npos;
      char buffer[4096];
      ssize_t n = read(master, buffer, sizeof buffer);
      if (n <= 0) return std::string::npos;
      size_t start = screen->empty() ? 0 : screen->size() - 1;
      screen->append(buffer, n);
      for (size_t end = start; (end = screen->find("\r\n", end)) != std::string::npos;)
        screen->erase(end, 1);
    }
  }

  /// Waits until the terminal is out of canonical mode: the editor reads.
  static void WaitForEditing(int master) {
    termios modes;
    for (int i = 0; i < 2000 && tcgetattr(master, &modes) == 0 && (modes.c_lflag & ICANON); ++i)
      usleep(5000);
  }
};

TEST_F(LineEditorTest, EditedAnswersRunWhatTheScreenShows) {
  const std::string job = "m.kmd\n1\nrun\nstop\n";
  fs::create_directory("cases");
  WriteFile("cases/c01.kcf", "m.kmd\nc01\nstop\n");
  WriteFile("cases/d02.acf", "m.kmd\nd02\nstop\n");
  struct Case {
    const char* what;
    std::string keys;  // at the first prompt; "exit" follows at the next
    std::string streams;
  } cases[] = {
      {"Left and a letter", "jb" + kLeft + "o\r", job},
      {"Home and a letter", "ob" + kHome + "j\r", job},
      {"Backspace", "jox\x7f" "b\r", job},
      {"Ctrl-A, Ctrl-E", "ob\x01j\x05\r", job},
      {"Ctrl-U", "cases/c01\x15job\r", job},
      {"Ctrl-W, a word at a time", "ca/xyz\x17\x17job\r", job},
      {"Ctrl-D within the line", "jobx" + kLeft + "\x04\r", job},
      {"Ctrl-K", "jobcases\x1b[D\x1b[D\x1b[D\x1b[D\x1b[D\x0b\r", job},
      {"Tab completes the one match", "jo\t\r", job},
      {"Tab in a directory typed so far", "cases/c\t\r", "m.kmd\n1\nc01\nstop\n"},
      {"Tab completes a directory, then a .acf", "cas\td\t\r", "m.kmd\n1\nd02\nstop\n"},
  };
  for (const Case& c : cases) {
    Session session = Run({{kPrompt, c.keys}, {kPrompt, "exit\r"}});
    EXPECT_EQ(session.status, 0) << c.what;
    EXPECT_EQ(session.streams, c.streams) << c.what;
  }
}

TEST_F(LineEditorTest, TabListsTheMatchesWhenTheyDiffer) {
  WriteFile("jolt.acf", "m.kmd\njolt\nstop\n");
  WriteFile("jo.txt", "");
  Session session = Run({{kPrompt, "jo\t"}, {"job  jolt  \n", "lt\r"}, {kPrompt, "exit\r"}});
  EXPECT_EQ(session.status, 0);
  EXPECT_EQ(session.streams, "m.kmd\n1\njolt\nstop\n");
}

TEST_F(LineEditorTest, UpAndDownRecallEarlierAnswersOfThePrompt) {
  const std::string job = "m.kmd\n1\nrun\nstop\n";
  WriteFile("n.kmd", "");
  Session session = Run({{kPrompt, "job\r"},
                         {kPrompt, "\r"},
                         {kModelPrompt, "n.kmd\r"},
                         {kPrompt, kUp + "\r"},  // the first prompt's last answer
                         {kPrompt, "\r"},
                         {kModelPrompt, kUp + kDown + kUp + "\r"},
                         {kPrompt, "exit\r"}});
  EXPECT_EQ(session.status, 0);
  EXPECT_EQ(session.streams, job + "n.kmd\n0\n" + job + "n.kmd\n0\n");
}

TEST_F(LineEditorTest, CtrlDIsTheEndOfInput) {
  struct Case {
    const char* what;
    std::vector<Step> steps;
    int status;
    std::string shown;
  } cases[] = {
      {"at the first prompt: an empty base name", {{kPrompt, "\x04"}}, 253,
       kPrompt + " There is no .kcf file\n"},
      {"at the model prompt: the dialogue ends", {{kPrompt, "\r"}, {kModelPrompt, "\x04"}}, 0,
       kModelPrompt + " Return Value of KV Solver = 0 \n\n"},
      {"twice at the first prompt with a .kcf", {{kPrompt, "\x04"}, {kPrompt, "\x04"}}, 0,
       kPrompt + " Return Value of KV Solver = 0 \n\n"},
  };
  for (const Case& c : cases) {
    if (c.status == 0 && c.steps.size() == 2 && c.steps[1].prompt == kPrompt)
      WriteFile(".kcf", "m.kmd\nstop\n");
    Session session = Run(c.steps);
    EXPECT_EQ(session.status, c.status) << c.what;
    EXPECT_NE(session.screen.find(c.shown), std::string::npos) << c.what << "\n" << session.screen;
    fs::remove(".kcf");
  }
}

TEST_F(LineEditorTest, NoStartUpFileIsReadAndNoHistoryFileWritten) {
  // Either file, were it read, would turn "j" into the end of input.
  WriteFile(dir_.path() / "home" / ".editrc", "bind j ed-end-of-file\n");
  WriteFile(dir_.path() / "editrc", "bind j ed-end-of-file\n");
  Session session = Run({{kPrompt, "job\r"}, {kPrompt, "exit\r"}},
                        {"EDITRC=" + (dir_.path() / "editrc").string()});
  EXPECT_EQ(session.status, 0);
  EXPECT_EQ(session.streams, "m.kmd\n1\nrun\nstop\n");
  std::vector<fs::path> home(fs::directory_iterator(dir_.path() / "home"), {});
  EXPECT_EQ(home, std::vector<fs::path>{dir_.path() / "home" / ".editrc"});
}

}  // namespace
