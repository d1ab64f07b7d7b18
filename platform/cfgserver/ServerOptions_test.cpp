#include "ServerOptions.h"

#include <gtest/gtest.h>

namespace qet_cfgserver {
namespace {

LxStatus Parse(const std::vector<std::string>& arguments, ServerOptions* options) {
  return ServerOptions::Parse(arguments, options);
}

TEST(ServerOptionsTest, EveryOptionInBothForms) {
  ServerOptions options;
  ASSERT_TRUE(Parse({"--runtime-dir", "/r", "--database=/d/c.db", "--import", "a.ini", "--import=b.ini",
                     "--import", "a.ini"},
                    &options)
                  .ok());
  EXPECT_EQ(options.runtimeDirectory, "/r");
  EXPECT_EQ(options.database, "/d/c.db");
  EXPECT_EQ(options.imports, (std::vector<std::string>{"a.ini", "b.ini", "a.ini"}));
  EXPECT_FALSE(options.help);
}

TEST(ServerOptionsTest, NothingGivenLeavesEverythingUnset) {
  ServerOptions options;
  ASSERT_TRUE(Parse({}, &options).ok());
  EXPECT_TRUE(options.runtimeDirectory.empty());
  EXPECT_TRUE(options.database.empty());
  EXPECT_TRUE(options.imports.empty());
}

TEST(ServerOptionsTest, Help) {
  ServerOptions options;
  ASSERT_TRUE(Parse({"--help"}, &options).ok());
  EXPECT_TRUE(options.help);
  EXPECT_NE(ServerOptions::Usage().find("--import FILE.ini"), std::string::npos);
}

TEST(ServerOptionsTest, LaterValueWins) {
  ServerOptions options;
  ASSERT_TRUE(Parse({"--database", "first", "--database", "second"}, &options).ok());
  EXPECT_EQ(options.database, "second");
}

TEST(ServerOptionsTest, BadCommandLinesSayWhatIsWrong) {
  const struct {
    std::vector<std::string> arguments;
    const char* message;
  } cases[] = {
      {{"--x"}, "unknown option '--x'"},
      {{"-d"}, "unknown option '-d'"},
      {{"--database"}, "option '--database' needs a value"},
      {{"--runtime-dir", "/r", "--import"}, "option '--import' needs a value"},
      {{"--database="}, "option '--database' needs a non-empty value"},
      {{"--import", ""}, "option '--import' needs a non-empty value"},
      {{"stray"}, "unexpected argument 'stray'"},
      {{"--help=yes"}, "unknown option '--help=yes'"},
  };
  for (const auto& testCase : cases) {
    ServerOptions options;
    LxStatus status = Parse(testCase.arguments, &options);
    EXPECT_EQ(status.code(), LxStatus::Code::kInvalidArgument);
    EXPECT_EQ(status.message(), testCase.message);
  }
}

TEST(ServerOptionsTest, DefaultDatabasePath) {
  EXPECT_EQ(ServerOptions::DefaultDatabasePath(0, "/state", "/home/x"), "/var/lib/cfgserver/config.db");
  EXPECT_EQ(ServerOptions::DefaultDatabasePath(1000, "/state", "/home/x"), "/state/cfgserver/config.db");
  EXPECT_EQ(ServerOptions::DefaultDatabasePath(1000, nullptr, "/home/x"), "/home/x/.local/state/cfgserver/config.db");
  EXPECT_EQ(ServerOptions::DefaultDatabasePath(1000, "", "/home/x"), "/home/x/.local/state/cfgserver/config.db");
  EXPECT_EQ(ServerOptions::DefaultDatabasePath(1000, "relative", "/home/x"),
            "/home/x/.local/state/cfgserver/config.db");
  EXPECT_EQ(ServerOptions::DefaultDatabasePath(1000, nullptr, nullptr), "cfgserver-config.db");
}

TEST(ServerOptionsTest, ResolveDefaultsKeepsGivenValues) {
  ServerOptions options;
  options.runtimeDirectory = "/r";
  options.database = "/d";
  options.ResolveDefaults();
  EXPECT_EQ(options.runtimeDirectory, "/r");
  EXPECT_EQ(options.database, "/d");
  ServerOptions unset;
  unset.ResolveDefaults();
  EXPECT_FALSE(unset.runtimeDirectory.empty());
  EXPECT_FALSE(unset.database.empty());
}

}  // namespace
}  // namespace qet_cfgserver
