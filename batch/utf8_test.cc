#include "batch/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Utf8Test, DecodesOneCharacter) {
  struct {
    std::string text;
    char32_t code;
    size_t length;
  } cases[] = {
      {"a", U'a', 1},
      {std::string(1, '\0'), 0, 1},
      {"\x7f", 0x7F, 1},
      {"\xc2\x80", 0x80, 2},
      {"\xc3\xa9x", 0xE9, 2},
      {"\xdf\xbf", 0x7FF, 2},
      {"\xe0\xa0\x80", 0x800, 3},
      {"\xed\x9f\xbf", 0xD7FF, 3},
      {"\xee\x80\x80", 0xE000, 3},
      {"\xef\xbf\xbd", 0xFFFD, 3},
      {"\xf0\x90\x80\x80", 0x10000, 4},
      {"\xf4\x8f\xbf\xbf", 0x10FFFF, 4},
      // No character: a continuation byte alone, a lead that leads nothing,
      // a cut sequence, overlong forms, surrogates, past U+10FFFF.
      {"\x80", 0, 0},
      {"\xbf", 0, 0},
      {"\xff", 0, 0},
      {"\xfe", 0, 0},
      {"\xc2", 0, 0},
      {"\xc2x", 0, 0},
      {"\xe2\x82", 0, 0},
      {"\xc0\x80", 0, 0},
      {"\xc1\xbf", 0, 0},
      {"\xe0\x9f\xbf", 0, 0},
      {"\xf0\x8f\xbf\xbf", 0, 0},
      {"\xed\xa0\x80", 0, 0},
      {"\xed\xbf\xbf", 0, 0},
      {"\xf4\x90\x80\x80", 0, 0},
      {"\xf5\x80\x80\x80", 0, 0},
  };
  for (const auto& c : cases) {
    Utf8Char got = DecodeUtf8At(c.text, 0);
    EXPECT_EQ(got.length, c.length) << testing::PrintToString(c.text);
    if (c.length > 0) {
      EXPECT_EQ(got.code, c.code) << testing::PrintToString(c.text);
    }
  }
}

TEST(Utf8Test, WholeTexts) {
  struct {
    std::string text;
    bool utf8;
  } cases[] = {
      {"", true},
      {"case1/job.log", true},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", true},
      {"a\xff", false},
      {"\xe2\x82\xac\xe2\x82", false},
      {"x\x80y", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsUtf8(c.text), c.utf8) << testing::PrintToString(c.text);
}

TEST(Utf8Test, ColumnsATerminalGives) {
  struct {
    std::string text;
    size_t columns;
  } cases[] = {
      {"", 0},
      {"case1", 5},
      {"caf\xc3\xa9", 4},
      {"e\xcc\x81", 1},                      // e and a combining acute accent
      {"\xe6\xa2\x81\xe5\x88\x86", 4},       // two wide characters
      {"smile\xf0\x9f\x98\x80", 7},          // a wide emoji
      {"a\xff\xe2\x82", 4},                  // bytes of no character, one each
  };
  for (const auto& c : cases)
    EXPECT_EQ(Columns(c.text), c.columns) << testing::PrintToString(c.text);
}

}  // namespace
