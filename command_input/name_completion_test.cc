#include "command_input/name_completion.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/test_dir.h"

namespace fs = std::filesystem;

TEST(NameCompletionTest, OffersTheNamesOfItsKind) {
  ScratchDir dir;
  fs::create_directory("cases");
  fs::create_directory("jobs");
  for (const char* file : {"job.kcf", "job.acf", "jolt.acf", "job.kss", "j.txt", ".hid.kcf",
                           ".kcf", "cases/c01.kcf", "cases/c02.kcf", "cases/x.kmd"})
    WriteFile(file, "");
  using Names = std::vector<std::string>;
  struct Case {
    std::string typed;
    NameKind kind;
    Names names;
  } cases[] = {
      {"j", NameKind::kCommandFileBase, {"job", "jobs/", "jolt"}},
      {"job.", NameKind::kCommandFileBase, {}},
      {"", NameKind::kCommandFileBase, {"cases/", "job", "jobs/", "jolt"}},
      {".", NameKind::kCommandFileBase, {".hid"}},
      {"cases/c", NameKind::kCommandFileBase, {"cases/c01", "cases/c02"}},
      {"nowhere/c", NameKind::kCommandFileBase, {}},
      {"j", NameKind::kFile, {"j.txt", "job.acf", "job.kcf", "job.kss", "jobs/", "jolt.acf"}},
      {"cases/x", NameKind::kFile, {"cases/x.kmd"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CompleteName(c.typed, c.kind), c.names) << c.typed;
  EXPECT_EQ(CommonPrefix({"cases/c01", "cases/c02"}), "cases/c0");
  EXPECT_EQ(CommonPrefix({}), "");
}
