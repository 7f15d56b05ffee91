#include "batch/job_figures.h"

#include <gtest/gtest.h>

namespace {

TEST(ReportTest, PeakMemoryAsAPersonReadsIt) {
  struct {
    std::optional<long long> kib;
    const char* text;
  } cases[] = {
      {std::nullopt, ""},      {0, "0 KiB"},          {1023, "1023 KiB"},
      {1024, "1.0 MiB"},       {208908, "204.0 MiB"}, {1048524, "1023.9 MiB"},   {1048575, "1.00 GiB"},
      {1048576, "1.00 GiB"},   {5LL << 30, "5120.00 GiB"},
  };
  for (const auto& c : cases) EXPECT_EQ(MemoryText(c.kib), c.text) << c.text;
}

}  // namespace
