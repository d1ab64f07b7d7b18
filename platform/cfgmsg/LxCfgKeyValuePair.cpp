#include "cfgmsg/LxCfgKeyValuePair.h"

namespace qet_cfgserver {

LxCfgKeyValuePair::LxCfgKeyValuePair(std::string key, std::string value)
    : key_(std::move(key)), value_(std::move(value)) {}

LxCfgKeyValuePair::~LxCfgKeyValuePair() = default;

}  // namespace qet_cfgserver
