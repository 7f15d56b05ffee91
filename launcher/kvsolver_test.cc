// The launcher as a process: bin/kvsolver run in a scratch directory against
// the stand-in library, with its standard input fed from a file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <cstring>
#include <fstream>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/test_dir.h"

namespace fs = std::filesystem;

extern char** environ;

namespace {

const std::string kLong(80, '_');
const std::string kShort = std::string(21, ' ') + std::string(39, '_');
const std::string kBanner =
    kLong + "\n\n" + std::string(19, ' ') +
    "Korvelin Program Menu ( Version 9 R3 )     \n" + std::string(34, ' ') +
    "Linux 64 Bit\n" + kShort + "\n" + std::string(29, ' ') +
    "Build Date : <date>\n" + std::string(29, ' ') + "Build Time : <time>\n" +
    kShort + "\n\n" + kLong + "\n";
const std::string kConvertOk =
    "\n" + kLong + "\n                CONVERT-PROCESSING IS SUCCESSFULLY FINISHED\n" +
    kLong + "\n";
const std::string kConvertFailed =
    "\n" + kLong + "\n                       CONVERT-PROCESSING IS FAILED\n" + kLong +
    "\n";
const std::string kPrompt =
    "\n ^^Enter the name of the Auto-Command File or EXIT or ENTER^^ \n";
const std::string kModelPrompt = "\n ^^Enter KMD filename or STOP^^ \n";
const std::string kSolveClosed = " KV stand-in: solve closed\n";

std::string Report(int value) {
  return " Return Value of KV Solver = " + std::to_string(value) + " \n\n";
}
std::string Echo(const std::string& line) { return "COMMAND : " + line + "\n"; }
std::string Kmd(const std::string& model) { return "KMD : " + model + "\n"; }
std::string Model(const std::string& model, int commands) {
  return " KV stand-in: model " + model + ", " + std::to_string(commands) +
         " commands\n";
}
std::string Solving(const std::string& command) {
  return " KV stand-in: solving " + command + "\n";
}

/// The job most tests run: job.kcf with one command, and its model file.
const char kJobFile[] = "m.kmd\nrun\n! note\nstop\n";
const std::string kJobEcho =
    Kmd("m.kmd") + Echo("run\n") + Echo("! note\n") + Echo("stop\n");
const std::string kJobStream = "m.kmd\n1\nrun\nstop\n";
const std::string kConverted = Model("m.kmd", 1) + kConvertOk;
const std::string kSolved = Solving("run") + kSolveClosed;

/// What a run of the launcher left: its exit status (or -signal), its
/// standard output with the build date and time replaced, and the
/// stand-in's call log.
struct Outcome {
  int status;
  std::string out;
  std::string raw_out;
  std::string err;
  std::string log;
};

using Env = std::map<std::string, std::string>;

class KvsolverTest : public ::testing::Test {
 protected:
  KvsolverTest() : work_(dir_.path() / "work") {
    fs::create_directory(work_);
    fs::current_path(work_);
  }

  /// Runs bin/kvsolver in the work directory with `args`, `input` on its
  /// standard input and `env` added to a clean environment.
  Outcome Kvsolver(const std::vector<std::string>& args, const std::string& input = "",
                   const Env& env = {}, int closed_fd = -1) {
    return Finish(Start(args, input, env, closed_fd));
  }

  /// A launcher started and not yet waited for; its files are named by `tag`.
  struct Started {
    pid_t pid;
    std::string tag;
  };

  /// Starts bin/kvsolver as Kvsolver does, in the working directory, and
  /// returns at once. Standard input is `stdin_fd` when given, else a file
  /// holding `input`; descriptor `closed_fd`, if any, is closed.
  Started Start(const std::vector<std::string>& args, const std::string& input = "",
                const Env& env = {}, int closed_fd = -1, int stdin_fd = -1,
                const std::string& tag = "") {
    fs::path in = File("stdin", tag), out = File("stdout", tag), err = File("stderr", tag),
             log = File("calls.log", tag);
    WriteFile(in, input);
    fs::remove(log);
    std::vector<std::string> environment = CleanEnvironment();
    environment.push_back("KVS_STANDIN_LOG=" + log.string());
    for (const auto& [name, value] : env) environment.push_back(name + "=" + value);

    pid_t pid = fork();
    if (pid == 0) {
      if (stdin_fd >= 0)
        dup2(stdin_fd, 0);
      else
        Redirect(in, O_RDONLY, 0);
      Redirect(out, O_WRONLY | O_CREAT | O_TRUNC, 1);
      Redirect(err, O_WRONLY | O_CREAT | O_TRUNC, 2);
      if (closed_fd >= 0) close(closed_fd);
      // A launcher that waits for ever is ended, and the test fails.
      alarm(60);
      std::vector<std::string> argv_strings = {binary_};
      argv_strings.insert(argv_strings.end(), args.begin(), args.end());
      std::vector<char*> argv, envp;
      for (std::string& s : argv_strings) argv.push_back(s.data());
      for (std::string& s : environment) envp.push_back(s.data());
      argv.push_back(nullptr);
      envp.push_back(nullptr);
      execve(binary_.c_str(), argv.data(), envp.data());
      _exit(127);
    }
    return {pid, tag};
  }

  /// Waits for a started launcher and returns what it left.
  Outcome Finish(const Started& started) {
    int wait_status = 0;
    waitpid(started.pid, &wait_status, 0);
    Outcome run;
    run.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status)
                                        : -WTERMSIG(wait_status);
    run.raw_out = ReadFile(File("stdout", started.tag));
    run.out = Normalized(run.raw_out);
    run.err = ReadFile(File("stderr", started.tag));
    run.log = ReadFile(File("calls.log", started.tag));
    return run;
  }

  /// The file `name` of the run `tag` in the scratch directory.
  fs::path File(const std::string& name, const std::string& tag) const {
    return dir_.path() / (tag.empty() ? name : name + "." + tag);
  }

  static std::string Normalized(const std::string& out) {
    static const std::regex date("Build Date : [A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4}\n");
    static const std::regex time("Build Time :    [0-2][0-9]:[0-5][0-9]:[0-6][0-9]\n");
    return std::regex_replace(std::regex_replace(out, date, "Build Date : <date>\n"),
                              time, "Build Time : <time>\n");
  }

  ScratchDir dir_;
  fs::path work_;
  std::string binary_ = KVSOLVER_BIN;

 private:
  /// This process's environment without the stand-in's controls and
  /// loader settings, in the C locale.
  static std::vector<std::string> CleanEnvironment() {
    std::vector<std::string> clean;
    for (char** e = environ; *e != nullptr; ++e) {
      std::string entry = *e;
      if (entry.rfind("KVS_STANDIN_", 0) == 0 || entry.rfind("LD_LIBRARY_PATH=", 0) == 0 ||
          entry.rfind("LC_", 0) == 0 || entry.rfind("LANG=", 0) == 0)
        continue;
      clean.push_back(entry);
    }
    clean.push_back("LC_ALL=C");
    return clean;
  }
  static void Redirect(const fs::path& path, int flags, int fd) {
    int opened = open(path.c_str(), flags, 0644);
    dup2(opened, fd);
    close(opened);
  }
};

TEST_F(KvsolverTest, OneShotFromAnAutoCommandFile) {
  WriteFile("job.kcf", kJobFile);
  WriteFile("m.kmd", "");
  Outcome run = Kvsolver({"job"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, kBanner + kJobEcho + kConverted + kSolved + Report(0));
  EXPECT_EQ(ReadFile("z_z_z_z_.___"), kJobStream);
  EXPECT_EQ(run.log,
            "SetOSCompatibility\n"
            "GetWcStringFromUTF8 m.kmd\n"
            "GetWcStringFromUTF8 run\\n\n"
            "GetWcStringFromUTF8 ! note\\n\n"
            "GetWcStringFromUTF8 stop\\n\n"
            "SetTypeDLLcall 0\n"
            "k_convert\n"
            "k_solver 1 1\n"
            "k_endsolver\n"
            "CloseOSCompatibility\n");
}

TEST_F(KvsolverTest, OneShotFromAModelAndASolverScript) {
  WriteFile("job.kss", "!first\nrun a\nrun b\nSTOP\nafter\n");
  WriteFile("m.kmd", "");
  Outcome run = Kvsolver({"m.kmd", "job"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, kBanner + Kmd("m.kmd") + Echo("!first\n") + Echo("run a\n") +
                         Echo("run b\n") + Echo("STOP\n") + Model("m.kmd", 2) +
                         kConvertOk + Solving("run a") + Solving("run b") +
                         kSolveClosed + Report(0));
  EXPECT_EQ(ReadFile("z_z_z_z_.___"), "m.kmd\n1\nrun a\nrun b\nSTOP\n");
}

TEST_F(KvsolverTest, ConsoleCyclesUntilStop) {
  WriteFile("job.kcf", kJobFile);
  WriteFile("m.kmd", "");
  fs::path copies = dir_.path() / "streams";
  Outcome run = Kvsolver({}, "job\n\n\nm.kmd\nstop\n",
                     {{"KVS_STANDIN_STREAM_COPY", copies.string()}});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, kBanner + kPrompt + kJobEcho + kConverted + kSolved +
                         kBanner + kPrompt + kModelPrompt + kModelPrompt +
                         Model("m.kmd", 0) + kConvertOk + kSolveClosed +
                         kBanner + kPrompt + Report(0));
  EXPECT_EQ(ReadFile(copies), kJobStream + "m.kmd\n0\n");
  EXPECT_EQ(ReadFile("z_z_z_z_.___"), "") << "the last cycle emptied it";
}

TEST_F(KvsolverTest, ReturnValues) {
  WriteFile("job.kcf", kJobFile);
  WriteFile("m.kmd", "");
  const std::string job = kBanner + kJobEcho;
  struct Case {
    std::vector<std::string> args;
    std::string throws;  // KVS_STANDIN_THROW
    Env env;
    int status;
    std::string out;
  } cases[] = {
      {{"job"}, "", {}, 0, job + kConverted + kSolved + Report(0)},
      {{"nojob"}, "", {}, 253, kBanner + " There is no nojob.kcf file\n" + Report(-3)},
      {{"m.kmd", "nojob"}, "", {}, 252, kBanner + " There is no nojob.kss file\n" + Report(-4)},
      {{"job"}, "", {{"KVS_STANDIN_CONVERT_RESULT", "5"}}, 246,
       job + kConvertFailed + Report(-10)},
      {{"job"}, "k_convert=7", {}, 7, job + Report(7)},
      {{"job"}, "k_convert=-300", {}, 212, job + Report(-300)},
      {{"job"}, "k_convert=-6", {}, 250, job + Report(-6)},
      {{"job"}, "k_solver=3", {}, 236, job + kConverted + kSolveClosed + Report(-20)},
      {{"job"}, "k_solver=3,k_endsolver=9", {}, 9, job + kConverted + Report(9)},
      {{"job"}, "k_endsolver.1=4", {}, 236, job + kConverted + kSolved + Report(-20)},
      {{"job"}, "k_endsolver.1=4,k_endsolver.2=9", {}, 9,
       job + kConverted + Solving("run") + Report(9)},
      // A 0 raised after a failed solve leaves the failure standing.
      {{"job"}, "k_solver=3,k_endsolver=0", {}, 236, job + kConverted + Report(-20)},
      {{"job"}, "k_endsolver.1=4,k_endsolver.2=0", {}, 236,
       job + kConverted + Solving("run") + Report(-20)},
      {{"job"}, "k_convert=0", {}, 0, job + Report(0)},
      // A value whose low eight bits are 0 is no success.
      {{"job"}, "k_convert=256", {}, 1, job + Report(256)},
      {{"job"}, "k_convert=-256", {}, 1, job + Report(-256)},
      {{"job"}, "k_convert=512", {}, 1, job + Report(512)},
      {{"job"}, "k_convert=257", {}, 1, job + Report(257)},
      {{"job"}, "SetOSCompatibility=12", {}, 12, kBanner + Report(12)},
      {{"job"}, "GetWcStringFromUTF8.2=13", {}, 13, kBanner + Kmd("m.kmd") + Report(13)},
      {{"job"}, "SetTypeDLLcall=14", {}, 14, job + Report(14)},
      {{"job"}, "CloseOSCompatibility=15", {}, 15, job + kConverted + kSolved + Report(15)},
      {{"nojob"}, "CloseOSCompatibility=15", {}, 253,
       kBanner + " There is no nojob.kcf file\n" + Report(-3)},
      {{"a", "b", "c"}, "", {}, 255,
       kBanner + " Usage: kvsolver [auto-command-base | KMD-file solver-script-base]\n" +
           Report(-1)},
  };
  for (Case& c : cases) {
    c.env["KVS_STANDIN_THROW"] = c.throws;
    Outcome run = Kvsolver(c.args, "", c.env);
    std::string what = testing::PrintToString(c.args) + " " + c.throws;
    EXPECT_EQ(run.status, c.status) << what;
    EXPECT_EQ(run.out, c.out) << what;
  }
}

TEST_F(KvsolverTest, LinesCopiedBeforeARaiseStayInTheStream) {
  WriteFile("job.kcf", "m.kmd\nrun\nsolve\n! note\nstop\n");
  WriteFile("m.kmd", "");
  // The conversions echo the model, then each command line in turn.
  struct Case {
    std::string throws;
    std::string stream;
  } cases[] = {
      {"GetWcStringFromUTF8.2=13", "m.kmd\n1\n"},
      {"GetWcStringFromUTF8.3=13", "m.kmd\n1\nrun\n"},
      {"GetWcStringFromUTF8.5=13", "m.kmd\n1\nrun\nsolve\n"},
  };
  for (const Case& c : cases) {
    Outcome run = Kvsolver({"job"}, "", {{"KVS_STANDIN_THROW", c.throws}});
    EXPECT_EQ(run.status, 13) << c.throws;
    EXPECT_EQ(ReadFile("z_z_z_z_.___"), c.stream) << c.throws;
  }
}

TEST_F(KvsolverTest, CallsTheLibraryInOrder) {
  WriteFile("job.kcf", kJobFile);
  WriteFile("m.kmd", "");
  struct Case {
    std::vector<std::string> args;
    Env env;
    std::string calls;  // the log without the echo conversions
  } cases[] = {
      {{"job"}, {{"KVS_STANDIN_THROW", "k_solver=3"}},
       "SetOSCompatibility SetTypeDLLcall k_convert k_solver k_endsolver CloseOSCompatibility"},
      {{"job"}, {{"KVS_STANDIN_THROW", "k_endsolver.1=3"}},
       "SetOSCompatibility SetTypeDLLcall k_convert k_solver k_endsolver k_endsolver "
       "CloseOSCompatibility"},
      {{"job"}, {{"KVS_STANDIN_CONVERT_RESULT", "1"}},
       "SetOSCompatibility SetTypeDLLcall k_convert CloseOSCompatibility"},
      {{"a", "b", "c"}, {}, "SetOSCompatibility CloseOSCompatibility"},
      {{"nojob"}, {}, "SetOSCompatibility CloseOSCompatibility"},
  };
  for (const Case& c : cases) {
    Outcome run = Kvsolver(c.args, "", c.env);
    std::string calls;
    std::istringstream lines(run.log);
    for (std::string line; std::getline(lines, line);) {
      std::string name = line.substr(0, line.find(' '));
      if (name == "GetWcStringFromUTF8") continue;
      calls += (calls.empty() ? "" : " ") + name;
    }
    EXPECT_EQ(calls, c.calls) << testing::PrintToString(c.args);
  }
}

TEST_F(KvsolverTest, OtherExceptionsEndTheProcessAbnormally) {
  WriteFile("job.kcf", kJobFile);
  WriteFile("m.kmd", "");
  Outcome run = Kvsolver({"job"}, "", {{"KVS_STANDIN_THROW", "k_convert=boom"}});
  EXPECT_EQ(run.status, -SIGABRT);
  EXPECT_EQ(run.out.find("Return Value"), std::string::npos);
  EXPECT_EQ(run.log.find("CloseOSCompatibility"), std::string::npos);
}

TEST_F(KvsolverTest, ALibraryWithoutAnEntryStopsTheStart) {
  WriteFile("job.kcf", kJobFile);
  for (const char* entry : {"k_convert", "k_solver", "k_endsolver"}) {
    fs::path lib = fs::path(KVSOLVER_LIB_DIR) / ("without_" + std::string(entry));
    Outcome run = Kvsolver({"job"}, "", {{"LD_LIBRARY_PATH", lib.string()}});
    EXPECT_EQ(run.status, 250) << entry;
    EXPECT_EQ(run.out, (lib / "libkvslvcore.so").string() +
                           ": undefined symbol: " + entry + "\n");
    EXPECT_EQ(run.log, "") << "no stage runs";
  }
}

TEST_F(KvsolverTest, TheCommandStreamCannotBeCreatedOrWritten) {
  WriteFile("job.kcf", kJobFile);
  const std::string cannot_create =
      kBanner + " Cannot create the command stream file z_z_z_z_.___\n" + Report(-2);
  fs::create_directory("z_z_z_z_.___");
  Outcome run = Kvsolver({"job"});
  EXPECT_EQ(run.status, 254);
  EXPECT_EQ(run.out, cannot_create);
  EXPECT_EQ(run.log, "CloseOSCompatibility\n");
  fs::remove("z_z_z_z_.___");

  // A link in the stream's place is never written through, live or dangling.
  WriteFile(dir_.path() / "notes.txt", "my notes\n");
  for (const fs::path& target : {dir_.path() / "notes.txt", dir_.path() / "nowhere"}) {
    fs::create_symlink(target, "z_z_z_z_.___");
    run = Kvsolver({"job"});
    EXPECT_EQ(run.status, 254) << target;
    EXPECT_EQ(run.out, cannot_create) << target;
    EXPECT_EQ(fs::read_symlink("z_z_z_z_.___"), target);
    fs::remove("z_z_z_z_.___");
  }
  EXPECT_EQ(ReadFile(dir_.path() / "notes.txt"), "my notes\n");
  EXPECT_FALSE(fs::exists(dir_.path() / "nowhere"));

  ASSERT_EQ(mkfifo("z_z_z_z_.___", 0600), 0);
  run = Kvsolver({"job"});
  EXPECT_EQ(run.out, cannot_create) << "a FIFO without a reader is not waited on";
}

TEST_F(KvsolverTest, AModelNameWithALineEndIsRefused) {
  WriteFile("job.kss", "SOLVE\nstop\n");
  const std::string refused =
      kBanner + " The KMD file name holds a line end\n" + Report(-1);
  struct Case {
    std::string model;
    bool refused;
  } cases[] = {
      {"m.kmd\n1\nDELETE ALL RESULTS", true},
      {"m.kmd\nstop", true},
      {"m.kmd\r", true},
      {"m\r.kmd", true},
      {"\n", true},
      {"m.kmd ", false},
      {"!m.kmd", false},
  };
  for (const Case& c : cases) {
    WriteFile(c.model, "");
    WriteFile("z_z_z_z_.___", "the last run's stream\n");
    Outcome run = Kvsolver({c.model, "job"});
    std::string what = testing::PrintToString(c.model);
    EXPECT_EQ(run.status, c.refused ? 255 : 0) << what;
    if (c.refused) {
      EXPECT_EQ(run.out, refused) << what;
      EXPECT_EQ(run.log, "SetOSCompatibility\nCloseOSCompatibility\n") << what;
      EXPECT_EQ(ReadFile("z_z_z_z_.___"), "") << what;
    } else {
      EXPECT_EQ(ReadFile("z_z_z_z_.___"), c.model + "\n1\nSOLVE\nstop\n") << what;
    }
    fs::remove(c.model);
  }
}

TEST_F(KvsolverTest, AStreamWithAnotherHardLinkIsNeverWrittenThrough) {
  WriteFile("job.kcf", kJobFile);
  WriteFile("m.kmd", "");
  const std::string cannot_create =
      kBanner + " Cannot create the command stream file z_z_z_z_.___\n" + Report(-2);
  fs::path results = dir_.path() / "results.dat";
  WriteFile(results, "results\n");
  fs::create_hard_link(results, "z_z_z_z_.___");
  Outcome run = Kvsolver({"job"});
  EXPECT_EQ(run.status, 254);
  EXPECT_EQ(run.out, cannot_create);
  EXPECT_EQ(run.log, "CloseOSCompatibility\n");
  EXPECT_EQ(ReadFile(results), "results\n");
  EXPECT_EQ(fs::hard_link_count(results), 2u);
}

TEST_F(KvsolverTest, AFullDiskFailsTheRun) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  fs::path disk = dir_.path() / "disk";
  fs::create_directory(disk);
  if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  fs::current_path(disk);
  WriteFile("job.kss", "SOLVE\nstop\n");
  WriteFile("m.kmd", "");
  {
    // Fill the file system to its last block.
    std::ofstream filler("filler", std::ios::binary);
    std::string block(4096, 'f');
    while (filler.write(block.data(), block.size())) filler.flush();
  }
  Outcome run = Kvsolver({"m.kmd", "job"});
  fs::current_path(work_);
  umount(disk.c_str());
  EXPECT_EQ(run.status, 254);
  EXPECT_EQ(run.out, kBanner + Kmd("m.kmd") + Echo("SOLVE\n") + Echo("stop\n") +
                         " Cannot write the command stream file z_z_z_z_.___\n" + Report(-2));
  EXPECT_EQ(run.log.find("k_convert"), std::string::npos);
}

TEST_F(KvsolverTest, ConsoleDialogueEnds) {
  const std::string x99(99, 'x');
  struct Case {
    const char* what;
    std::string input;
    bool dot_kcf;  // a file named ".kcf" is present
    int status;
    std::string out;
  } cases[] = {
      {"exit at the first prompt", "exit\n", false, 0, kBanner + kPrompt + Report(0)},
      {"end of input, no .kcf", "", false, 253,
       kBanner + kPrompt + " There is no .kcf file\n" + Report(-3)},
      {"end of input runs .kcf once", "", true, 0,
       kBanner + kPrompt + kJobEcho + kConverted + kSolved + kBanner + kPrompt + Report(0)},
      {"an answer ended by end of input keeps its last character", "job", false, 253,
       kBanner + kPrompt + kJobEcho + kConverted + kSolved + kBanner + kPrompt +
           " There is no .kcf file\n" + Report(-3)},
      {"an answer cut at 99 bytes keeps all of them", x99 + "\n", false, 253,
       kBanner + kPrompt + " There is no " + x99 + ".kcf file\n" + Report(-3)},
      {"end of input at the model prompt", "\n", false, 0,
       kBanner + kPrompt + kModelPrompt + Report(0)},
      {"a missing file ends the dialogue", "nojob\njob\n", false, 253,
       kBanner + kPrompt + " There is no nojob.kcf file\n" + Report(-3)},
  };
  WriteFile("job.kcf", kJobFile);
  WriteFile("m.kmd", "");
  for (const Case& c : cases) {
    if (c.dot_kcf) WriteFile(".kcf", kJobFile);
    Outcome run = Kvsolver({}, c.input);
    EXPECT_EQ(run.status, c.status) << c.what;
    EXPECT_EQ(run.out, c.out) << c.what;
    fs::remove(".kcf");
  }
  Kvsolver({}, "exit\n");
  EXPECT_TRUE(fs::exists("z_z_z_z_.___"));
  EXPECT_EQ(ReadFile("z_z_z_z_.___"), "");
}

TEST_F(KvsolverTest, NonAsciiTextShowsInTheLibrarysCharacterSet) {
  WriteFile("na\xC3\xAFve.kcf", "mod\xC3\xA8le.kmd\n\xE2\x82\xAC 1\nstop\n");
  WriteFile("mod\xC3\xA8le.kmd", "");
  Outcome run = Kvsolver({"na\xC3\xAFve"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, kBanner + Kmd("mod\xC3\xA8le.kmd") + Echo("\xE2\x82\xAC 1\n") +
                         Echo("stop\n") + Model("mod\xC3\xA8le.kmd", 1) + kConvertOk +
                         Solving("\xE2\x82\xAC 1") + kSolveClosed + Report(0));
}

TEST_F(KvsolverTest, LongArgumentsAreUsedWhole) {
  std::string deep;
  for (int i = 0; i < 60; ++i) deep += "./";
  WriteFile("job.kss", "stop\n");
  WriteFile("m.kmd", "");
  Outcome run = Kvsolver({deep + "m.kmd", deep + "job"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, kBanner + Kmd(deep + "m.kmd") + Echo("stop\n") +
                         Model(deep + "m.kmd", 0) + kConvertOk + kSolveClosed + Report(0));
  run = Kvsolver({deep + "nojob"});
  EXPECT_EQ(run.out, kBanner + " There is no " + deep + "nojob.kcf file\n" + Report(-3));
}

TEST_F(KvsolverTest, BannerCarriesTheBuildDateAndTime) {
  Outcome run = Kvsolver({}, "exit\n");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(
      run.raw_out, m,
      std::regex("\n {29}Build Date : ((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                 "[ 123][0-9] 20[0-9]{2})\n {29}Build Time :    ([0-9]{2}:[0-9]{2}:[0-9]{2})\n")));
  // A real moment, in the build machine's local time, no later than the
  // launcher was linked.
  std::tm built = {};
  std::string stamp = m[1].str() + " " + m[3].str();
  ASSERT_NE(strptime(stamp.c_str(), "%b %d %Y %H:%M:%S", &built), nullptr) << stamp;
  std::tm normalised = built;
  normalised.tm_isdst = -1;
  std::time_t when = std::mktime(&normalised);
  EXPECT_EQ(normalised.tm_mday, built.tm_mday) << "a day of that month: " << stamp;
  EXPECT_EQ(normalised.tm_hour, built.tm_hour) << stamp;
  struct stat binary;
  ASSERT_EQ(stat(binary_.c_str(), &binary), 0);
  EXPECT_LE(when, binary.st_mtime + 60) << stamp;
}

}  // namespace

namespace {

/// The stream the stand-in was handed and what it solved, for one-shot runs
/// of a model "beam.kmd" with a solver script "s.kss".
class WholeLinesTest : public KvsolverTest {
 protected:
  WholeLinesTest() { WriteFile("beam.kmd", ""); }

  Outcome Script(const std::string& script) {
    WriteFile("s.kss", script);
    return Kvsolver({"beam.kmd", "s"});
  }
};

TEST_F(WholeLinesTest, ALongLineIsOneLine) {
  const std::string zeros93(93, '0'), zeros91(91, '0');
  struct Case {
    const char* what;
    std::string script;
    std::vector<std::string> lines;     // each echoed once, as a whole line
    std::vector<std::string> commands;  // what reaches the stream and is solved
  } cases[] = {
      {"a stop word further into a line is text",
       "TITLE " + zeros93 + "stop here\nSOLVE\nPRINT\nstop\n",
       {"TITLE " + zeros93 + "stop here", "SOLVE", "PRINT", "stop"},
       {"TITLE " + zeros93 + "stop here", "SOLVE", "PRINT"}},
      {"a \"!\" further into a line is text",
       "SET X = " + zeros91 + "!value\nSOLVE\nstop\n",
       {"SET X = " + zeros91 + "!value", "SOLVE", "stop"},
       {"SET X = " + zeros91 + "!value", "SOLVE"}},
  };
  for (const Case& c : cases) {
    Outcome run = Script(c.script);
    std::string echoes, stream = "beam.kmd\n1\n", solved;
    for (const std::string& line : c.lines) {
      echoes += Echo(line + "\n");
      stream += line + "\n";
    }
    for (const std::string& command : c.commands) solved += Solving(command);
    EXPECT_EQ(run.status, 0) << c.what;
    EXPECT_EQ(run.out, kBanner + Kmd("beam.kmd") + echoes + Model("beam.kmd", c.commands.size()) +
                           kConvertOk + solved + kSolveClosed + Report(0))
        << c.what;
    EXPECT_EQ(ReadFile("z_z_z_z_.___"), stream) << c.what;
  }
}

TEST_F(WholeLinesTest, ANulByteNeverMergesTwoLines) {
  Outcome run = Script(std::string("SET A\0 = 1\nSOLVE\nstop\n", 22));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ReadFile("z_z_z_z_.___"), std::string("beam.kmd\n1\nSET A\0 = 1\nSOLVE\nstop\n", 33));
  EXPECT_EQ(run.out, kBanner + Kmd("beam.kmd") + "COMMAND : SET A\n" + Echo("SOLVE\n") +
                         Echo("stop\n") + Model("beam.kmd", 2) + kConvertOk + Solving("SET A") +
                         Solving("SOLVE") + kSolveClosed + Report(0));
}

TEST_F(WholeLinesTest, AFiveMegabyteLine) {
  std::string line = "SET T = ";
  while (line.size() < 5'000'000) line += "1.25 \xC3\xA9 ";
  Outcome run = Script(line + "\nstop\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(ReadFile("z_z_z_z_.___") == "beam.kmd\n1\n" + line + "\nstop\n");
  EXPECT_TRUE(run.out == kBanner + Kmd("beam.kmd") + Echo(line + "\n") + Echo("stop\n") +
                             Model("beam.kmd", 1) + kConvertOk + Solving(line) + kSolveClosed +
                             Report(0))
      << "one echo line and one solved line, byte for byte";
}

/// A path to beam.kmd of `length` bytes: "./" repeated, then the name.
std::string PathOfLength(size_t length) {
  std::string path;
  while (path.size() + 8 < length) path += "./";
  return path + "beam.kmd";
}

TEST_F(WholeLinesTest, ALongModelNameIsWhole) {
  for (size_t length : {104, 300}) {
    std::string path = PathOfLength(length);
    ASSERT_EQ(path.size(), length);
    WriteFile("job.kcf", path + "\nSOLVE\nstop\n");
    Outcome run = Kvsolver({"job"});
    EXPECT_EQ(run.status, 0) << length;
    EXPECT_EQ(ReadFile("z_z_z_z_.___"), path + "\n1\nSOLVE\nstop\n");
    EXPECT_EQ(run.out, kBanner + Kmd(path) + Echo("SOLVE\n") + Echo("stop\n") + Model(path, 1) +
                           kConvertOk + Solving("SOLVE") + kSolveClosed + Report(0));
  }
}

TEST_F(WholeLinesTest, LongConsoleAnswersAreReadWhole) {
  const std::string name(146, 'j');  // with ".kcf", a 150-byte path
  WriteFile(name + ".kcf", "beam.kmd\nstop\n");
  const std::string model = PathOfLength(150);
  Outcome run = Kvsolver({}, name + "\n\n" + model + "\nexit\n",
                         {{"KVS_STANDIN_STREAM_COPY", (dir_.path() / "streams").string()}});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ReadFile(dir_.path() / "streams"), "beam.kmd\n1\nstop\n" + model + "\n0\n");
  EXPECT_EQ(run.out, kBanner + kPrompt + Kmd("beam.kmd") + Echo("stop\n") + Model("beam.kmd", 0) +
                         kConvertOk + kSolveClosed + kBanner + kPrompt + kModelPrompt +
                         Model(model, 0) + kConvertOk + kSolveClosed + kBanner + kPrompt +
                         Report(0));
}

TEST_F(KvsolverTest, ClosedStandardDescriptorsNeverTakeTheStream) {
  WriteFile("job.kcf", "m.kmd\r\nrun\r\nstop\r\n");
  WriteFile("m.kmd", "");
  for (int fd : {0, 1, 2}) {
    WriteFile("job.kcf", "m.kmd\r\nrun\r\nstop\r\n");
    Outcome run = Kvsolver({"job"}, "", {}, fd);
    EXPECT_EQ(run.status, 0) << fd;
    EXPECT_EQ(ReadFile("z_z_z_z_.___"), kJobStream.substr(0, 6) + "1\nrun\nstop\n")
        << "descriptor " << fd << " closed";
    if (fd == 1) {
      EXPECT_EQ(run.raw_out, "");
    }
  }
}

TEST_F(KvsolverTest, ACommandFileThatIsNoRegularFileIsNeverWaitedOn) {
  WriteFile("m.kmd", "");
  ASSERT_EQ(mkfifo("job.kcf", 0600), 0);
  Outcome run = Kvsolver({"job"});
  EXPECT_EQ(run.status, 253);
  EXPECT_EQ(run.out, kBanner + " There is no job.kcf file\n" + Report(-3));
  WriteFile("job.acf", kJobFile);
  run = Kvsolver({"job"});
  EXPECT_EQ(run.status, 0) << "the .acf beside the FIFO is read";
  EXPECT_EQ(ReadFile("z_z_z_z_.___"), kJobStream);
  ASSERT_EQ(mkfifo("s.kss", 0600), 0);
  EXPECT_EQ(Kvsolver({"m.kmd", "s"}).status, 252);
}

TEST_F(KvsolverTest, ALinkedCommandFileIsConverted) {
  if (std::system("command -v dos2unix >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "dos2unix is not installed";
  fs::create_directory(dir_.path() / "templates");
  WriteFile(dir_.path() / "templates" / "case.kcf", "m.kmd\r\nrun\r\nstop\r\n");
  fs::create_symlink("../templates/case.kcf", "job.kcf");
  WriteFile("m.kmd", "");
  Outcome run = Kvsolver({"job"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ReadFile("z_z_z_z_.___"), kJobStream.substr(0, 6) + "1\nrun\nstop\n");
  EXPECT_EQ(ReadFile(dir_.path() / "templates" / "case.kcf"), "m.kmd\nrun\nstop\n");
  EXPECT_TRUE(fs::is_symlink("job.kcf"));
}

TEST_F(KvsolverTest, TheLoadersMessageIsNeverDropped) {
  fs::path dir = dir_.path() / "Gr\xC3\xBC\xC3\x9F" "e";
  fs::create_directory(dir);
  fs::copy_file(fs::path(KVSOLVER_LIB_DIR) / "without_k_convert" / "libkvslvcore.so",
                dir / "libkvslvcore.so");
  Outcome run = Kvsolver({"job"}, "", {{"LD_LIBRARY_PATH", dir.string()}});
  EXPECT_EQ(run.status, 250);
  EXPECT_EQ(run.out, (dir_.path() / "Gr????e" / "libkvslvcore.so").string() +
                         ": undefined symbol: k_convert\n")
      << "in the C locale each byte it can't show is a '?'";
}

TEST_F(KvsolverTest, ALibraryInTheWorkingDirectoryIsNeverLoaded) {
  // A copy of the build tree's launcher, with no library beside it, run
  // where a library of the right name lies.
  fs::create_directories(dir_.path() / "copy" / "bin");
  binary_ = (dir_.path() / "copy" / "bin" / "kvsolver").string();
  fs::copy_file(KVSOLVER_BIN, binary_);
  fs::copy_file(fs::path(KVSOLVER_LIB_DIR) / "without_k_convert" / "libkvslvcore.so",
                "libkvslvcore.so");
  WriteFile("job.kcf", kJobFile);
  Outcome run = Kvsolver({"job"});
  EXPECT_EQ(run.status, 127);
  EXPECT_NE(run.err.find("error while loading shared libraries"), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
}

}  // namespace

namespace {

TEST_F(KvsolverTest, HelpAndVersionAnswerAtOnce) {
  WriteFile("z_z_z_z_.___", "the last run's stream\n");
  Outcome help = Kvsolver({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: kvsolver", 0), 0u) << help.out;
  for (const char* named : {"kvsolver BASE", "kvsolver KMD-FILE BASE", "BASE.kcf", "BASE.acf",
                            "BASE.kss", "z_z_z_z_.___", "man kvsolver"})
    EXPECT_NE(help.out.find(named), std::string::npos) << named;

  Outcome version = Kvsolver({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(std::regex_match(
      version.raw_out,
      std::regex("kvsolver " KVSOLVER_VERSION "\nKorvelin Program Menu \\( Version 9 R3 \\)\n"
                 "Build Date : [A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4}\n"
                 "Build Time : [0-2][0-9]:[0-5][0-9]:[0-6][0-9]\n")))
      << version.raw_out;
  for (const Outcome& run : {help, version}) {
    EXPECT_EQ(run.out.find(kLong), std::string::npos) << "no banner";
    EXPECT_EQ(run.log, "") << "no call of the library";
  }
  EXPECT_EQ(ReadFile("z_z_z_z_.___"), "the last run's stream\n");

  for (const char* base : {"-job", "--job", "--help-me", "-h"}) {
    Outcome run = Kvsolver({base});
    EXPECT_EQ(run.status, 253) << base;
    EXPECT_EQ(run.out, kBanner + " There is no " + base + ".kcf file\n" + Report(-3));
  }
}

}  // namespace

namespace {

/// Waits until the file at `path` holds `text`, for at most 30 seconds.
bool WaitFor(const fs::path& path, const std::string& text) {
  for (int i = 0; i < 3000; ++i) {
    if (ReadFile(path).find(text) != std::string::npos) return true;
    usleep(10000);
  }
  return false;
}

TEST_F(KvsolverTest, OneRunPerDirectory) {
  WriteFile("job.kcf", kJobFile);
  WriteFile("m.kmd", "");
  const std::string in_use =
      kBanner + " The command stream file z_z_z_z_.___ is in use by another run\n" + Report(-5);

  // A console run waiting at its first prompt holds the stream.
  int answers[2];
  ASSERT_EQ(pipe(answers), 0);
  Started console = Start({}, "", {}, -1, answers[0], "console");
  close(answers[0]);
  ASSERT_TRUE(WaitFor(File("stdout", "console"), kPrompt));
  for (const std::vector<std::string>& args : {std::vector<std::string>{"job"}, {}}) {
    Outcome second = Kvsolver(args, "job\n");
    EXPECT_EQ(second.status, 251) << args.size();
    EXPECT_EQ(second.out, in_use) << args.size();
    EXPECT_EQ(second.log, "CloseOSCompatibility\n") << "no set-up, no stage";
  }
  ASSERT_EQ(write(answers[1], "exit\n", 5), 5);
  close(answers[1]);
  EXPECT_EQ(Finish(console).out, kBanner + kPrompt + Report(0));

  // So does a run in its solve stage, and its stream keeps its bytes.
  fs::path release = dir_.path() / "release";
  Started solving = Start({"job"}, "", {{"KVS_STANDIN_SOLVE_WAIT", release.string()}}, -1, -1,
                          "solving");
  ASSERT_TRUE(WaitFor(File("calls.log", "solving"), "k_solver"));
  Outcome second = Kvsolver({"job"});
  EXPECT_EQ(second.status, 251);
  EXPECT_EQ(second.out, in_use);
  EXPECT_EQ(ReadFile("z_z_z_z_.___"), kJobStream);

  // A run in another directory goes on meanwhile.
  fs::path other = dir_.path() / "other";
  fs::create_directory(other);
  fs::copy_file("job.kcf", other / "job.kcf");
  fs::copy_file("m.kmd", other / "m.kmd");
  fs::current_path(other);
  EXPECT_EQ(Kvsolver({"job"}).status, 0) << "another directory is never blocked";
  fs::current_path(work_);

  WriteFile(release, "");
  Outcome first = Finish(solving);
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(first.out, kBanner + kJobEcho + kConverted + kSolved + Report(0));
  EXPECT_EQ(Kvsolver({"job"}).status, 0) << "once the first run ended, the next one runs";
}

TEST_F(KvsolverTest, ClonedCaseDirectoriesShareNoStream) {
  const std::string cannot_create =
      kBanner + " Cannot create the command stream file z_z_z_z_.___\n" + Report(-2);
  const fs::path a = dir_.path() / "a", b = dir_.path() / "b";
  fs::create_directory(a);
  fs::current_path(a);
  WriteFile("job.kcf", kJobFile);
  WriteFile("m.kmd", "");
  // A run in a solving while a is cloned, as cp -al does: every file linked.
  fs::path release = dir_.path() / "release";
  Started solving =
      Start({"job"}, "", {{"KVS_STANDIN_SOLVE_WAIT", release.string()}}, -1, -1, "a");
  ASSERT_TRUE(WaitFor(File("calls.log", "a"), "k_solver"));
  fs::copy(a, b, fs::copy_options::recursive | fs::copy_options::create_hard_links);
  ASSERT_EQ(fs::hard_link_count(b / "z_z_z_z_.___"), 2u);

  fs::current_path(b);
  Outcome run = Kvsolver({"job"});
  EXPECT_EQ(run.status, 254) << "not the lock of the run in a";
  EXPECT_EQ(run.out, cannot_create);
  WriteFile(release, "");
  EXPECT_EQ(Finish(solving).status, 0);
  for (const fs::path& dir : {a, b}) {
    fs::current_path(dir);
    run = Kvsolver({"job"});
    EXPECT_EQ(run.status, 254) << dir;
    EXPECT_EQ(run.out, cannot_create) << dir;
    EXPECT_EQ(ReadFile(a / "z_z_z_z_.___"), kJobStream) << dir;
    EXPECT_EQ(ReadFile(a / "job.kcf"), kJobFile) << dir;
  }

  // Without the stream, each directory makes its own.
  fs::remove(b / "z_z_z_z_.___");
  WriteFile(b / "job.kcf.new", "n.kmd\nSOLVE\nstop\n");
  fs::rename(b / "job.kcf.new", b / "job.kcf");
  WriteFile(b / "n.kmd", "");
  for (const fs::path& dir : {b, a}) {
    fs::current_path(dir);
    EXPECT_EQ(Kvsolver({"job"}).status, 0) << dir;
  }
  EXPECT_EQ(ReadFile(a / "z_z_z_z_.___"), kJobStream);
  EXPECT_EQ(ReadFile(b / "z_z_z_z_.___"), "n.kmd\n1\nSOLVE\nstop\n");
  fs::current_path(work_);
}

}  // namespace
