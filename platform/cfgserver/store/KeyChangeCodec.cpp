#include "store/KeyChangeCodec.h"

#include <cstdint>
#include <optional>

namespace qet_cfgserver {

namespace {

constexpr unsigned kBitsPerByte = 7;
constexpr unsigned char kMoreBytes = 0x80;
constexpr unsigned char kLowBits = 0x7f;
// 64 bits in groups of seven.
constexpr int kMaxNumberBytes = 10;

void PutNumber(std::uint64_t number, std::string* bytes) {
  while (number > kLowBits) {
    bytes->push_back(static_cast<char>((number & kLowBits) | kMoreBytes));
    number >>= kBitsPerByte;
  }
  bytes->push_back(static_cast<char>(number));
}

void PutField(const std::string& field, std::string* bytes) {
  PutNumber(field.size(), bytes);
  bytes->append(field);
}

void PutOptionalField(const std::optional<std::string>& field, std::string* bytes) {
  PutNumber(field ? field->size() + 1 : 0, bytes);
  if (field) bytes->append(*field);
}

// Reads packed bytes from the front; each call fails once anything is out
// of place, and keeps failing.
class Reader {
 public:
  explicit Reader(const std::string& bytes) : bytes_(bytes) {}

  bool done() const { return position_ == bytes_.size(); }

  bool Number(std::uint64_t* number) {
    *number = 0;
    for (int index = 0; index < kMaxNumberBytes && position_ < bytes_.size(); ++index) {
      const unsigned char byte = static_cast<unsigned char>(bytes_[position_++]);
      *number |= static_cast<std::uint64_t>(byte & kLowBits) << (kBitsPerByte * index);
      if ((byte & kMoreBytes) == 0) return true;
    }
    return false;
  }

  bool Bytes(std::uint64_t count, std::string* field) {
    if (count > bytes_.size() - position_) return false;
    field->assign(bytes_, position_, static_cast<std::size_t>(count));
    position_ += static_cast<std::size_t>(count);
    return true;
  }

  bool Field(std::string* field) {
    std::uint64_t count = 0;
    return Number(&count) && Bytes(count, field);
  }

  bool OptionalField(std::optional<std::string>* field) {
    std::uint64_t count = 0;
    if (!Number(&count)) return false;
    if (count == 0) {
      field->reset();
      return true;
    }
    field->emplace();
    return Bytes(count - 1, &**field);
  }

 private:
  const std::string& bytes_;
  std::size_t position_ = 0;
};

}  // namespace

std::string KeyChangeCodec::Encode(const std::vector<KeyChange>& changes) {
  std::string bytes;
  for (const KeyChange& change : changes) {
    for (const std::string* name : {&change.set, &change.section, &change.key}) PutField(*name, &bytes);
    PutOptionalField(change.before, &bytes);
    PutOptionalField(change.after, &bytes);
  }
  return bytes;
}

LxStatus KeyChangeCodec::Decode(const std::string& bytes, std::vector<KeyChange>* changes) {
  Reader reader(bytes);
  while (!reader.done()) {
    KeyChange change;
    if (!reader.Field(&change.set) || !reader.Field(&change.section) || !reader.Field(&change.key) ||
        !reader.OptionalField(&change.before) || !reader.OptionalField(&change.after))
      return LxStatus::Corruption("a revision's keys are damaged");
    changes->push_back(std::move(change));
  }
  return LxStatus::Ok();
}

}  // namespace qet_cfgserver
