#include "command_input/line_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

/// The lines of `bytes` read as a file of `code`, after its mark, each as
/// the chunks it came in. Fails when a chunk's flags don't mark its line.
std::vector<std::vector<std::string>> Lines(const std::string& bytes, enFileCode code) {
  std::string copy = bytes;
  FILE* file = fmemopen(copy.data(), copy.size(), "rb");
  auto source = std::make_unique<LineSource>();
  InitLineSource(source.get(), file, code);
  SkipMark(source.get());
  std::vector<std::vector<std::string>> lines;
  bool line_open = false;
  Chunk chunk;
  while (ReadChunk(source.get(), &chunk)) {
    EXPECT_EQ(chunk.first, !line_open);
    EXPECT_EQ(chunk.bytes[chunk.length], '\0') << "a terminator follows";
    if (chunk.first) lines.emplace_back();
    lines.back().emplace_back(chunk.bytes, chunk.length);
    line_open = !chunk.last;
  }
  EXPECT_FALSE(line_open) << "the last line ended";
  std::fclose(file);
  return lines;
}

std::string Utf16(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

TEST(LineReaderTest, ReadsWholeLinesInChunks) {
  const std::string full(kChunkSize - 1, 'x');   // with its line end, one chunk
  const std::string over(kChunkSize, 'y');       // its line end comes alone
  const std::string euro = "\xE2\x82\xAC";
  const std::string straddling = std::string(kChunkSize - 1, 'z') + euro + "\n";
  using Chunks = std::vector<std::vector<std::string>>;
  struct Case {
    const char* what;
    std::string bytes;
    enFileCode code;
    Chunks lines;
  };
  std::vector<Case> cases = {
      {"lines keep their line ends", "abc\ndef\n", FileCodePlain, {{"abc\n"}, {"def\n"}}},
      {"a last line without a line end", "abc\ndef", FileCodePlain, {{"abc\n"}, {"def"}}},
      {"an empty file", "", FileCodePlain, {}},
      {"an empty line", "\n\n", FileCodePlain, {{"\n"}, {"\n"}}},
      {"a line that fills a chunk comes in one", full + "\n", FileCodePlain, {{full + "\n"}}},
      {"a line one byte longer comes in two", over + "\n", FileCodePlain, {{over, "\n"}}},
      {"a chunk-long last line without a line end", over, FileCodePlain, {{over}}},
      {"a character is never cut between chunks", straddling, FileCodePlain,
       {{std::string(kChunkSize - 1, 'z'), euro + "\n"}}},
      {"NUL bytes are read as bytes", std::string("a\0b\nc\n", 6), FileCodePlain,
       {{std::string("a\0b\n", 4)}, {"c\n"}}},
      {"carriage returns are kept", "a\r\nb\r\n", FileCodePlain, {{"a\r\n"}, {"b\r\n"}}},
      {"the UTF-8 mark is passed over", "\xEF\xBB\xBFmodel\n", FileCodeUtf8, {{"model\n"}}},
      {"UTF-16LE becomes UTF-8", Utf16(u"h\u00e9\nstop\n"), FileCodeUnicode,
       {{"h\xC3\xA9\n"}, {"stop\n"}}},
      {"a surrogate pair", Utf16(u"\U0001F600\n"), FileCodeUnicode, {{"\xF0\x9F\x98\x80\n"}}},
      {"an unpaired high surrogate", Utf16(u"\xD83D" u"a"), FileCodeUnicode,
       {{"\xEF\xBF\xBD" "a"}}},
      {"a lone low surrogate", Utf16(u"\xDE00" u"a"), FileCodeUnicode, {{"\xEF\xBF\xBD" "a"}}},
      {"an odd last byte", Utf16(u"a") + "b", FileCodeUnicode, {{"a\xEF\xBF\xBD"}}},
      {"a high surrogate before an odd last byte", Utf16(u"\xD83D") + "b", FileCodeUnicode,
       {{"\xEF\xBF\xBD\xEF\xBF\xBD"}}},
      {"a long UTF-16 line is cut between characters",
       Utf16(std::u16string(kChunkSize / 2 + 1, u'\u00e9') + u"\n"), FileCodeUnicode,
       {[] {
          std::string all;
          for (size_t i = 0; i < kChunkSize / 2 + 1; ++i) all += "\xC3\xA9";
          return std::vector<std::string>{all.substr(0, kChunkSize), all.substr(kChunkSize) + "\n"};
        }()}},
  };
  std::string many;
  Chunks many_lines;
  for (int i = 0; i < 2000; ++i) {
    many_lines.push_back({std::to_string(i) + std::string(50, 'x') + "\n"});
    many += many_lines.back()[0];
  }
  cases.push_back({"lines across read-ahead blocks", many, FileCodePlain, many_lines});
  // Line ends at every place around the blocks the search looks at at once,
  // and lines without one at the end of the file.
  std::string lengths;
  Chunks lengths_lines;
  for (size_t length = 1; length <= 140; ++length) {
    lengths_lines.push_back({std::string(length - 1, static_cast<char>('a' + length % 26)) + "\n"});
    lengths += lengths_lines.back()[0];
    cases.push_back({"a line, then a last one without a line end", lengths_lines.back()[0] + "ab",
                     FileCodePlain, {lengths_lines.back(), {"ab"}}});
    cases.push_back({"a line without a line end", std::string(length, 'q'), FileCodePlain,
                     {{std::string(length, 'q')}}});
  }
  cases.push_back({"lines of every length", lengths, FileCodePlain, lengths_lines});
  for (const Case& c : cases) EXPECT_EQ(Lines(c.bytes, c.code), c.lines) << c.what;
}

TEST(LineReaderTest, BeginsWithWordLooksAtFourBytes) {
  auto chunk = [](const char* text) { return Chunk{text, std::strlen(text), true, true}; };
  EXPECT_TRUE(BeginsWithWord(chunk("stop"), "stop"));
  EXPECT_TRUE(BeginsWithWord(chunk("stopped\n"), "stop"));
  EXPECT_FALSE(BeginsWithWord(chunk("sto"), "stop"));
  EXPECT_FALSE(BeginsWithWord(chunk("Stop\n"), "stop"));
}

}  // namespace
