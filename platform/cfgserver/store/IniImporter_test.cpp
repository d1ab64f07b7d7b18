#include "store/IniImporter.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "ini/IniReader.h"
#include "tests/support/TemporaryDirectory.h"

namespace qet_cfgserver {
namespace {

using Sets = std::map<std::string, std::map<std::string, std::string>>;  // set -> "section/key" -> value

Sets Stored(ConfigStore* store) {
  Sets sets;
  std::vector<std::string> names;
  EXPECT_TRUE(store->GetSets(&names).ok());
  for (const std::string& name : names) {
    std::vector<wire::Record> records;
    EXPECT_TRUE(store->layers().ExportSet(name, &records).ok());
    for (const wire::Record& record : records) sets[name][record.section + "/" + record.key] = record.value;
  }
  return sets;
}

// cfgctl import sends what IniReader::ReadFile gives; the server must store
// exactly that, for a plain file whose comment looks like a set marker and
// for an export of two sets alike.
TEST(IniImporterTest, StoresTheSetsCfgctlReadsAndNothingOfARefusedFile) {
  quenlo_test::TemporaryDirectory directory;
  std::unique_ptr<ConfigStore> store;
  ASSERT_TRUE(ConfigStore::Open(directory.File("config.db"), &store).ok());
  const std::map<std::string, std::string> files = {
      {"engine.ini",
       "; engine defaults\n[engine]\nmemory = 128M\n\n[oracle]\n; set to 0, every connect pings the server;\n"
       "; set to -1, it never does\nping = -1\nping = 30\n\n[session]\nsave_path = \"/var/lib/s\"\n"},
      {"backup.ini", "; set network\n\n[eth0]\nmtu = 1500\n\n; set system\n\n[time]\nzone = UTC\n"}};
  Sets expected;
  for (const auto& file : files) {
    const std::string path = directory.File(file.first);
    ASSERT_TRUE(quenlo_test::WriteFile(path, file.second));
    IniContent content;
    ASSERT_TRUE(IniReader::ReadFile(path, &content).ok());
    for (const IniSet& set : content.sets)
      for (const ConfigEntry& entry : set.entries) expected[set.name][entry.section + "/" + entry.key] = entry.value;
    ASSERT_TRUE(IniImporter::Import(path, store.get()).ok()) << file.first;
  }
  EXPECT_EQ(Stored(store.get()), expected);
  EXPECT_EQ(expected.size(), 3u);  // engine, network, system
  EXPECT_EQ(expected["engine"], (std::map<std::string, std::string>{
                                    {"engine/memory", "128M"}, {"oracle/ping", "30"}, {"session/save_path", "/var/lib/s"}}));

  const std::string bad = directory.File("bad.ini");
  ASSERT_TRUE(quenlo_test::WriteFile(bad, "[s]\nk = v\n[t]\nlist =\n  item\n"));
  EXPECT_EQ(IniImporter::Import(bad, store.get()).message().find(bad + ": line 5: "), 0u);
  EXPECT_EQ(Stored(store.get()), expected);
}

}  // namespace
}  // namespace qet_cfgserver
