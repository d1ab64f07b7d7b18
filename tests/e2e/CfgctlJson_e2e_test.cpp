// cfgctl --json against a real server: each command's document parsed back
// and checked against what was written, names and values that are not valid
// UTF-8 coming back whole through base64, watch's one object per line, and
// errors that stay on standard error, exactly as without --json.

#include <gtest/gtest.h>
#include <nettle/base64.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/ChildProcess.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TemporaryDirectory.h"

namespace quenlo_test {
namespace {

using Json = nlohmann::json;

// Generous, it only catches a hang (an emulator, sanitizers, a loaded machine).
constexpr Duration kDeadline{60000};

// Values and names in INI escapes, each with the bytes it stands for below:
// UTF-8 text, a NUL and a byte no UTF-8 holds, a Latin-1 section name, a key
// that ends in a stray byte, an empty value.
const char kAwkwardIni[] =
    "; set json\n"
    "[s]\n"
    "text = Z\xC3\xBCrich \xE2\x82\xAC\n"
    "bytes = \"nul\\x00byte\\xFF\"\n"
    "\"k\\xFF\" = v\n"
    "empty =\n"
    "[\"\\xE9t\\xE9\"]\n"
    "k = v\n";
const std::string kText = "Z\xC3\xBCrich \xE2\x82\xAC";
const std::string kBytes("nul\0byte\xFF", 9);
const std::string kLatin1Section = "\xE9t\xE9", kStrayKey = "k\xFF";

struct Outcome {
  ExitStatus status;
  std::string output, errors;
};

// The bytes a name or value stands for: a string as it is, {"base64": ...}
// decoded (nettle's decoder, not the one that encoded it). "<bad>" for
// anything else, so that a wrong shape fails the comparison.
std::string BytesOf(const Json& value) {
  if (value.is_string()) return value.get<std::string>();
  if (!value.is_object() || value.size() != 1 || !value.contains("base64") || !value["base64"].is_string())
    return "<bad>";
  const std::string text = value["base64"].get<std::string>();
  std::string bytes(BASE64_DECODE_LENGTH(text.size()), '\0');
  base64_decode_ctx context;
  base64_decode_init(&context);
  std::size_t length = bytes.size();
  if (!base64_decode_update(&context, &length, reinterpret_cast<std::uint8_t*>(&bytes[0]), text.size(), text.data()) ||
      !base64_decode_final(&context))
    return "<bad>";
  bytes.resize(length);
  return bytes;
}

class CfgctlJsonEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteFile(directory_.File("network.ini"), "[eth0]\nmtu = 1500\ngateway = 192.168.1.1\n"));
    ASSERT_TRUE(WriteFile(directory_.File("system.ini"), "[time]\nzone = UTC\n"));
    const LxStatus started = server_.Start({Runtime(), directory_.File("config.db"),
                                            {directory_.File("network.ini"), directory_.File("system.ini")}, {}});
    ASSERT_TRUE(started.ok()) << started.ToString();
  }

  std::string Runtime() const { return directory_.File("run"); }

  ChildProcess::Options Environment() const { return {{"CFGSERVER_RUNTIME_DIR=" + Runtime()}, true}; }

  Outcome Cfgctl(const std::vector<std::string>& arguments) {
    ChildProcess child;
    Outcome run;
    const LxStatus started = child.Start(QUENLO_CFGCTL_PATH, arguments, Environment());
    EXPECT_TRUE(started.ok()) << started.ToString();
    EXPECT_TRUE(child.Wait(kDeadline, &run.status).ok());
    run.output = child.output();
    run.errors = child.errors();
    return run;
  }

  // Runs cfgctl, expects status 0 and one line of JSON; returns it parsed
  // (null when it is not one line of JSON).
  Json Document(const std::vector<std::string>& arguments) {
    const Outcome run = Cfgctl(arguments);
    EXPECT_TRUE(run.status.IsExit(0)) << arguments[0] << " " << run.status.ToString() << " " << run.errors;
    const bool oneLine = !run.output.empty() && run.output.find('\n') == run.output.size() - 1;
    EXPECT_TRUE(oneLine) << run.output;
    const Json document = Json::parse(run.output, nullptr, false);
    EXPECT_FALSE(document.is_discarded()) << run.output;
    return oneLine && !document.is_discarded() ? document : Json();
  }

  void Run(const std::vector<std::string>& arguments) {
    const Outcome run = Cfgctl(arguments);
    ASSERT_TRUE(run.status.IsExit(0)) << run.status.ToString() << " " << run.errors;
  }

  TemporaryDirectory directory_;
  ServerProcess server_;
};

TEST_F(CfgctlJsonEndToEnd, GetListAndExportGiveEveryNameAndValueBackByteForByte) {
  ASSERT_TRUE(WriteFile(directory_.File("json.ini"), kAwkwardIni));
  Run({"import", directory_.File("json.ini")});

  Json got = Document({"get", "--json", "json", "s", "bytes"});
  EXPECT_EQ(got["set"], "json");
  EXPECT_EQ(got["section"], "s");
  EXPECT_EQ(got["key"], "bytes");
  EXPECT_EQ(got["value"], Json({{"base64", "bnVsAGJ5dGX/"}}));
  EXPECT_EQ(BytesOf(got["value"]), kBytes);
  EXPECT_EQ(Document({"get", "--json", "json", "s", "text"})["value"], kText);  // UTF-8 as it is
  EXPECT_EQ(Document({"get", "--json", "json", "s", "empty"})["value"], "");

  EXPECT_EQ(Document({"list", "--json"}), Json::parse(R"({"sets":["json","network","system"]})"));
  const Json sections = Document({"list", "--json", "json"});
  EXPECT_EQ(sections["set"], "json");
  ASSERT_EQ(sections["sections"].size(), 2u);
  EXPECT_EQ(sections["sections"][0], "s");  // in the text listing's order: byte order
  EXPECT_EQ(BytesOf(sections["sections"][1]), kLatin1Section);

  // The keys in the order the text listing gives them.
  const std::string text = Cfgctl({"list", "json", "s"}).output;
  const Json keys = Document({"list", "--json", "json", "s"});
  EXPECT_EQ(keys["set"], "json");
  EXPECT_EQ(keys["section"], "s");
  std::string listed;
  for (const Json& key : keys["keys"]) listed += BytesOf(key["key"]) + "=" + BytesOf(key["value"]) + "\n";
  EXPECT_EQ(listed, text);
  EXPECT_NE(text.find(kStrayKey + "=v\n"), std::string::npos);

  const Json exported = Document({"export", "--json", "json", "system"});
  ASSERT_EQ(exported["sets"].size(), 2u);
  EXPECT_EQ(exported["sets"][1], Json::parse(R"({"set":"system","sections":[{"section":"time","keys":[{"key":"zone","value":"UTC"}]}]})"));
  const Json& json = exported["sets"][0];
  EXPECT_EQ(json["set"], "json");
  ASSERT_EQ(json["sections"].size(), 2u);
  EXPECT_EQ(json["sections"][0]["section"], "s");
  EXPECT_EQ(json["sections"][0]["keys"], keys["keys"]);
  EXPECT_EQ(BytesOf(json["sections"][1]["section"]), kLatin1Section);
  EXPECT_EQ(json["sections"][1]["keys"], Json::parse(R"([{"key":"k","value":"v"}])"));
}

// Errors stay what they are without --json: the same status, the same line
// on standard error, nothing on standard output.
TEST_F(CfgctlJsonEndToEnd, FailuresPrintNothingAndReportAsWithoutJson) {
  const struct {
    std::vector<std::string> arguments;
    int status;
  } cases[] = {
      {{"get", "network", "eth0", "missing"}, 1},
      {{"diff", "1", "99"}, 1},
      {{"export", "network", "missing"}, 1},
      {{"show", "99"}, 1},
      {{"diff", "x"}, 2},
  };
  for (const auto& expected : cases) {
    std::vector<std::string> json = expected.arguments;
    json.insert(json.begin() + 1, "--json");
    SCOPED_TRACE(json[0]);
    const Outcome text = Cfgctl(expected.arguments), run = Cfgctl(json);
    EXPECT_TRUE(run.status.IsExit(expected.status)) << run.status.ToString();
    EXPECT_EQ(run.errors, text.errors);
    EXPECT_FALSE(run.errors.empty());
    // export still gives the sets it found, as the text does.
    if (json[0] != "export") {
      EXPECT_EQ(run.output, "");
    }
  }
  const Outcome partial = Cfgctl({"export", "--json", "network", "missing"});
  EXPECT_EQ(Json::parse(partial.output, nullptr, false)["sets"].size(), 1u) << partial.output;
  const Outcome both = Cfgctl({"export", "--json", "--dir", directory_.File("out")});
  EXPECT_TRUE(both.status.IsExit(2));
  EXPECT_EQ(both.output, "");
}

// The imports at start are revisions 1 and 2; three changes make 3 to 5.
TEST_F(CfgctlJsonEndToEnd, ChangesHistoryShowAndDiffGiveEachRecordAsFields) {
  Run({"set", "network", "eth0", "mtu", "9000"});
  Run({"delete", "network", "eth0", "gateway"});
  Run({"set", "network", "eth0", "n\xFF", "v\xFF"});

  EXPECT_EQ(Document({"changes", "--json", "network"}),
            Json::parse(R"({"changes":[
              {"change":"deleted","set":"network","section":"eth0","key":"gateway","was":"192.168.1.1"},
              {"change":"changed","set":"network","section":"eth0","key":"mtu","value":"9000","was":"1500"},
              {"change":"added","set":"network","section":"eth0","key":{"base64":"bv8="},"value":{"base64":"dv8="}}]})"));

  const Json history = Document({"history", "--json", "-n", "2"});
  ASSERT_EQ(history["revisions"].size(), 2u);
  const Json& newest = history["revisions"][0];
  EXPECT_EQ(newest["revision"], 5);
  EXPECT_EQ(history["revisions"][1]["revision"], 4);
  EXPECT_EQ(newest["uid"], geteuid());
  EXPECT_EQ(newest["client"], "cfgctl");
  EXPECT_EQ(newest["keys"], 1);
  EXPECT_TRUE(newest["pid"].is_number_unsigned());
  // Time, user, program and summary are the text line's (the program as
  // the server reads it: under an emulator, the emulator's).
  const std::string line = Cfgctl({"history", "-n", "1"}).output;
  const std::string time = newest["time"], user = newest["user"], program = newest["program"];
  EXPECT_EQ(time.size(), 20u);
  EXPECT_EQ(line, "5 " + time + " " + user + " " + program + " " + BytesOf(newest["summary"]) + "\n");
  EXPECT_TRUE(newest["summary"].is_object());  // the key's stray byte

  Json shown = Document({"show", "--json", "3"});
  EXPECT_EQ(shown["changes"], Json::parse(
      R"([{"change":"changed","set":"network","section":"eth0","key":"mtu","value":"9000","was":"1500"}])"));
  shown.erase("changes");
  const Json listed = Document({"history", "--json", "-n", "3"})["revisions"][2];
  EXPECT_EQ(shown, listed);

  EXPECT_EQ(Document({"diff", "--json", "4", "3"}), Json::parse(R"({"from":4,"to":3,"changes":[
              {"change":"added","set":"network","section":"eth0","key":"gateway","value":"192.168.1.1"}]})"));
  const Json now = Document({"diff", "--json", "2"});
  EXPECT_EQ(now["to"], 5);  // now, by its number
  EXPECT_EQ(now["changes"], Document({"changes", "--json", "network"})["changes"]);
}

// One object per line, each out as it comes; --since gives the revisions.
TEST_F(CfgctlJsonEndToEnd, WatchWritesOneObjectPerChangeAndLine) {
  Run({"set", "network", "eth0", "mtu", "9000"});  // revision 3
  ChildProcess watch;
  ASSERT_TRUE(watch.Start(QUENLO_CFGCTL_PATH, {"watch", "--json", "--since", "2", "network"}, Environment()).ok());
  ASSERT_TRUE(watch.ReadUntil("\"9000\"}\n", kDeadline).ok()) << watch.output();
  Run({"delete", "network", "eth0", "gateway"});
  Run({"set", "network", "eth0", "note", "\xC0\x80"});
  ASSERT_TRUE(watch.ReadUntil("{\"base64\":\"wIA=\"}}\n", kDeadline).ok()) << watch.output();
  ASSERT_TRUE(watch.Signal(SIGTERM).ok());
  ExitStatus status;
  ASSERT_TRUE(watch.Wait(kDeadline, &status).ok());
  EXPECT_TRUE(status.IsExit(0)) << status.ToString() << watch.errors();

  std::vector<Json> lines;
  const std::string& output = watch.output();
  for (std::size_t start = 0; start < output.size();) {
    const std::size_t end = output.find('\n', start);
    ASSERT_NE(end, std::string::npos) << output;
    lines.push_back(Json::parse(output.substr(start, end - start), nullptr, false));
    start = end + 1;
  }
  ASSERT_EQ(lines.size(), 3u) << output;
  EXPECT_EQ(lines[0], Json::parse(R"({"revision":3,"change":"set","set":"network","section":"eth0","key":"mtu","value":"9000"})"));
  EXPECT_EQ(lines[1], Json::parse(R"({"revision":4,"change":"deleted","set":"network","section":"eth0","key":"gateway"})"));
  EXPECT_EQ(lines[2]["revision"], 5);
  EXPECT_EQ(BytesOf(lines[2]["value"]), "\xC0\x80");
}

}  // namespace
}  // namespace quenlo_test
