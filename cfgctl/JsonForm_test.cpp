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

}  // namespace
}  // namespace cfgctl
