#include "schema/types/IntegerType.h"

#include "schema/types/DecimalInteger.h"

namespace qet_cfgserver {

namespace {

constexpr const char* kRangeMark = "..";

}  // namespace

LxStatus IntegerType::Create(const std::string& range, std::unique_ptr<const ValueType>* type) {
  const std::size_t mark = range.find(kRangeMark);
  std::int64_t lowest = 0, highest = 0;
  if (mark == std::string::npos || !DecimalInteger::Parse(range.substr(0, mark), &lowest) ||
      !DecimalInteger::Parse(range.substr(mark + 2), &highest))
    return LxStatus::InvalidArgument("integer needs MIN..MAX, two whole numbers of 64 bits, not '" + range + "'");
  if (lowest > highest) return LxStatus::InvalidArgument("integer range " + range + " is empty");
  type->reset(new IntegerType(lowest, highest));
  return LxStatus::Ok();
}

bool IntegerType::Accepts(const std::string& value, std::string* reason) const {
  std::int64_t number = 0;
  if (DecimalInteger::Parse(value, &number) && number >= lowest_ && number <= highest_) return true;
  *reason = Shown(value) + " is not an integer in " + std::to_string(lowest_) + kRangeMark + std::to_string(highest_);
  return false;
}

}  // namespace qet_cfgserver
