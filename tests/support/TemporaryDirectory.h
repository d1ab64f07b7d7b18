#pragma once

#include <string>

namespace quenlo_test {

// A fresh, private directory (mkdtemp under $TMPDIR, or /tmp) that lives as
// long as this object: the destructor removes it and everything below it.
// path() is empty when creation failed; tests should check that first.
// Not copyable; one thread at a time.
class TemporaryDirectory {
 public:
  TemporaryDirectory();
  ~TemporaryDirectory();

  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  const std::string& path() const { return path_; }

  // path() + "/" + name.
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes contents to path, replacing the file. Returns false on failure.
bool WriteFile(const std::string& path, const std::string& contents);

}  // namespace quenlo_test
