#include "command_input/file_code.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/test_dir.h"

namespace fs = std::filesystem;

namespace {

/// Runs each test in a scratch directory with PATH set to a directory of
/// its own, so the test decides which converter runs.
class FileCodeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* path = std::getenv("PATH");
    saved_path_ = path ? path : "";
    fs::create_directory(bin());
    setenv("PATH", bin().c_str(), 1);
  }
  void TearDown() override { setenv("PATH", saved_path_.c_str(), 1); }

  fs::path bin() const { return dir_.path() / "bin"; }

  /// A converter that logs each argument in brackets, a call a line.
  void InstallLoggingConverter() {
    WriteScript(bin(), "dos2unix",
                "for a in \"$@\"; do printf '[%s]' \"$a\"; done >> '" +
                    (dir_.path() / "converter.log").string() +
                    "'\necho >> '" + (dir_.path() / "converter.log").string() +
                    "'\n");
  }
  std::string ConverterLog() { return ReadFile(dir_.path() / "converter.log"); }

  /// Opens `path` with a code of `initial`; returns the code and the bytes
  /// the stream delivers, or "no stream".
  std::pair<int, std::string> Open(const std::string& path,
                                   enFileCode initial = FileCodePlain) {
    enFileCode code = initial;
    FILE* file = OpenFileAsFileCode(&code, path.c_str());
    if (file == nullptr) return {code, "no stream"};
    std::string bytes;
    int c;
    while ((c = std::fgetc(file)) != EOF) bytes += static_cast<char>(c);
    std::fclose(file);
    return {code, bytes};
  }

  ScratchDir dir_;
  std::string saved_path_;
};

TEST_F(FileCodeTest, FindsTheMark) {
  struct Case {
    std::string bytes;
    enFileCode initial;
    int code;
  } cases[] = {
      {"", FileCodePlain, 0},
      {"\xFF", FileCodePlain, 0},
      {"\xFF\xFE", FileCodePlain, 1},
      {"\xFF\xFE\x00", FileCodePlain, 1},
      {"\xFF\xFEX", FileCodePlain, 1},
      {"\xEF\xBB", FileCodePlain, 0},
      {"\xEF\xBB\xBF", FileCodePlain, 2},
      {"\xEF\xBB\xBFmodel\n", FileCodePlain, 2},
      {"model\n", FileCodePlain, 0},
      {"model\n", FileCodeUtf8, 2},  // no mark: the code stays as it was
  };
  for (const Case& c : cases) {
    WriteFile("job.kcf", c.bytes);
    auto [code, bytes] = Open("job.kcf", c.initial);
    EXPECT_EQ(code, c.code) << testing::PrintToString(c.bytes);
    EXPECT_EQ(bytes, c.bytes) << "the stream starts at the first byte";
  }
}

TEST_F(FileCodeTest, WhatCannotBeOpened) {
  fs::create_directory("dir.kcf");
  ASSERT_EQ(mkfifo("fifo.kcf", 0600), 0);
  fs::create_symlink("/dev/zero", "device.kcf");
  WriteFile("locked.kcf", "m\n");
  fs::permissions("locked.kcf", fs::perms::none);
  InstallLoggingConverter();
  // A FIFO without a writer would block an open that waits for one.
  for (const char* path : {"missing.kcf", "dir.kcf", "fifo.kcf", "device.kcf", "locked.kcf"}) {
    if (std::string(path) == "locked.kcf" && geteuid() == 0) continue;
    EXPECT_EQ(Open(path, FileCodeUtf8), std::make_pair(2, std::string("no stream")))
        << path;
  }
  EXPECT_EQ(ConverterLog(), "") << "the converter runs only on files it can read";
}

TEST_F(FileCodeTest, ConverterGetsThePathAsOneArgument) {
  InstallLoggingConverter();
  const std::string names[] = {
      "plain.kcf",          "with blank.kcf",   "quote'd\".kcf",
      "semi;touch pwned.kcf", "$(touch pwned).kcf", "`touch pwned`.kcf",
      "-n.kcf",             "--help.kcf",       "*.kcf",
  };
  std::string expected;
  for (const std::string& name : names) {
    WriteFile(name, "model\n");
    EXPECT_EQ(Open(name).second, "model\n") << name;
    expected += "[-F][--][" + name + "]\n";
  }
  EXPECT_EQ(ConverterLog(), expected);
  EXPECT_FALSE(fs::exists("pwned")) << "nothing but the converter ran";
}

TEST_F(FileCodeTest, WithoutAConverterTheFileIsReadAsItIs) {
  WriteFile("job.kcf", "model\r\nstop\r\n");
  EXPECT_EQ(Open("job.kcf").second, "model\r\nstop\r\n");
}

TEST_F(FileCodeTest, TheRealConverterRewritesInPlace) {
  setenv("PATH", saved_path_.c_str(), 1);
  if (std::system("command -v dos2unix >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "dos2unix is not installed";
  const std::string names[] = {"job.kcf", "-n.kcf", "with blank;x.kcf"};
  for (const std::string& name : names) {
    WriteFile(name, "model\r\nstop\r\n");
    EXPECT_EQ(Open(name).second, "model\nstop\n") << name;
    EXPECT_EQ(ReadFile(name), "model\nstop\n") << name;
  }
  // A symbolic link is converted like the file it names, and stays a link.
  fs::create_directory("templates");
  WriteFile("templates/case.kcf", "model\r\nstop\r\n");
  fs::create_symlink("templates/case.kcf", "linked.kcf");
  EXPECT_EQ(Open("linked.kcf").second, "model\nstop\n");
  EXPECT_EQ(ReadFile("templates/case.kcf"), "model\nstop\n");
  EXPECT_TRUE(fs::is_symlink("linked.kcf"));
  // A UTF-16 file with its mark becomes UTF-8 without one.
  WriteFile("wide.kcf", std::string("\xFF\xFEm\0\r\0\n\0", 8));
  EXPECT_EQ(Open("wide.kcf"), std::make_pair(0, std::string("m\n")));
}

}  // namespace
