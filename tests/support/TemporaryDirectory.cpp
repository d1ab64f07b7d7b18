#include "TemporaryDirectory.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace quenlo_test {

TemporaryDirectory::TemporaryDirectory() {
  const char* root = getenv("TMPDIR");
  std::string pattern = std::string(root != nullptr && root[0] != '\0' ? root : "/tmp") + "/quenlo-test-XXXXXX";
  if (mkdtemp(&pattern[0]) != nullptr) path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
  // As much as can be removed; symbolic links are removed, never followed.
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

bool WriteFile(const std::string& path, const std::string& contents) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  return static_cast<bool>(file.write(contents.data(), static_cast<std::streamsize>(contents.size())).flush());
}

}  // namespace quenlo_test
