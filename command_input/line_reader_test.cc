#include "command_input/line_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

/// Reads all pieces of `bytes` as a file of `code`, after its mark.
std::vector<std::string> Pieces(const std::string& bytes, enFileCode code,
                                size_t size, bool read_ahead) {
  std::string copy = bytes;
  FILE* file = fmemopen(copy.data(), copy.size(), "rb");
  LineSource source;
  InitLineSource(&source, file, code, read_ahead);
  SkipMark(&source);
  std::vector<std::string> pieces;
  std::vector<char> piece(size);
  size_t n;
  while ((n = ReadPiece(&source, piece.data(), size)) > 0)
    pieces.emplace_back(piece.data(), n);
  std::fclose(file);
  return pieces;
}

std::string Utf16(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

TEST(LineReaderTest, SplitsIntoPieces) {
  const std::string x98(98, 'x');
  const std::string x99(99, 'x');
  struct Case {
    const char* what;
    std::string bytes;
    enFileCode code;
    size_t size;
    std::vector<std::string> pieces;
  };
  std::vector<Case> cases = {
      {"lines keep their line ends", "abc\ndef\n", FileCodePlain, kPieceSize,
       {"abc\n", "def\n"}},
      {"a last line without a line end", "abc\ndef", FileCodePlain,
       kPieceSize, {"abc\n", "def"}},
      {"an empty file", "", FileCodePlain, kPieceSize, {}},
      {"99 bytes then the line end as a piece of its own", x99 + "\n",
       FileCodePlain, kPieceSize, {x99, "\n"}},
      {"98 bytes and the line end fit", x98 + "\n", FileCodePlain,
       kPieceSize, {x98 + "\n"}},
      {"the first-line limit", x98 + "\n", FileCodePlain, kFirstLineSize,
       {x98, "\n"}},
      {"a long line in pieces", std::string(150, 'y') + "\n", FileCodePlain,
       kPieceSize, {std::string(99, 'y'), std::string(51, 'y') + "\n"}},
      {"NUL bytes are read as bytes", std::string("a\0b\n", 4), FileCodePlain,
       kPieceSize, {std::string("a\0b\n", 4)}},
      {"carriage returns are kept", "a\r\nb\r\n", FileCodePlain, kPieceSize,
       {"a\r\n", "b\r\n"}},
      {"the UTF-8 mark is passed over", "\xEF\xBB\xBFmodel\n", FileCodeUtf8,
       kPieceSize, {"model\n"}},
      {"UTF-16LE becomes UTF-8", Utf16(u"h\u00e9\nstop\n"), FileCodeUnicode,
       kPieceSize, {"h\xC3\xA9\n", "stop\n"}},
      {"a surrogate pair", Utf16(u"\U0001F600\n"), FileCodeUnicode,
       kPieceSize, {"\xF0\x9F\x98\x80\n"}},
      {"an unpaired high surrogate", Utf16(u"\xD83D" u"a"), FileCodeUnicode,
       kPieceSize, {"\xEF\xBF\xBD" "a"}},
      {"a lone low surrogate", Utf16(u"\xDE00" u"a"), FileCodeUnicode,
       kPieceSize, {"\xEF\xBF\xBD" "a"}},
      {"an odd last byte", Utf16(u"a") + "b", FileCodeUnicode, kPieceSize,
       {"a\xEF\xBF\xBD"}},
      {"a high surrogate before an odd last byte", Utf16(u"\xD83D") + "b",
       FileCodeUnicode, kPieceSize, {"\xEF\xBF\xBD\xEF\xBF\xBD"}},
      {"the piece limit counts UTF-8 bytes",
       Utf16(std::u16string(60, u'\u00e9')), FileCodeUnicode, kPieceSize,
       {[] {
          std::string s;
          for (int i = 0; i < 49; ++i) s += "\xC3\xA9";
          return s + "\xC3";
        }(),
        [] {
          std::string s = "\xA9";
          for (int i = 0; i < 10; ++i) s += "\xC3\xA9";
          return s;
        }()}},
  };
  std::string many_lines;
  std::vector<std::string> many_pieces;
  for (int i = 0; i < 2000; ++i) {
    many_pieces.push_back(std::to_string(i) + std::string(50, 'x') + "\n");
    many_lines += many_pieces.back();
  }
  cases.push_back({"lines across read-ahead blocks", many_lines, FileCodePlain,
                   kPieceSize, many_pieces});
  for (const Case& c : cases) {
    for (bool read_ahead : {true, false})
      EXPECT_EQ(Pieces(c.bytes, c.code, c.size, read_ahead), c.pieces)
          << c.what << (read_ahead ? " (file)" : " (console)");
  }
}

TEST(LineReaderTest, BeginsWithWordLooksAtFourBytes) {
  EXPECT_TRUE(BeginsWithWord("stop", 4, "stop"));
  EXPECT_TRUE(BeginsWithWord("stopped\n", 8, "stop"));
  EXPECT_FALSE(BeginsWithWord("sto", 3, "stop"));
  EXPECT_FALSE(BeginsWithWord("Stop\n", 5, "stop"));
}

}  // namespace
