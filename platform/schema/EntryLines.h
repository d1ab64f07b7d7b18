#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace qet_cfgserver {

// Where the entries of INI text stand, line by line. IniReader returns
// entries without their lines, and a schema's errors must name them; so each
// line is read alone by that same reader, after the section it stands in,
// and the two can never disagree about what a line holds.
class EntryLines {
 public:
  // text: INI text of one set that IniReader::Parse accepts.
  explicit EntryLines(const std::string& text);

  // The lines (from 1, in order) that give key in section a value; empty
  // when there is none.
  const std::vector<std::size_t>& LinesOf(const std::string& section, const std::string& key) const;

 private:
  std::map<std::pair<std::string, std::string>, std::vector<std::size_t>> lines_;  // by section, key
};

}  // namespace qet_cfgserver
