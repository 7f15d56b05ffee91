#include "batch/escape.h"

#include <gtest/gtest.h>

namespace {

TEST(EscapeTest, ControlsAndFields) {
  struct {
    std::string text, shown, field;
  } cases[] = {
      {"case1", "case1", "case1"},
      {"tab\there", "tab\\there", "tab\\there"},
      {"line\nend\r", "line\\nend\\r", "line\\nend\\r"},
      {"esc\033[2J", "esc\\033[2J", "esc\033[2J"},
      {"back\\slash", "back\\slash", "back\\\\slash"},
      {"del\x7f", "del\\177", "del\x7f"},
      {"caf\xc3\xa9", "caf\xc3\xa9", "caf\xc3\xa9"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EscapeControls(c.text), c.shown);
    EXPECT_EQ(EscapeField(c.text), c.field);
  }
}

}  // namespace
