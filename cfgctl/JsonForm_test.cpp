// What --json makes of names and values: strings for valid UTF-8, base64
// for every other byte sequence, and lines that parse back to the bytes.

#include "cfgctl/JsonForm.h"

#include <gtest/gtest.h>

#include <string>

namespace cfgctl {
namespace {

using Json = JsonForm::Json;

TEST(JsonFormTest, ValidUtf8IsAStringAndAnythingElseIsBase64) {
  const struct {
    const char* what;
    std::string bytes;
    bool utf8;
  } cases[] = {
      {"empty", "", true},
      {"ASCII", "eth0 mtu=1500", true},
      {"two-byte", "Z\xC3\xBCrich", true},
      {"three-byte", "\xE2\x82\xAC", true},
      {"four-byte", "\xF0\x9F\x98\x80", true},
      {"highest code point", "\xF4\x8F\xBF\xBF", true},
      {"NUL", std::string("a\0b", 3), true},
      {"control bytes", "\x01\x1F\x7F", true},
      {"a U+FFFD of its own", "\xEF\xBF\xBD", true},
      {"Latin-1", "Z\xFCrich", false},
      {"lone continuation", "\x80", false},
      {"cut short", "\xE2\x82", false},
      {"cut short at the end after text", "ok\xF0\x9F\x98", false},
      {"overlong slash", "\xC0\xAF", false},
      {"overlong NUL", "\xC0\x80", false},
      {"overlong three-byte", "\xE0\x80\xAF", false},
      {"overlong four-byte", "\xF0\x80\x80\xAF", false},
      {"high surrogate", "\xED\xA0\x80", false},
      {"low surrogate", "\xED\xBF\xBF", false},
      {"above U+10FFFF", "\xF4\x90\x80\x80", false},
      {"0xFE and 0xFF", "\xFE\xFF", false},
      {"valid then invalid", "\xC3\xBC\xFF", false},
  };
  for (const auto& expected : cases) {
    SCOPED_TRACE(expected.what);
    EXPECT_EQ(JsonForm::IsUtf8(expected.bytes), expected.utf8);
    const Json value = JsonForm::Bytes(expected.bytes);
    if (expected.utf8) {
      ASSERT_TRUE(value.is_string());
      EXPECT_EQ(value.get<std::string>(), expected.bytes);
    } else {
      ASSERT_TRUE(value.is_object());
      EXPECT_EQ(value.size(), 1u);
      EXPECT_EQ(value.at("base64").get<std::string>(), JsonForm::Base64(expected.bytes));
    }
  }
}

// RFC 4648's own test vectors, and bytes no text holds.
TEST(JsonFormTest, Base64IsRfc4648WithPadding) {
  const struct {
    std::string bytes;
    const char* base64;
  } cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {std::string("\xFF\0a", 3), "/wBh"},
      {"\xFB\xEF\xBE", "++++"},
  };
  for (const auto& expected : cases) EXPECT_EQ(JsonForm::Base64(expected.bytes), expected.base64) << expected.base64;
}

// A line is compact UTF-8 (not \u escapes), parses back to what was encoded,
// and holds no newline of its own whatever the values hold.
TEST(JsonFormTest, LinesAreCompactUtf8ThatParsesBackToTheBytes) {
  const std::string value = std::string("line\none\0\xE2\x82\xAC", 12);
  const std::string line = JsonForm::Line(JsonForm::Value("s", "x", "k", value));
  EXPECT_EQ(line, "{\"set\":\"s\",\"section\":\"x\",\"key\":\"k\",\"value\":\"line\\none\\u0000\xE2\x82\xAC\"}");
  EXPECT_EQ(Json::parse(line).at("value").get<std::string>(), value);
  const std::string invalid = JsonForm::Line(JsonForm::Value("s", "x", "k", "\xC0\x80"));
  EXPECT_EQ(invalid, "{\"set\":\"s\",\"section\":\"x\",\"key\":\"k\",\"value\":{\"base64\":\"wIA=\"}}");
}

// Kinds follow which values exist; absent ones are left out, not empty.
TEST(JsonFormTest, ChangesBetweenRevisionsNameTheirKindAndOnlyTheValuesThatExist) {
  qet_cfgserver::KeyChange change{"s", "x", "k", std::nullopt, std::string("new")};
  EXPECT_EQ(JsonForm::Line(JsonForm::Change(change)),
            "{\"change\":\"added\",\"set\":\"s\",\"section\":\"x\",\"key\":\"k\",\"value\":\"new\"}");
  change.before = "\xFF";
  EXPECT_EQ(JsonForm::Line(JsonForm::Change(change)),
            "{\"change\":\"changed\",\"set\":\"s\",\"section\":\"x\",\"key\":\"k\",\"value\":\"new\",\"was\":{\"base64\":\"/w==\"}}");
  change.after.reset();
  EXPECT_EQ(JsonForm::Line(JsonForm::Change(change)),
            "{\"change\":\"deleted\",\"set\":\"s\",\"section\":\"x\",\"key\":\"k\",\"was\":{\"base64\":\"/w==\"}}");
}

// What the server does not know is null, not a made-up uid or name.
TEST(JsonFormTest, RevisionsGiveNullForWhatTheServerDoesNotKnow) {
  qet_cfgserver::RevisionEntry entry;
  entry.number = 7;
  entry.time = 1796571900;
  entry.summary = "rollback 3";
  entry.keys = 3;
  entry.author.client = "cfgctl";
  EXPECT_EQ(JsonForm::Line(JsonForm::Revision(entry)),
            "{\"revision\":7,\"time\":\"2026-12-06T15:45:00Z\",\"uid\":null,\"user\":null,\"pid\":null,"
            "\"program\":null,\"client\":\"cfgctl\",\"tag\":\"\",\"summary\":\"rollback 3\",\"keys\":3}");
  entry.author = {0, "root", 42, "cfgctl", "cfgctl", "t"};
  const Json known = JsonForm::Revision(entry);
  EXPECT_EQ(known["uid"], 0);
  EXPECT_EQ(known["user"], "root");
  EXPECT_EQ(known["pid"], 42);
  EXPECT_EQ(known["program"], "cfgctl");
}

TEST(JsonFormTest, WatchEventsCarryTheirRevisionOnlyWhenResuming) {
  using Event = qet_cfgserver::LxCfgWatch::Event;
  Event set{Event::Kind::kSet, "s", "x", "k", "v", 0, 12};
  Event deleted{Event::Kind::kDeleted, "s", "x", "k", "", 0, 13};
  Event missed{Event::Kind::kMissed, "", "", "", "", 5, 0};
  const struct {
    const Event& event;
    bool resuming;
    const char* line;
  } cases[] = {
      {set, false, R"({"change":"set","set":"s","section":"x","key":"k","value":"v"})"},
      {set, true, R"({"revision":12,"change":"set","set":"s","section":"x","key":"k","value":"v"})"},
      {deleted, false, R"({"change":"deleted","set":"s","section":"x","key":"k"})"},
      {deleted, true, R"({"revision":13,"change":"deleted","set":"s","section":"x","key":"k"})"},
      {missed, false, R"({"change":"missed","changes":5})"},
      {missed, true, R"({"change":"missed","revisions":5})"},
  };
  for (const auto& expected : cases) EXPECT_EQ(JsonForm::Line(JsonForm::Event(expected.event, expected.resuming)), expected.line);
}

}  // namespace
}  // namespace cfgctl
