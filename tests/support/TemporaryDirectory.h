#pragma once

#include <string>

namespace quenlo_test {

// A fresh, private directory (mkdtemp under $TMPDIR, or /tmp) that lives as
// long as this object: the destructor removes it and everything below it.
// path() is empty when creation failed; tests should check that first.
// Not copyable; one thread at a time.
class TemporaryDirectory {
 public:
  TemporaryDirectory() : TemporaryDirectory(std::string()) {}
  // Under root instead; an empty root means the default above.
  explicit TemporaryDirectory(const std::string& root);
  ~TemporaryDirectory();

  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  const std::string& path() const { return path_; }

  // path() + "/" + name.
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// /dev/shm when it is a writable directory here, else empty: a root for
// tests that model durability themselves and need no real disk, only speed.
std::string MemoryFileSystemRoot();

// Writes contents to path, replacing the file. Returns false on failure.
bool WriteFile(const std::string& path, const std::string& contents);
// The whole file at path; empty when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace quenlo_test
