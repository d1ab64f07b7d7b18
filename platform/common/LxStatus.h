#pragma once

#include <string>

// The outcome of an operation at a library boundary: success, or a kind of
// failure with a message a person can read. Errors travel as values, never
// as exceptions. Cheap to copy; safe to use from any thread.
class LxStatus {
 public:
  enum class Code { kOk, kInvalidArgument, kNotFound, kIoError, kCorruption, kTimedOut, kUnavailable, kPermissionDenied };

  LxStatus() = default;  // success

  static LxStatus Ok() { return LxStatus(); }
  static LxStatus InvalidArgument(std::string message) { return LxStatus(Code::kInvalidArgument, std::move(message)); }
  static LxStatus NotFound(std::string message) { return LxStatus(Code::kNotFound, std::move(message)); }
  static LxStatus IoError(std::string message) { return LxStatus(Code::kIoError, std::move(message)); }
  static LxStatus Corruption(std::string message) { return LxStatus(Code::kCorruption, std::move(message)); }
  static LxStatus TimedOut(std::string message) { return LxStatus(Code::kTimedOut, std::move(message)); }
  static LxStatus Unavailable(std::string message) { return LxStatus(Code::kUnavailable, std::move(message)); }
  // The system refused for lack of permission (EACCES, EPERM).
  static LxStatus PermissionDenied(std::string message) {
    return LxStatus(Code::kPermissionDenied, std::move(message));
  }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  const std::string& message() const { return message_; }

  // "OK", or the kind of failure followed by the message.
  std::string ToString() const;

 private:
  LxStatus(Code code, std::string message) : code_(code), message_(std::move(message)) {}

  Code code_ = Code::kOk;
  std::string message_;
};
