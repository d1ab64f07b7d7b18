#include "schema/SectionPattern.h"

#include <algorithm>

namespace qet_cfgserver {

namespace {

constexpr char kWildcard = '*';

}  // namespace

SectionPattern::SectionPattern(std::string pattern)
    : pattern_(std::move(pattern)),
      wildcards_(static_cast<std::size_t>(std::count(pattern_.begin(), pattern_.end(), kWildcard))) {}

bool SectionPattern::Matches(const std::string& section) const {
  // Greedy, going back to the last '*' on a mismatch: a later '*' can
  // absorb anything an earlier one could, so no other choice needs retrying.
  std::size_t at = 0, name = 0;
  std::size_t lastWildcard = std::string::npos, resumeName = 0;
  while (name < section.size()) {
    if (at < pattern_.size() && pattern_[at] == kWildcard) {
      lastWildcard = at++;
      resumeName = name;
    } else if (at < pattern_.size() && pattern_[at] == section[name]) {
      ++at;
      ++name;
    } else if (lastWildcard != std::string::npos) {
      at = lastWildcard + 1;
      name = ++resumeName;
    } else {
      return false;
    }
  }
  while (at < pattern_.size() && pattern_[at] == kWildcard) ++at;
  return at == pattern_.size();
}

bool SectionPattern::MoreSpecificThan(const SectionPattern& other) const {
  const std::size_t literal = pattern_.size() - wildcards_;
  const std::size_t otherLiteral = other.pattern_.size() - other.wildcards_;
  if (literal != otherLiteral) return literal > otherLiteral;
  return wildcards_ < other.wildcards_;
}

}  // namespace qet_cfgserver
