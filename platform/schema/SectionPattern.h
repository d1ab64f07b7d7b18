#pragma once

#include <cstddef>
#include <string>

namespace qet_cfgserver {

// The section name of a schema, where each '*' stands for any run of bytes,
// the empty run included ("eth*" matches "eth", "eth0" and "eth0.100"); all
// other bytes stand for themselves. A name without '*' matches only itself.
class SectionPattern {
 public:
  explicit SectionPattern(std::string pattern);

  const std::string& text() const { return pattern_; }
  bool HasWildcard() const { return wildcards_ > 0; }

  // Whether section is one of the names the pattern stands for. Costs at
  // most the product of the two lengths (names are 255 bytes at most).
  bool Matches(const std::string& section) const;

  // Of two patterns that match one name, the more specific gives the rule:
  // the one with more bytes other than '*', then the one with fewer '*'.
  // Neither is more specific than the other when both counts are equal.
  bool MoreSpecificThan(const SectionPattern& other) const;

 private:
  std::string pattern_;
  std::size_t wildcards_ = 0;
};

}  // namespace qet_cfgserver
