#include "fuzz/ScratchStore.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace quenlo_fuzz {

namespace {

constexpr const char* kDatabaseName = "config.db";

std::string ScratchRoot() {
  if (access("/dev/shm", W_OK | X_OK) == 0) return "/dev/shm";
  const char* root = getenv("TMPDIR");
  return root != nullptr && root[0] != '\0' ? root : "/tmp";
}

[[noreturn]] void GiveUp(const std::string& why) {
  std::fprintf(stderr, "no scratch store: %s\n", why.c_str());
  std::exit(1);
}

}  // namespace

ScratchStore& ScratchStore::Instance() {
  static ScratchStore scratch;
  if (scratch.directory_.empty()) {
    std::string pattern = ScratchRoot() + "/quenlo-fuzz-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) GiveUp("cannot create a directory like " + pattern);
    scratch.directory_ = pattern;
    scratch.Renew();
  }
  return scratch;
}

ScratchStore::~ScratchStore() {
  keeper_.reset();
  std::error_code ignored;
  if (!directory_.empty()) std::filesystem::remove_all(directory_, ignored);
}

void ScratchStore::RenewWhenSpent() {
  if (writtenBytes_ >= kBudgetBytes) Renew();
}

void ScratchStore::Renew() {
  keeper_.reset();
  // The database with its log and index files: everything in the directory.
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(directory_, ignored))
    std::filesystem::remove(entry.path(), ignored);
  keeper_.reset(new qet_cfgserver::StoreKeeper({directory_ + "/" + kDatabaseName, {}, nullptr}));
  LxStatus opened = keeper_->Open();
  if (!opened.ok()) GiveUp(opened.ToString());
  writtenBytes_ = 0;
}

}  // namespace quenlo_fuzz
