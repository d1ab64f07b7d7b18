#include "cfgmsg/LxCfgItem.h"

#include "cfgmsg/LxCfgUtil.h"

namespace qet_cfgserver {

void LxCfgItem::IdentifyCiArgs(const std::string& line, std::string& set, std::string& section, std::string& key,
                              std::string& value) {
  std::string* const items[] = {&set, &section, &key, &value};
  constexpr int kItemCount = 4;
  for (std::string* item : items) item->clear();

  std::string::size_type start = 0;
  for (int item = 0; item < kItemCount; ++item) {
    const bool isLast = item == kItemCount - 1;
    const std::string::size_type comma = isLast ? std::string::npos : line.find(',', start);
    *items[item] = line.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    LxCfgUtil::TrimSpaces(*items[item]);
    if (comma == std::string::npos) return;
    start = comma + 1;
  }
}

}  // namespace qet_cfgserver
