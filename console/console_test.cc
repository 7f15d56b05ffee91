#include "console/console.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

/// What Print writes for `format` and `arg` under LC_CTYPE `locale`.
template <typename Arg>
std::string Printed(const char* locale, const wchar_t* format, Arg arg) {
  std::string saved = std::setlocale(LC_CTYPE, nullptr);
  std::setlocale(LC_CTYPE, locale);
  CaptureStdout();
  Print(format, arg);
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

}  // namespace
