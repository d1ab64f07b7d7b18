#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "recovery/StoreKeeper.h"

namespace quenlo_fuzz {

// A real store for a fuzzer, kept by the server's StoreKeeper, in a private directory made once per
// process: under /dev/shm when there is one (every write is synced, and
// memory syncs fast), else under $TMPDIR or /tmp. The directory is removed
// when the process exits normally; an aborted run leaves it behind, named
// quenlo-fuzz-*.
//
// The database starts afresh once kBudgetBytes have been written to it, so a
// long run neither fills its file system nor grows a listing past the frame
// limit. Not thread-safe: libFuzzer calls its target from one thread.
class ScratchStore {
 public:
  static constexpr std::size_t kBudgetBytes = 4 * 1024 * 1024;

  // The process's store, made on first use; exits the process when none can be made.
  static ScratchStore& Instance();

  ~ScratchStore();

  ScratchStore(const ScratchStore&) = delete;
  ScratchStore& operator=(const ScratchStore&) = delete;

  qet_cfgserver::StoreKeeper* keeper() { return keeper_.get(); }

  // Counts bytes written through keeper().
  void Wrote(std::size_t bytes) { writtenBytes_ += bytes; }

  // Replaces the database by an empty one when the budget is spent. Call
  // between inputs, never while a caller holds keeper().
  void RenewWhenSpent();

 private:
  ScratchStore() = default;

  void Renew();

  std::string directory_;
  std::unique_ptr<qet_cfgserver::StoreKeeper> keeper_;
  std::size_t writtenBytes_ = 0;
};

}  // namespace quenlo_fuzz
