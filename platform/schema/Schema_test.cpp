#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "schema/Schema.h"
#include "schema/SchemaSet.h"
#include "schema/SectionPattern.h"
#include "tests/support/TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

constexpr const char* kNetworkSchema =
    "# every interface\n"
    "[*]\n"
    "enabled = boolean\n"
    "mtu = integer 0..65535\n"
    "\n"
    "[eth*]\n"
    "mtu = integer 68..9000\n"
    "mode = enum dhcp|static|off\n"
    "address = ipv4\n"
    "\n"
    "[eth0]\n"
    "mtu = integer 1280..1500\n";

struct Write {
  std::string section, key, value;
  bool accepted;
};

SchemaSet NetworkSchemas() {
  Schema schema;
  LxStatus status = Schema::Parse(kNetworkSchema, "/etc/defaults/network.schema", &schema);
  EXPECT_TRUE(status.ok()) << status.ToString();
  SchemaSet schemas;
  EXPECT_TRUE(schemas.Add(std::move(schema)).ok());
  return schemas;
}

std::string ErrorsOf(const std::string& text) {
  Schema schema;
  return Schema::Parse(text, "network.schema", &schema).message();
}

TEST(SectionPatternTest, StarStandsForAnyRunOfBytes) {
  const std::vector<std::pair<std::pair<std::string, std::string>, bool>> cases = {
      {{"eth*", "eth"}, true},          {{"eth*", "eth0.100"}, true},   {{"eth*", "veth0"}, false},
      {{"*0", "eth0"}, true},           {{"*0", "eth01"}, false},       {{"e*0", "eth10"}, true},
      {{"a*b*c", "aXbYc"}, true},       {{"a*b*c", "acb"}, false},      {{"a*b*c", "abcbc"}, true},
      {{"*.*", "a.b"}, true},           {{"*.*", "ab"}, false},         {{"**", "x"}, true},
      {{"eth0", "eth0"}, true},         {{"eth0", "eth00"}, false},     {{"*", "*"}, true},
      {{"*a*a*a*a*b", std::string(250, 'a')}, false},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(SectionPattern(test.first.first).Matches(test.first.second), test.second)
        << test.first.first << " against " << test.first.second;
  }
  EXPECT_TRUE(SectionPattern("eth*").MoreSpecificThan(SectionPattern("*0")));
  EXPECT_TRUE(SectionPattern("e*h0").MoreSpecificThan(SectionPattern("e*h*0")));
  EXPECT_FALSE(SectionPattern("a*").MoreSpecificThan(SectionPattern("*b")));
  EXPECT_FALSE(SectionPattern("*b").MoreSpecificThan(SectionPattern("a*")));
}

TEST(SchemaTest, TheMostSpecificSectionNamingTheKeyGivesItsRuleAndOtherKeysAreFree) {
  const SchemaSet schemas = NetworkSchemas();
  const std::vector<Write> writes = {
      {"eth0", "mtu", "1500", true},     {"eth0", "mtu", "9000", false},  // the named section beats eth*
      {"eth1", "mtu", "9000", true},     {"eth1", "mtu", "9001", false},  // eth* beats *
      {"eth", "mtu", "9001", false},                                      // '*' matches the empty run too
      {"wlan0", "mtu", "60000", true},   {"wlan0", "mtu", "70000", false},
      {"eth0", "mode", "dhpc", false},   {"eth0", "mode", "static", true},  // eth0 names no mode: eth* does
      {"eth0", "enabled", "maybe", false},                                  // only * names enabled
      {"eth3", "address", "10.0.0.300", false}, {"eth3", "address", "10.0.0.30", true},
      {"wlan0", "address", "anything", true},  // * names no address
      {"eth0", "note", "free text", true},     // no rule names note
  };
  for (const Write& write : writes) {
    std::string reason;
    EXPECT_EQ(schemas.Check("network", write.section, write.key, write.value, &reason), write.accepted)
        << write.section << " " << write.key << " " << write.value << ": " << reason;
  }
  std::string reason;
  EXPECT_FALSE(schemas.Check("network", "eth0", "mtu", "15OO", &reason));
  EXPECT_EQ(reason, "15OO is not an integer in 1280..1500");
  EXPECT_TRUE(schemas.Check("system", "eth0", "mtu", "15OO", &reason));  // no schema for the set
}

TEST(SchemaTest, OfEquallySpecificSectionsTheOneWrittenFirstGivesTheRule) {
  Schema schema;
  ASSERT_TRUE(Schema::Parse("[x*]\nk = enum first\n[*y]\nk = enum second\n[x*y]\nother = boolean\n", "s.schema",
                            &schema)
                  .ok());
  std::string reason;
  EXPECT_TRUE(schema.TypeOf("xy", "k")->Accepts("first", &reason));
  EXPECT_FALSE(schema.TypeOf("xy", "k")->Accepts("second", &reason));
  EXPECT_EQ(schema.TypeOf("xy", "nosuch"), nullptr);
  EXPECT_EQ(schema.set(), "s");
}

TEST(SchemaTest, ErrorsNameTheFileAndTheLineOfEachBadRuleInLineOrder) {
  EXPECT_EQ(ErrorsOf("\xEF\xBB\xBF# interfaces, after a byte-order mark\n"
                     "[eth*]\n"
                     "mtu = integer 68..9000\n"
                     "mode = enum dhcp|static\n"
                     "\n"
                     "[dns]\n"
                     "server = ipv5\n"
                     "[\"odd]name\"]\r\n"
                     "\"a=b\" = text many\r\n"
                     "[eth*]\n"
                     "mtu = boolean\n"),
            "network.schema: line 7: server: unknown type 'ipv5' (one of integer, boolean, enum, ipv4, ipv6, "
            "hostname, text, pattern)\n"
            "network.schema: line 9: \"a=b\": text needs its largest size in bytes, not 'many'\n"
            "network.schema: line 11: mtu: named again (first on line 3)");
  // The reader's own refusals keep its line.
  EXPECT_EQ(ErrorsOf("[eth0]\nmtu = integer 1..2\nmtu integer\n").find("network.schema: line 3: "), 0u);
  EXPECT_EQ(ErrorsOf("mtu = integer 1..2\n").find("network.schema: line 1: "), 0u);
  EXPECT_EQ(ErrorsOf("; set system\n[time]\nzone = text 64\n"),
            "network.schema: line 1: a schema holds the rules of the set network its file is named after, not the "
            "sets of an export");
}

TEST(SchemaTest, ASetIsLoadedFromItsFileOnceAndAnUnreadableFileIsNamed) {
  quenlo_test::TemporaryDirectory directory;
  ASSERT_FALSE(directory.path().empty());
  const std::string path = directory.File("my%20set.schema");
  ASSERT_TRUE(quenlo_test::WriteFile(path, "[eth*]\r\nmode = enum dhcp|static\r\n"));
  SchemaSet schemas;
  ASSERT_TRUE(schemas.Load(path).ok());
  std::string reason;
  EXPECT_FALSE(schemas.Check("my set", "eth0", "mode", "dhpc", &reason));
  EXPECT_EQ(reason, "dhpc is not one of dhcp|static");

  LxStatus again = schemas.Load(path);
  EXPECT_EQ(again.message(), path + ": set \"my set\" has a schema already");
  LxStatus missing = schemas.Load(directory.File("missing.schema"));
  EXPECT_EQ(missing.code(), LxStatus::Code::kIoError);
  EXPECT_EQ(missing.message().find(directory.File("missing.schema") + ": cannot read"), 0u);
}

}  // namespace
}  // namespace qet_cfgserver
