#include "common/LxStatus.h"

namespace {

const char* CodeName(LxStatus::Code code) {
  switch (code) {
    case LxStatus::Code::kOk: return "OK";
    case LxStatus::Code::kInvalidArgument: return "invalid argument";
    case LxStatus::Code::kNotFound: return "not found";
    case LxStatus::Code::kIoError: return "I/O error";
    case LxStatus::Code::kCorruption: return "corruption";
    case LxStatus::Code::kTimedOut: return "timed out";
    case LxStatus::Code::kUnavailable: return "unavailable";
    case LxStatus::Code::kPermissionDenied: return "permission denied";
  }
  return "unknown";
}

}  // namespace

std::string LxStatus::ToString() const {
  if (ok()) return "OK";
  return std::string(CodeName(code_)) + ": " + message_;
}
