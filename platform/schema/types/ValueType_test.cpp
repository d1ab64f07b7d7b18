#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "schema/types/ValueTypeParser.h"

namespace qet_cfgserver {
namespace {

constexpr const char* kInt64Range = "integer -9223372036854775808..9223372036854775807";

struct Case {
  std::string type, value;
  bool accepted;
};

std::unique_ptr<const ValueType> TypeOf(const std::string& text) {
  std::unique_ptr<const ValueType> type;
  LxStatus status = ValueTypeParser::Parse(text, &type);
  EXPECT_TRUE(status.ok()) << text << ": " << status.ToString();
  return type;
}

std::string Repeated(const std::string& text, int times) {
  std::string repeated;
  for (int i = 0; i < times; ++i) repeated += text;
  return repeated;
}

// A host name of three labels of 63 bytes and one of lastLabel bytes:
// 253 bytes in all for 61.
std::string Labels(std::size_t lastLabel) {
  return Repeated(std::string(63, 'a') + ".", 3) + std::string(lastLabel, 'b');
}

// The reason a type gives for value, or "accepted".
std::string ReasonFor(const std::string& typeText, const std::string& value) {
  std::unique_ptr<const ValueType> type = TypeOf(typeText);
  std::string reason;
  if (type == nullptr) return "no type";
  return type->Accepts(value, &reason) ? "accepted" : reason;
}

TEST(ValueTypeTest, EachTypeAcceptsExactlyItsValuesUpToItsBounds) {
  const std::string nul("\0", 1);
  const std::vector<Case> cases = {
      {"integer 68..9000", "68", true}, {"integer 68..9000", "9000", true}, {"integer 68..9000", "+1500", true},
      {"integer 68..9000", "67", false}, {"integer 68..9000", "9001", false}, {"integer 68..9000", "15OO", false},
      {"integer 68..9000", " 1500", false}, {"integer 68..9000", "1500 ", false}, {"integer 68..9000", "01500", false},
      {"integer 68..9000", "", false}, {"integer 68..9000", "+", false}, {"integer 68..9000", "1e3", false},
      {"integer 68..9000", "1500" + nul, false}, {"integer -5..-1", "-5", true}, {"integer -5..-1", "-0", false},
      {"integer -1..1", "-0", true}, {"integer -1..1", "--1", false}, {"integer -1..1", "+-1", false},
      {kInt64Range, "-9223372036854775808", true}, {kInt64Range, "9223372036854775807", true},
      {kInt64Range, "9223372036854775808", false}, {kInt64Range, "-9223372036854775809", false},
      {kInt64Range, "18446744073709551616", false}, {kInt64Range, "99999999999999999999999", false},

      {"boolean", "true", true}, {"boolean", "false", true}, {"boolean", "yes", true}, {"boolean", "no", true},
      {"boolean", "on", true}, {"boolean", "off", true}, {"boolean", "1", true}, {"boolean", "0", true},
      {"boolean", "True", false}, {"boolean", "yes ", false}, {"boolean", "2", false}, {"boolean", "", false},

      {"enum dhcp|static|off", "dhcp", true}, {"enum dhcp|static|off", "off", true},
      {"enum dhcp|static|off", "dhpc", false}, {"enum dhcp|static|off", "DHCP", false},
      {"enum dhcp|static|off", "dhcp|static", false}, {"enum dhcp|static|off", "", false},

      {"ipv4", "0.0.0.0", true}, {"ipv4", "255.255.255.255", true}, {"ipv4", "10.0.0.300", false},
      {"ipv4", "10.0.0", false}, {"ipv4", "10.0.0.1.2", false}, {"ipv4", "010.0.0.1", false},
      {"ipv4", "10.0.0.00", false}, {"ipv4", "10..0.1", false}, {"ipv4", "10.0.0.1.", false},
      {"ipv4", " 10.0.0.1", false}, {"ipv4", "1.2.3.-4", false}, {"ipv4", "1000.0.0.1", false},
      {"ipv4", "0x1.2.3.4", false}, {"ipv4", "1.2.3.4" + nul, false},

      {"ipv6", "::", true}, {"ipv6", "::1", true}, {"ipv6", "2001:db8::8a2e:370:7334", true},
      {"ipv6", "::ffff:192.0.2.1", true}, {"ipv6", "2001:db8::1::2", false}, {"ipv6", "12345::", false},
      {"ipv6", "fe80::1%eth0", false}, {"ipv6", "[::1]", false}, {"ipv6", "::1/64", false},
      {"ipv6", "192.0.2.1", false}, {"ipv6", "::1" + nul + "x", false}, {"ipv6", "", false},

      {"hostname", "localhost", true}, {"hostname", "router-1.example.com", true}, {"hostname", "9.example", true},
      {"hostname", std::string(63, 'a') + ".b", true}, {"hostname", std::string(64, 'a') + ".b", false},
      {"hostname", Labels(61), true}, {"hostname", Labels(62), false}, {"hostname", "-router", false},
      {"hostname", "router-", false}, {"hostname", "a..b", false}, {"hostname", "a.b.", false},
      {"hostname", ".a", false}, {"hostname", "under_score", false}, {"hostname", "two words", false},
      {"hostname", "", false},

      {"text 4", "", true}, {"text 4", "abcd", true}, {"text 4", "abcde", false}, {"text 0", "", true},
      {"text 0", "x", false}, {"text 1", "\xC3\xA9", false},  // bytes, not characters

      {"pattern eth[0-9]+", "eth12", true}, {"pattern eth[0-9]+", "eth", false},
      {"pattern eth[0-9]+", "xeth0", false}, {"pattern eth[0-9]+", "eth0x", false},
      {"pattern a|ab", "ab", true},  // the end is part of the match, so the second choice is tried
      {"pattern [a-z ]+", "two words", true}, {"pattern .", "\xC3\xA9", false}, {"pattern ..", "\xC3\xA9", true},
      {"pattern [a-z]+", std::string(16 * 1024, 'a'), true},
      {"pattern (?:ab)+", Repeated("ab", 8 * 1024), true},
  };
  for (const Case& test : cases) {
    std::unique_ptr<const ValueType> type = TypeOf(test.type);
    ASSERT_NE(type, nullptr);
    std::string reason;
    EXPECT_EQ(type->Accepts(test.value, &reason), test.accepted) << test.type << " of '" << test.value << "'";
    EXPECT_EQ(reason.empty(), test.accepted) << test.type << " of '" << test.value << "': " << reason;
  }
}

TEST(ValueTypeTest, ReasonsNameTheValueFirstThenWhatItShouldBeOnOneLine) {
  EXPECT_EQ(ReasonFor("integer 68..9000", "15OO"), "15OO is not an integer in 68..9000");
  EXPECT_EQ(ReasonFor("integer +1..+2", "3"), "3 is not an integer in 1..2");
  EXPECT_EQ(ReasonFor("enum dhcp|static|off", "dhpc"), "dhpc is not one of dhcp|static|off");
  EXPECT_EQ(ReasonFor("ipv4", "10.0.0.300"),
            "10.0.0.300 is not an IPv4 address (four numbers 0..255 joined by dots)");
  EXPECT_EQ(ReasonFor("boolean", ""), "\"\" is not a boolean (true, false, yes, no, on, off, 1 or 0)");
  EXPECT_EQ(ReasonFor("text 2", "a\nb"), "\"a\\nb\" is not text of at most 2 bytes (it has 3)");
  EXPECT_EQ(ReasonFor("pattern [a-z]+ [0-9]", "ab"), "ab does not match the pattern \"[a-z]+ [0-9]\"");
  EXPECT_EQ(ReasonFor("text 10", std::string(100, 'x')),
            std::string(64, 'x') + "... is not text of at most 10 bytes (it has 100)");
  // Cut before a whole character: 63 bytes, then the two of the 'é' would straddle the cut.
  EXPECT_EQ(ReasonFor("text 10", std::string(63, 'x') + "\xC3\xA9" + "yyy"),
            std::string(63, 'x') + "... is not text of at most 10 bytes (it has 68)");
}

// Nested repeats backtrack exponentially; the limits end the match long
// before that, whatever the machine, and the value is refused.
TEST(ValueTypeTest, APatternTooCostlyToMatchIsRefusedAsTooComplex) {
  const std::string value = std::string(40, 'a') + "!";
  for (const char* pattern : {"pattern (a+)+", "pattern (a|a)+", "pattern (?:a*)*b?(?:a*)*"}) {
    const std::string reason = ReasonFor(pattern, value);
    EXPECT_NE(reason.find("is too complex to check against the pattern"), std::string::npos) << pattern << ": "
                                                                                              << reason;
  }
  EXPECT_EQ(ReasonFor("pattern (a+)+", std::string(40, 'a')), "accepted");
}

TEST(ValueTypeTest, BadTypeTextsAreRefusedSayingWhatIsWrong) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"integr 1..2", "unknown type 'integr' (one of integer, boolean, enum, ipv4, ipv6, hostname, text, pattern)"},
      {"", "unknown type ''"},
      {"integer", "integer needs MIN..MAX, two whole numbers of 64 bits, not ''"},
      {"integer 1..", "integer needs MIN..MAX"},
      {"integer 1 .. 2", "integer needs MIN..MAX"},
      {"integer 0..9223372036854775808", "integer needs MIN..MAX"},
      {"integer 9000..68", "integer range 9000..68 is empty"},
      {"boolean yes", "boolean takes no argument"},
      {"ipv4 strict", "ipv4 takes no argument"},
      {"enum", "enum needs its choices"},
      {"enum a||b", "enum has an empty choice"},
      {"enum a |b", "enum choice 'a ' holds a blank"},
      {"text -1", "text needs its largest size in bytes, not '-1'"},
      {"text many", "text needs its largest size"},
      {"pattern", "pattern needs a regular expression"},
      {"pattern (ab", "pattern (ab: missing closing parenthesis at offset 3"},
  };
  for (const auto& test : cases) {
    std::unique_ptr<const ValueType> type;
    LxStatus status = ValueTypeParser::Parse(test.first, &type);
    EXPECT_FALSE(status.ok()) << test.first;
    EXPECT_EQ(status.message().compare(0, test.second.size(), test.second), 0) << test.first << ": " << status.message();
  }
}

}  // namespace
}  // namespace qet_cfgserver
