#pragma once

#include <string>
#include <vector>

#include "common/LxStatus.h"
#include "common/RevisionTypes.h"

namespace qet_cfgserver {

// The keys of one revision packed into the one BLOB history keeps them in
// (see StoreSchema), and back. Per key, five fields in turn: set, section,
// key, before, after. Each field is its length as an unsigned LEB128
// number, then that many bytes; before and after store their length plus
// one, 0 meaning absent. Bytes only, so a database moves between machines
// of any byte order and word size. Stateless; any thread.
class KeyChangeCodec {
 public:
  static std::string Encode(const std::vector<KeyChange>& changes);

  // Appends the keys packed in bytes to changes; Corruption when bytes are
  // not such a packing (a damaged row), with changes then undefined.
  static LxStatus Decode(const std::string& bytes, std::vector<KeyChange>* changes);
};

}  // namespace qet_cfgserver
