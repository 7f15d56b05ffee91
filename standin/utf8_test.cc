#include "standin/utf8.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(Utf8Test, DecodesAndReplacesEachBadByte) {
  struct Case {
    std::string text;
    std::wstring wide;
  } cases[] = {
      {"", L""},
      {"plain", L"plain"},
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", L"\u00e9\u20ac\U0001F600"},
      {"a\xFF" "b", L"a\uFFFDb"},
      {"\xC0\x80", L"\uFFFD\uFFFD"},               // overlong
      {"\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"},     // a surrogate
      {"\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
      {"\xE2\x82", L"\uFFFD\uFFFD"},               // cut short at the end
      {"\xE2\x82" "x", L"\uFFFD\uFFFDx"},
  };
  for (const Case& c : cases) {
    // Never more than strlen + 1 characters: the rest of the buffer stays.
    std::vector<wchar_t> wide(c.text.size() + 4, L'#');
    DecodeUtf8(c.text.c_str(), wide.data());
    EXPECT_EQ(std::wstring(wide.data()), c.wide) << testing::PrintToString(c.text);
    for (size_t i = c.text.size() + 1; i < wide.size(); ++i)
      EXPECT_EQ(wide[i], L'#') << testing::PrintToString(c.text);
  }
}

}  // namespace
