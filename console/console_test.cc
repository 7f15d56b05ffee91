#include "console/console.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

/// What Print writes for `format` and `args` under LC_CTYPE `locale`.
template <typename... Args>
std::string Printed(const char* locale, const wchar_t* format, Args... args) {
  std::string saved = std::setlocale(LC_CTYPE, nullptr);
  std::setlocale(LC_CTYPE, locale);
  CaptureStdout();
  Print(format, args...);
  FlushConsole();
  std::string out = GetCapturedStdout();
  std::setlocale(LC_CTYPE, saved.c_str());
  return out;
}

TEST(ConsoleTest, ConvertsWhenWritten) {
  EXPECT_EQ(Printed("C.UTF-8", L"KMD : %ls\n", L"mod\u00e8le"), "KMD : mod\xC3\xA8le\n");
  EXPECT_EQ(Printed("C", L"KMD : %ls\n", L"mod\u00e8le"), "KMD : mod?le\n")
      << "a character the locale can't show";
  EXPECT_EQ(Printed("C.UTF-8", L"%s\n", "lib.so: undefined symbol"),
            "lib.so: undefined symbol\n");
  EXPECT_EQ(Printed("C.UTF-8", L" Return Value of KV Solver = %d \n\n", -20),
            " Return Value of KV Solver = -20 \n\n");
  std::wstring long_text(100000, L'\u00e9');
  EXPECT_EQ(Printed("C.UTF-8", L"%ls", long_text.c_str()).size(), 200000u);
}

TEST(ConsoleTest, FormatsAsSwprintfDoes) {
  struct Case {
    const wchar_t* format;
    const wchar_t* text;
  } cases[] = {
      {L"Build Date : %11ls\n", L"Dec  8 2026"},
      {L"Build Time : %11ls\n", L"19:03:40"},
      {L"[%3ls]", L"longer than three"},
      {L"100%% %ls", L"done"},
      {L"%ls%ls", L"\u00e9"},
      {L"%-6ls|", L"left"},  // not one of the launcher's: swprintf formats it
  };
  for (const Case& c : cases) {
    wchar_t expected[128];
    int n = swprintf(expected, 128, c.format, c.text, c.text);
    ASSERT_GE(n, 0);
    std::string bytes;
    for (const wchar_t* w = expected; *w != L'\0'; ++w)
      bytes += *w < 0x80 ? std::string(1, static_cast<char>(*w)) : std::string("\xC3\xA9");
    EXPECT_EQ(Printed("C.UTF-8", c.format, c.text, c.text), bytes) << testing::PrintToString(bytes);
  }
}

}  // namespace
