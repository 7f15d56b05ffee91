#include "command_input/writers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "console/console.h"
#include "solverlib/kvslvcore.h"
#include "tests/test_dir.h"

namespace fs = std::filesystem;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

const std::string kPromptFile =
    "\n ^^Enter the name of the Auto-Command File or EXIT or ENTER^^ \n";
const std::string kPromptModel = "\n ^^Enter KMD filename or STOP^^ \n";

/// What a writer did: its result, the stream it wrote and the console text.
struct Outcome {
  int result;
  std::string stream;
  std::string console;
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
  return os << "{" << o.result << ", " << testing::PrintToString(o.stream)
            << ", " << testing::PrintToString(o.console) << "}";
}
bool operator==(const Outcome& a, const Outcome& b) {
  return a.result == b.result && a.stream == b.stream && a.console == b.console;
}

/// The echo of one command piece.
std::string Echo(const std::string& piece) { return "COMMAND : " + piece + "\n"; }

/// Runs every test in a scratch directory with no converter on PATH and the
/// library's UTF-8 character handling in force.
class WritersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* path = std::getenv("PATH");
    saved_path_ = path ? path : "";
    fs::create_directory("bin");
    setenv("PATH", (dir_.path() / "bin").c_str(), 1);
    SetOSCompatibility();
  }
  void TearDown() override {
    CloseOSCompatibility();
    setenv("PATH", saved_path_.c_str(), 1);
  }

  template <typename Writer>
  Outcome Run(Writer writer) {
    FILE* stream = std::fopen(kCommandStreamName, "w");
    CaptureStdout();
    int result = writer(stream);
    FlushConsole();
    std::string console = GetCapturedStdout();
    std::fclose(stream);
    return {result, ReadFile(kCommandStreamName), console};
  }
  Outcome Kcf(const std::string& base) {
    return Run([&](FILE* s) { return ReadFromKcf(s, base.c_str()); });
  }
  Outcome Kss(const std::string& model, const std::string& base) {
    return Run(
        [&](FILE* s) { return ReadFromKss(s, model.c_str(), base.c_str()); });
  }

  ScratchDir dir_;
  std::string saved_path_;
};

TEST_F(WritersTest, CommandFiles) {
  const std::string m300(300, 'm'), c99(99, 'c');
  struct Case {
    const char* what;
    std::map<std::string, std::string> files;
    std::string model;  // empty: ReadFromKcf("job"), else ReadFromKss(model, "job")
    Outcome expected;
  } cases[] = {
      {"auto-command file",
       {{"job.kcf", "m.kmd\ncmd 1\n! note\ncmd 2\nstop\nafter\n"}}, "",
       {1, "m.kmd\n1\ncmd 1\ncmd 2\nstop\n",
        "KMD : m.kmd\n" + Echo("cmd 1\n") + Echo("! note\n") + Echo("cmd 2\n") +
            Echo("stop\n")}},
      {"solver script: the first line is a command, comments never copied",
       {{"job.kss", "!first\nrun\n!stop\nStop\nSTOPPING now\nlater\n"}}, "m.kmd",
       {1, "m.kmd\n1\nrun\nStop\nSTOPPING now\n",
        "KMD : m.kmd\n" + Echo("!first\n") + Echo("run\n") + Echo("!stop\n") +
            Echo("Stop\n") + Echo("STOPPING now\n")}},
      {"the first line of an auto-command file is the model even with !",
       {{"job.kcf", "!m\nstop"}}, "",
       {1, "!m\n1\nstop", "KMD : !m\n" + Echo("stop")}},
      {".kcf before .acf", {{"job.kcf", "k\nstop\n"}, {"job.acf", "a\nstop\n"}}, "",
       {1, "k\n1\nstop\n", "KMD : k\n" + Echo("stop\n")}},
      {".acf when .kcf is missing", {{"job.acf", "a\nstop\n"}}, "",
       {1, "a\n1\nstop\n", "KMD : a\n" + Echo("stop\n")}},
      {"neither: the message names .kcf", {}, "",
       {0, "", " There is no job.kcf file\n"}},
      {"no solver script", {}, "m.kmd", {0, "", " There is no job.kss file\n"}},
      {"the UTF-8 mark never reaches the stream",
       {{"job.kcf", "\xEF\xBB\xBFm\xC3\xA9\nstop\n"}}, "",
       {1, "m\xC3\xA9\n1\nstop\n", "KMD : m\xC3\xA9\n" + Echo("stop\n")}},
      {"UTF-16LE is read as its text",
       {{"job.kss", std::string("\xFF\xFEr\0\xE9\0\n\0s\0t\0o\0p\0\n\0x\0", 20)}},
       "m",
       {1, "m\n1\nr\xC3\xA9\nstop\n",
        "KMD : m\n" + Echo("r\xC3\xA9\n") + Echo("stop\n")}},
      {"a 300-byte first line is the model name whole",
       {{"job.kcf", m300 + "\nstop\n"}}, "",
       {1, m300 + "\n1\nstop\n", "KMD : " + m300 + "\n" + Echo("stop\n")}},
      {"a long comment is one comment, a stop word further in is text",
       {{"job.kss", "!" + c99.substr(1) + "stopx\nend\nstop\n"}}, "m",
       {1, "m\n1\nend\nstop\n",
        "KMD : m\n" + Echo("!" + c99.substr(1) + "stopx\n") + Echo("end\n") +
            Echo("stop\n")}},
      {"a long line is one line",
       {{"job.kss", c99 + "dd\nstop\n"}}, "m",
       {1, "m\n1\n" + c99 + "dd\nstop\n",
        "KMD : m\n" + Echo(c99 + "dd\n") + Echo("stop\n")}},
      {"no stop line: the copy ends at the end of the file",
       {{"job.kss", "a\nb"}}, "m",
       {1, "m\n1\na\nb", "KMD : m\n" + Echo("a\n") + Echo("b")}},
      {"carriage returns stay without a converter",
       {{"job.kcf", "m\r\na\r\nstop\r\n"}}, "",
       {1, "m\r\n1\na\r\nstop\r\n", "KMD : m\r\n" + Echo("a\r\n") + Echo("stop\r\n")}},
      {"a NUL cuts the echo, never the line",
       {{"job.kss", std::string("ab\0cd\nstop\n", 11)}}, "m",
       {1, std::string("m\n1\nab\0cd\nstop\n", 15), "KMD : m\n" + Echo("ab") + Echo("stop\n")}},
      {"the model name ends at its first NUL",
       {{"job.kcf", std::string("m\0x\nstop\n", 10)}}, "",
       {1, "m\n1\nstop\n", "KMD : m\n" + Echo("stop\n")}},
      {"a first line that begins with NUL names no model",
       {{"job.kcf", std::string("\0m\nstop\n", 9)}}, "",
       {0, "", " There is no KMD file name in job.kcf\n"}},
      {"invalid UTF-8 is echoed as U+FFFD and copied as read",
       {{"job.kss", "a\xFF\nstop\n"}}, "m",
       {1, "m\n1\na\xFF\nstop\n", "KMD : m\n" + Echo("a\xEF\xBF\xBD\n") + Echo("stop\n")}},
      {"an empty auto-command file has no model name", {{"job.kcf", ""}}, "",
       {0, "", " There is no KMD file name in job.kcf\n"}},
      {"nor has one whose first line is empty", {{"job.acf", "\nstop\n"}}, "",
       {0, "", " There is no KMD file name in job.acf\n"}},
      {"a first line of blanks is a model name", {{"job.kcf", "  \nstop\n"}}, "",
       {1, "  \n1\nstop\n", "KMD :   \n" + Echo("stop\n")}},
  };
  for (const Case& c : cases) {
    for (const auto& [name, bytes] : c.files) WriteFile(name, bytes);
    Outcome got = c.model.empty() ? Kcf("job") : Kss(c.model, "job");
    EXPECT_EQ(got, c.expected) << c.what;
    for (const auto& [name, bytes] : c.files) fs::remove(name);
  }
}

TEST_F(WritersTest, ADirectoryIsNotACommandFile) {
  fs::create_directory("job.kcf");
  EXPECT_EQ(Kcf("job"), (Outcome{0, "", " There is no job.kcf file\n"}));
  WriteFile("job.acf", "a\nstop\n");
  EXPECT_EQ(Kcf("job").stream, "a\n1\nstop\n");
  fs::create_directory("job.kss");
  EXPECT_EQ(Kss("m", "job"), (Outcome{0, "", " There is no job.kss file\n"}));
}

TEST_F(WritersTest, NamesOfAnyLength) {
  const std::string base(200, 'b');
  const std::string model(5000, 'm');
  WriteFile(base + ".kss", "stop\n");
  EXPECT_EQ(Kss(model, base),
            (Outcome{1, model + "\n1\nstop\n", "KMD : " + model + "\n" + Echo("stop\n")}));
  const std::string missing(300, 'x');
  EXPECT_EQ(Kcf(missing).console, " There is no " + missing + ".kcf file\n");
}

TEST_F(WritersTest, ConsoleDialogue) {
  const std::string x99(99, 'x');
  struct Case {
    std::string input;
    int result;
    std::string answer;
    std::string stream;
    std::string console;
  } cases[] = {
      {"exit\n", 0, "exit\n", "", kPromptFile},
      {"EXIT\n", 0, "EXIT\n", "", kPromptFile},
      {"stop\n", 0, "stop\n", "", kPromptFile},
      {"STOP", 0, "STOP", "", kPromptFile},
      {"exiting\n", 0, "exiting\n", "", kPromptFile},
      {"Exit\n", 1, "Exit\n", "", kPromptFile},
      {"job\n", 1, "job\n", "", kPromptFile},
      {"", 1, "", "", kPromptFile},
      {x99 + "yy\n", 1, x99 + "yy\n", "", kPromptFile},
      {"\n" + x99 + "yy\n", 1, "\n", x99 + "yy\n0\n", kPromptFile + kPromptModel},
      {"\nm.kmd\n", 1, "\n", "m.kmd\n0\n", kPromptFile + kPromptModel},
      {"\n\n\nm\n", 1, "\n", "m\n0\n",
       kPromptFile + kPromptModel + kPromptModel + kPromptModel},
      {"\nexit\n", 1, "\n", "exit\n0\n", kPromptFile + kPromptModel},
      {"\n   \n", 1, "\n", "   \n0\n", kPromptFile + kPromptModel},
      {"\nm", 1, "\n", "m\n0\n", kPromptFile + kPromptModel},
      {"\nstopper\n", 0, "\n", "", kPromptFile + kPromptModel},
      {"\nSTOP\n", 0, "\n", "", kPromptFile + kPromptModel},
      {"\n", 0, "\n", "", kPromptFile + kPromptModel},
      {"\n\n", 0, "\n", "", kPromptFile + kPromptModel + kPromptModel},
  };
  for (const Case& c : cases) {
    WriteFile("input", c.input);
    ASSERT_NE(std::freopen("input", "r", stdin), nullptr);
    std::string answer = "junk";
    char mode[4] = "";
    Outcome got = Run([&](FILE* s) { return ReadFromConsol(s, &answer, mode); });
    EXPECT_EQ(got, (Outcome{c.result, c.stream, c.console}))
        << testing::PrintToString(c.input);
    EXPECT_EQ(answer, c.answer) << testing::PrintToString(c.input);
    EXPECT_STREQ(mode, "sta");
  }
}

TEST_F(WritersTest, ALongAnswerIsReadWholeAndTheNextPromptReadsTheNextLine) {
  const std::string x150(150, 'x');
  WriteFile("input", x150 + "\n\n" + x150 + "\nnext\nrest\n");
  ASSERT_NE(std::freopen("input", "r", stdin), nullptr);
  std::string answers[3];
  char mode[4];
  std::string streams;
  for (std::string& answer : answers)
    streams += Run([&](FILE* s) { return ReadFromConsol(s, &answer, mode); }).stream;
  EXPECT_EQ(answers[0], x150 + "\n");
  EXPECT_EQ(answers[1], "\n");
  EXPECT_EQ(answers[2], "next\n");
  EXPECT_EQ(streams, x150 + "\n0\n");
  std::string rest(16, '\0');
  rest.resize(fread(rest.data(), 1, rest.size(), stdin));
  EXPECT_EQ(rest, "rest\n") << "standard input is read no further than the line end";
}

TEST_F(WritersTest, LinesAroundTheOldPieceSize) {
  // Lines of 98 to 150 bytes whose byte 100 begins "stop" or "!": each is
  // one line, copied whole, and the list goes on after it.
  for (size_t length : {98, 99, 100, 150}) {
    for (const char* word : {"stop here", "!value"}) {
      std::string line = (std::string(99, 'c') + word + std::string(100, 'd')).substr(0, length);
      WriteFile("job.kss", line + "\nSOLVE\nstop\n");
      EXPECT_EQ(Kss("m", "job"),
                (Outcome{1, "m\n1\n" + line + "\nSOLVE\nstop\n",
                         "KMD : m\n" + Echo(line + "\n") + Echo("SOLVE\n") + Echo("stop\n")}))
          << length << " " << word;
    }
  }
}

TEST_F(WritersTest, AScriptOfManyBlocks) {
  // Lines of every kind, over several read blocks and stream writes, so that
  // lines cross the blocks' ends and the stream's writes fall anywhere.
  std::string script, stream = "m\n1\n", console = "KMD : m\n";
  for (int i = 0; script.size() < 300'000; ++i) {
    std::string n = std::to_string(i);
    std::string kinds[] = {"LOAD CASE " + n + " FACTOR 1.25\n", "! note " + n + "\n",
                           "r\xC3\xA9sum\xC3\xA9 " + n + "\n", "\n",
                           std::string(900 + i % 700, 'x') + "\n"};
    const std::string& line = kinds[i % 5];
    script += line;
    if (line[0] != '!') stream += line;
    console += Echo(line);
  }
  WriteFile("job.kss", script + "stop\nafter\n");
  Outcome got = Kss("m", "job");
  EXPECT_EQ(got.result, 1);
  EXPECT_TRUE(got.stream == stream + "stop\n");
  EXPECT_TRUE(got.console == console + Echo("stop\n"));
}

TEST_F(WritersTest, AFiveMegabyteLineIsOneEchoAndOneStreamLine) {
  std::string line;
  for (int i = 0; line.size() < 5'000'000; ++i) line += "SET \xE2\x82\xAC" + std::to_string(i) + " ";
  WriteFile("job.kss", line + "\nstop\n");
  Outcome got = Kss("m", "job");
  EXPECT_EQ(got.result, 1);
  EXPECT_TRUE(got.stream == "m\n1\n" + line + "\nstop\n") << "the stream holds the line whole";
  EXPECT_TRUE(got.console == "KMD : m\n" + Echo(line + "\n") + Echo("stop\n"))
      << "one echo, every character intact";
}

TEST_F(WritersTest, TheRealConverterRunsOnTheCommandFile) {
  setenv("PATH", saved_path_.c_str(), 1);
  if (std::system("command -v dos2unix >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "dos2unix is not installed";
  WriteFile("job.kcf", "m\r\na\r\nstop\r\n");
  EXPECT_EQ(Kcf("job").stream, "m\n1\na\nstop\n");
  EXPECT_EQ(ReadFile("job.kcf"), "m\na\nstop\n");
}

}  // namespace
