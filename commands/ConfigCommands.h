#pragma once

#include <string>

#include "cfgmsg/LxiConfigure.h"

namespace quenlo {

// The five configuration commands. Each makes exactly one request through
// the client and writes the answer to std::cout in a fixed layout: result
// lines indented by four spaces, every line ending in std::endl. Listings
// print their heading before asking; the value commands ask first. The
// library's answers are printed as they come, never tested. Prompter thread.

// "    Available Configuration Sets", an empty line, one line per set or
// "    Nothing found!".
void ShowCfgSets(qet_cfgserver::LxiConfigure& client);

// The sections of set, or "    pfffft - nothing!".
void ShowCfgSections(qet_cfgserver::LxiConfigure& client, const std::string& set);

// The keys of a section with their values, the values aligned four spaces
// past the longest key; or "    pfffft - nothing!".
void ShowCfgKeysAndValues(qet_cfgserver::LxiConfigure& client, const std::string& set, const std::string& section);

// One value and the request's status label.
void ShowCfgValue(qet_cfgserver::LxiConfigure& client, const std::string& set, const std::string& section,
                  const std::string& key);

// Writes one value; prints the value that was sent and the status label.
void ChangeCfgValue(qet_cfgserver::LxiConfigure& client, const std::string& set, const std::string& section,
                    const std::string& key, const std::string& value);

}  // namespace quenlo
