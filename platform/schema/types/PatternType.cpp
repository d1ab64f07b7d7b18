#include "schema/types/PatternType.h"

#include "ini/IniField.h"

namespace qet_cfgserver {

// Far above what matching a sane pattern against the longest value takes,
// far below a noticeable pause of the server.
const std::uint32_t PatternType::kMatchLimit = 100000;
const std::uint32_t PatternType::kDepthLimit = 20000;
const std::uint32_t PatternType::kHeapLimitKibibytes = 4096;

namespace {

// The whole value, and its bytes as they are: "(*UTF)" in a pattern cannot
// turn on a mode in which some values could not be checked at all.
constexpr std::uint32_t kCompileOptions = PCRE2_ANCHORED | PCRE2_ENDANCHORED | PCRE2_NEVER_UTF | PCRE2_NEVER_UCP;

std::string ErrorText(int code) {
  PCRE2_UCHAR buffer[256];
  if (pcre2_get_error_message(code, buffer, sizeof buffer) < 0) return "error " + std::to_string(code);
  return reinterpret_cast<const char*>(buffer);
}

bool IsOverLimit(int result) {
  return result == PCRE2_ERROR_MATCHLIMIT || result == PCRE2_ERROR_DEPTHLIMIT || result == PCRE2_ERROR_HEAPLIMIT;
}

}  // namespace

LxStatus PatternType::Create(const std::string& regex, std::unique_ptr<const ValueType>* type) {
  if (regex.empty()) return LxStatus::InvalidArgument("pattern needs a regular expression");
  int error = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(regex.data()), regex.size(), kCompileOptions, &error,
                                   &offset, nullptr);
  if (code == nullptr)
    return LxStatus::InvalidArgument("pattern " + regex + ": " + ErrorText(error) + " at offset " +
                                     std::to_string(offset));
  pcre2_match_context* limits = pcre2_match_context_create(nullptr);
  if (limits == nullptr) {
    pcre2_code_free(code);
    return LxStatus::Unavailable("pattern " + regex + ": out of memory");
  }
  pcre2_set_match_limit(limits, kMatchLimit);
  pcre2_set_depth_limit(limits, kDepthLimit);
  pcre2_set_heap_limit(limits, kHeapLimitKibibytes);
  type->reset(new PatternType(regex, code, limits));
  return LxStatus::Ok();
}

int PatternType::Match(const std::string& value) const {
  // Only whether it matches counts: one pair of offsets is enough (a match
  // with more groups than pairs still returns 0, not an error).
  pcre2_match_data* match = pcre2_match_data_create(1, nullptr);
  if (match == nullptr) return PCRE2_ERROR_NOMEMORY;
  const int result =
      pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(value.data()), value.size(), 0, 0, match, limits_);
  pcre2_match_data_free(match);
  return result;
}

PatternType::~PatternType() {
  pcre2_match_context_free(limits_);
  pcre2_code_free(code_);
}

bool PatternType::Accepts(const std::string& value, std::string* reason) const {
  const int result = Match(value);
  if (result >= 0) return true;
  const std::string pattern = IniField::Write(regex_, IniField::Place::kWord);
  if (result == PCRE2_ERROR_NOMATCH) {
    *reason = Shown(value) + " does not match the pattern " + pattern;
  } else if (IsOverLimit(result)) {
    *reason = Shown(value) + " is too complex to check against the pattern " + pattern;
  } else {
    *reason = Shown(value) + " could not be checked against the pattern " + pattern + ": " + ErrorText(result);
  }
  return false;
}

}  // namespace qet_cfgserver
