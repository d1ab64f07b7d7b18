#include "TemporaryDirectory.h"

#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <vector>

namespace quenlo_test {

namespace {

constexpr int kMaxOpenDirectories = 16;

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  remove(path);
  return 0;  // keep going: remove as much as possible
}

std::string TemporaryRoot() {
  const char* configured = getenv("TMPDIR");
  if (configured != nullptr && configured[0] != '\0') return configured;
  return "/tmp";
}

}  // namespace

TemporaryDirectory::TemporaryDirectory() {
  std::string pattern = TemporaryRoot() + "/quenlo-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) != nullptr) path_ = buffer.data();
}

TemporaryDirectory::~TemporaryDirectory() {
  if (path_.empty()) return;
  // Depth first and without following symbolic links out of the directory.
  nftw(path_.c_str(), RemoveEntry, kMaxOpenDirectories, FTW_DEPTH | FTW_PHYS);
}

bool WriteFile(const std::string& path, const std::string& contents) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  return static_cast<bool>(file.flush());
}

}  // namespace quenlo_test
