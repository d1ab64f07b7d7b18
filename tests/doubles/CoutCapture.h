#pragma once

#include <iostream>
#include <sstream>
#include <string>

namespace quenlo_test {

// Sends std::cout into a string for the capture's lifetime. Only for code
// that writes on the test's own thread.
class CoutCapture {
 public:
  CoutCapture() : previous_(std::cout.rdbuf(buffer_.rdbuf())) {}
  ~CoutCapture() { std::cout.rdbuf(previous_); }

  CoutCapture(const CoutCapture&) = delete;
  CoutCapture& operator=(const CoutCapture&) = delete;

  std::string Text() const { return buffer_.str(); }

 private:
  std::ostringstream buffer_;
  std::streambuf* previous_;
};

}  // namespace quenlo_test
