#pragma once

#include <cstdint>
#include <memory>
#include <string>

#ifndef PCRE2_CODE_UNIT_WIDTH
#define PCRE2_CODE_UNIT_WIDTH 8
#endif
#include <pcre2.h>

#include "common/LxStatus.h"
#include "schema/types/ValueType.h"

namespace qet_cfgserver {

// "pattern REGEX": the whole value matches REGEX, a Perl-compatible regular
// expression (PCRE2) over the value's bytes: anchored at both ends, no
// UTF-8 mode. Matching is bounded: a value whose match would take more than
// kMatchLimit backtracking steps, kDepthLimit nested backtracking points or
// kHeapLimitKibibytes of memory is refused as too complex, never hangs.
class PatternType : public ValueType {
 public:
  static const std::uint32_t kMatchLimit;
  static const std::uint32_t kDepthLimit;
  static const std::uint32_t kHeapLimitKibibytes;

  // Compiles regex; an error names what is wrong and where.
  static LxStatus Create(const std::string& regex, std::unique_ptr<const ValueType>* type);

  ~PatternType() override;
  PatternType(const PatternType&) = delete;
  PatternType& operator=(const PatternType&) = delete;

  bool Accepts(const std::string& value, std::string* reason) const override;

 private:
  PatternType(std::string regex, pcre2_code* code, pcre2_match_context* limits)
      : regex_(std::move(regex)), code_(code), limits_(limits) {}

  // pcre2_match's result for value: 0 or more on a match, else an error code.
  int Match(const std::string& value) const;

  const std::string regex_;
  pcre2_code* const code_;              // owned; PCRE2 allows matching it from several threads
  pcre2_match_context* const limits_;  // owned; read-only once made
};

}  // namespace qet_cfgserver
