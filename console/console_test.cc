#include "console/console.h"

#include <gtest/gtest.h>

#include <clocale>
#include <climits>
#include <cwchar>
#include <string>
#include <vector>

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

/// `text` as the C library converts it to UTF-8, '?' for what it can't.
std::string LibraryUtf8(const std::wstring& text) {
  std::string saved = std::setlocale(LC_CTYPE, nullptr);
  std::setlocale(LC_CTYPE, "C.UTF-8");
  std::string bytes;
  for (wchar_t c : text) {
    char out[MB_LEN_MAX];
    std::mbstate_t state{};
    size_t n = std::wcrtomb(out, c, &state);
    bytes += n == static_cast<size_t>(-1) ? std::string("?") : std::string(out, n);
  }
  std::setlocale(LC_CTYPE, saved.c_str());
  return bytes;
}

/// What PrintFramed writes under C.UTF-8 for each of `texts`, each held in
/// a buffer of `most` + 1 characters whose unused end is 'x'.
std::string Framed(const std::vector<std::wstring>& texts, size_t most) {
  std::string saved = std::setlocale(LC_CTYPE, nullptr);
  std::setlocale(LC_CTYPE, "C.UTF-8");
  CaptureStdout();
  for (const std::wstring& text : texts) {
    std::vector<wchar_t> buffer(most + 1, L'x');
    std::wmemcpy(buffer.data(), text.c_str(), text.size() + 1);
    PrintFramed(MakeFixedText(L"COMMAND : "), buffer.data(), most, MakeFixedText(L"\n"));
  }
  FlushConsole();
  std::string out = GetCapturedStdout();
  std::setlocale(LC_CTYPE, saved.c_str());
  return out;
}

TEST(ConsoleTest, ConvertsEveryCharacterWhereverItStands) {
  // ASCII goes through in blocks; any other character, at any place in a
  // text of any length around the block sizes, must come out as the C
  // library converts it.
  const wchar_t others[] = {0x7F,   0x80,   0xFF,    0x100,    0x7FF,     0x800, 0x7FFF,
                            0x8000, 0xFFFF, 0xD800, 0x10000, 0x10FFFF, WCHAR_MIN, -1};
  for (size_t length = 1; length <= 40; ++length) {
    std::wstring ascii;
    for (size_t k = 0; k < length; ++k) ascii += static_cast<wchar_t>(L'!' + k % 90);
    for (wchar_t other : others) {
      std::vector<std::wstring> texts;
      std::wstring all;
      std::string expected, framed;
      for (size_t at = 0; at < length; ++at) {
        texts.push_back(ascii);
        texts.back()[at] = other;
        all += texts.back() + L"|";
        expected += LibraryUtf8(texts.back()) + "|";
        framed += "COMMAND : " + LibraryUtf8(texts.back()) + "\n";
      }
      SCOPED_TRACE(testing::Message() << "length " << length << ", U+" << std::hex
                                      << static_cast<long>(other) << " at each place");
      ASSERT_EQ(Printed("C.UTF-8", L"%ls", all.c_str()), expected);
      ASSERT_EQ(Framed(texts, length), framed);
    }
  }
}

TEST(ConsoleTest, FramedTextEndsAtItsTerminator) {
  struct Case {
    const char* what;
    std::wstring text;
    size_t most;
    std::string expected;
  } cases[] = {
      {"ends at its most", L"LOAD CASE 1 FACTOR 1.25 DIRECTION Z\n", 36,
       "LOAD CASE 1 FACTOR 1.25 DIRECTION Z\n"},
      {"ends before it, the rest of the buffer ASCII ('x')",
       L"LOAD CASE 1 FACTOR 1.25", 36, "LOAD CASE 1 FACTOR 1.25"},
      {"ends before it, a terminator at the end of the buffer",
       std::wstring(L"LOAD\0CASE 1 FACTOR 1.25 DIRECTION Z", 35), 35, "LOAD"},
      {"fewer characters than bytes", L"r\u00e9sum\u00e9 of load case 17\n", 30,
       "r\xC3\xA9sum\xC3\xA9 of load case 17\n"},
      {"empty", L"", 0, ""},
      {"empty in a long buffer", L"", 64, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Framed({c.text}, c.most), "COMMAND : " + c.expected + "\n") << c.what;
}

TEST(ConsoleTest, FramesInTheLocaleInForce) {
  std::wstring text = L"caf\u00e9";
  std::wstring sixteen(16, L'-'), long_head = L"\u00bb" + std::wstring(40, L'=') + L" ";
  struct Case {
    const char* locale;
    std::wstring head, tail;
    std::string expected;
  } cases[] = {
      {"C.UTF-8", L"\u00bb ", L" \u00ab\n", "\xC2\xBB caf\xC3\xA9 \xC2\xAB\n"},
      {"C", L"\u00bb ", L" \u00ab\n", "? caf? ?\n"},
      {"C.UTF-8", sixteen, L"", std::string(16, '-') + "caf\xC3\xA9"},
      {"C.UTF-8", long_head, sixteen + L"+",
       "\xC2\xBB" + std::string(40, '=') + " caf\xC3\xA9" + std::string(16, '-') + "+"},
      {"C", long_head, L"", "?" + std::string(40, '=') + " caf?"},
      {"C.UTF-8", L"", L"", "caf\xC3\xA9"},
  };
  for (const Case& c : cases) {
    std::string saved = std::setlocale(LC_CTYPE, nullptr);
    std::setlocale(LC_CTYPE, c.locale);
    CaptureStdout();
    PrintFramed(MakeFixedText(c.head), text.c_str(), text.size(), MakeFixedText(c.tail));
    PrintFramed(FixedText{}, text.c_str(), text.size(), FixedText{});  // no frame at all
    FlushConsole();
    std::string bare = std::string(c.locale) == "C" ? "caf?" : "caf\xC3\xA9";
    EXPECT_EQ(GetCapturedStdout(), c.expected + bare) << c.locale;
    std::setlocale(LC_CTYPE, saved.c_str());
  }
}

}  // namespace
