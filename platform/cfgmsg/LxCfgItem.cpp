#include "LxCfgItem.h"

#include "LxCfgUtil.h"

namespace qet_cfgserver {

int LxCfgItem::IdentifyCiArgs(const std::string& line, std::string& set, std::string& section, std::string& key,
                              std::string& value) {
  std::string* const items[] = {&set, &section, &key, &value};
  constexpr int kItemCount = 4;
  for (std::string* item : items) item->clear();

  int found = 0;
  std::string::size_type start = 0;
  for (; found < kItemCount; ++found) {
    const bool isLast = found == kItemCount - 1;
    const std::string::size_type comma = isLast ? std::string::npos : line.find(',', start);
    *items[found] = line.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    LxCfgUtil::TrimSpaces(*items[found]);
    if (comma == std::string::npos) return found + 1;
    start = comma + 1;
  }
  return found;
}

}  // namespace qet_cfgserver
