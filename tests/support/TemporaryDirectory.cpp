#include "tests/support/TemporaryDirectory.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace quenlo_test {

namespace {

constexpr const char* kMemoryFileSystem = "/dev/shm";

std::string DefaultRoot() {
  const char* root = getenv("TMPDIR");
  return root != nullptr && root[0] != '\0' ? root : "/tmp";
}

}  // namespace

TemporaryDirectory::TemporaryDirectory(const std::string& root) {
  std::string pattern = (root.empty() ? DefaultRoot() : root) + "/quenlo-test-XXXXXX";
  if (mkdtemp(&pattern[0]) != nullptr) path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
  // As much as can be removed; symbolic links are removed, never followed.
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::string MemoryFileSystemRoot() {
  struct stat status;
  const bool usable = stat(kMemoryFileSystem, &status) == 0 && S_ISDIR(status.st_mode) &&
                      access(kMemoryFileSystem, W_OK | X_OK) == 0;
  return usable ? kMemoryFileSystem : std::string();
}

bool WriteFile(const std::string& path, const std::string& contents) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  return static_cast<bool>(file.write(contents.data(), static_cast<std::streamsize>(contents.size())).flush());
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

}  // namespace quenlo_test
