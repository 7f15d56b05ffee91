#include "batch/escape.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace {

TEST(EscapeTest, ControlsAndFields) {
  struct {
    std::string text, shown, field;
  } cases[] = {
      {"case1", "case1", "case1"},
      {"tab\there", "tab\\there", "tab\\there"},
      {"t\\tab", "t\\\\tab", "t\\\\tab"},
      {"line\nend\r", "line\\nend\\r", "line\\nend\\r"},
      {"esc\033[2J", "esc\\033[2J", "esc\033[2J"},
      {"back\\slash", "back\\\\slash", "back\\\\slash"},
      {"del\x7f", "del\\177", "del\x7f"},
      {"caf\xc3\xa9", "caf\xc3\xa9", "caf\xc3\xa9"},
      // C1 controls as UTF-8, at both ends of their range, and past it.
      {"nel\xc2\x85", "nel\\u0085", "nel\xc2\x85"},
      {"\xc2\x80\xc2\x9f", "\\u0080\\u009f", "\xc2\x80\xc2\x9f"},
      {"csi\xc2\x9b[2J", "csi\\u009b[2J", "csi\xc2\x9b[2J"},
      {"nbsp\xc2\xa0", "nbsp\xc2\xa0", "nbsp\xc2\xa0"},
      // A name turned round, broken or padded by characters that show nothing.
      {"txt.\xe2\x80\xae" "exe", "txt.\\u202eexe", "txt.\xe2\x80\xae" "exe"},
      {"a\xe2\x80\xa8" "b\xe2\x80\xa9", "a\\u2028b\\u2029", "a\xe2\x80\xa8" "b\xe2\x80\xa9"},
      {"\xe2\x80\x8b\xe2\x80\x8f\xe2\x81\xa0\xe2\x81\xa9", "\\u200b\\u200f\\u2060\\u2069",
       "\xe2\x80\x8b\xe2\x80\x8f\xe2\x81\xa0\xe2\x81\xa9"},
      {"\xd8\x9c\xef\xbb\xbf" "bom", "\\u061c\\ufeffbom", "\xd8\x9c\xef\xbb\xbf" "bom"},
      // Their neighbours show as they are.
      {"\xe2\x80\x8a\xe2\x80\xaf\xe2\x80\x90", "\xe2\x80\x8a\xe2\x80\xaf\xe2\x80\x90",
       "\xe2\x80\x8a\xe2\x80\xaf\xe2\x80\x90"},
      // Bytes of no UTF-8 character: stray, cut, overlong, surrogate, too large.
      {"raw\x85", "raw\\x85", "raw\x85"},
      {"a\xff", "a\\xff", "a\xff"},
      {"a\xfe", "a\\xfe", "a\xfe"},
      {"cut\xe2\x82", "cut\\xe2\\x82", "cut\xe2\x82"},
      {"\xc0\xaf", "\\xc0\\xaf", "\xc0\xaf"},
      {"\xed\xa0\x80", "\\xed\\xa0\\x80", "\xed\xa0\x80"},
      {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80", "\xf4\x90\x80\x80"},
      {"smile\xf0\x9f\x98\x80", "smile\xf0\x9f\x98\x80", "smile\xf0\x9f\x98\x80"},
      {"\xe2\x82\xac\xe2", "\xe2\x82\xac\\xe2", "\xe2\x82\xac\xe2"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EscapeControls(c.text), c.shown) << c.shown;
    EXPECT_EQ(EscapeField(c.text), c.field) << c.shown;
  }
}

TEST(EscapeTest, NamesInJson) {
  struct {
    std::string name, json;
  } cases[] = {
      {"case1", R"({"log":"case1"})"},
      {"", R"({"log":""})"},
      {"caf\xc3\xa9/job.log", "{\"log\":\"caf\xc3\xa9/job.log\"}"},
      {"t\\tab\t", R"({"log":"t\\tab\t"})"},
      {"a\xff", "{\"log\":\"a\xef\xbf\xbd\",\"log_bytes\":\"61ff\"}"},
      {"a\xfe", "{\"log\":\"a\xef\xbf\xbd\",\"log_bytes\":\"61fe\"}"},
      {"\xc3/x", "{\"log\":\"\xef\xbf\xbd/x\",\"log_bytes\":\"c32f78\"}"},
      {"\xe2\x82\xac\xff\xfe", "{\"log\":\"\xe2\x82\xac\xef\xbf\xbd\xef\xbf\xbd\","
                               "\"log_bytes\":\"e282acfffe\"}"},
  };
  for (const auto& c : cases) {
    nlohmann::ordered_json ordered = nlohmann::ordered_json::object();
    PutName(&ordered, "log", c.name);
    EXPECT_EQ(ordered.dump(), c.json) << c.json;
    nlohmann::json sorted = nlohmann::json::object();
    PutName(&sorted, "log", c.name);
    EXPECT_EQ(TakeName(nlohmann::json::parse(sorted.dump()), "log"), c.name) << c.json;
  }
}

TEST(EscapeTest, TakeNameRefusesWhatPutNameNeverWrites) {
  struct {
    const char* json;
    std::optional<std::string> name;
  } cases[] = {
      {R"({"log":"a","log_bytes":"41"})", "A"},
      {R"({"log":"a","log_bytes":"4A4a"})", "JJ"},
      {R"({"other":"a"})", std::nullopt},
      {R"({"log":1})", std::nullopt},
      {R"({"log":"a","log_bytes":"6"})", std::nullopt},
      {R"({"log":"a","log_bytes":"zz"})", std::nullopt},
      {R"({"log":"a","log_bytes":97})", std::nullopt},
      {R"([])", std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TakeName(nlohmann::json::parse(c.json), "log"), c.name) << c.json;
}

TEST(EscapeTest, MessagesKeepTheirLines) {
  struct {
    std::string text;
    std::string shown;
  } cases[] = {
      {"one line", "one line"},
      {"sbatch: error: a\nsbatch: error: b\n", "sbatch: error: a\n    sbatch: error: b"},
      {"a\n\nb\n\n\n", "a\n    \n    b"},
      {"tab\there\x1b[2J\n", "tab\\there\\033[2J"},
      {"\n", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeLines(c.text), c.shown) << c.text;
}

}  // namespace
