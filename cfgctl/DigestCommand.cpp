#include "cfgctl/DigestCommand.h"

#include <nettle/base16.h>
#include <nettle/sha2.h>

#include <cstdint>
#include <set>
#include <utility>

#include "cfgctl/CanonicalForm.h"
#include "cfgctl/Commands.h"
#include "cfgmsg/CfgAdmin.h"
#include "cfgmsg/CfgRequests.h"

namespace cfgctl {

using namespace qet_cfgserver;

namespace {

// SHA-256 of bytes given in pieces (nettle's).
class Sha256 {
 public:
  Sha256() { sha256_init(&context_); }

  void Add(const std::string& bytes) {
    sha256_update(&context_, bytes.size(), reinterpret_cast<const std::uint8_t*>(bytes.data()));
  }

  // Lowercase hexadecimal (nettle's base16); ends the hash.
  std::string HexDigest() {
    std::uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context_, sizeof digest, digest);
    std::string hex(BASE16_ENCODE_LENGTH(sizeof digest), '\0');
    base16_encode_update(&hex[0], sizeof digest, digest);
    return hex;
  }

 private:
  sha256_ctx context_;
};

}  // namespace

ExitStatus DigestCommand::Run(LxiConfigure& client, const std::vector<std::string>& names, Output& output) {
  // Ordered here, by std::string's byte order, whatever order the server
  // lists the sets in.
  std::set<std::string> sets(names.begin(), names.end());
  if (names.empty()) {
    const CfgItemStatus::Status status = GetCfgSets(client, sets, Commands::kTag);
    if (status != CfgItemStatus::kSuccess) return Commands::Report("digest", status, client.ConnectionProblem());
  }
  Sha256 hash;
  for (const std::string& set : sets) {
    const std::string what = Commands::Words("digest", {set});
    std::vector<ConfigEntry> entries;
    const CfgItemStatus::Status status = ExportCfgSet(client, set, entries, Commands::kTag);
    if (status != CfgItemStatus::kSuccess) return Commands::Report(what, status, client.ConnectionProblem());
    // A listed set deleted before its turn is simply no longer there; a
    // named one must exist.
    if (entries.empty() && !names.empty()) {
      Output::Error(what + ": no such set");
      return kNotFound;
    }
    hash.Add(CanonicalForm::OfSet(set, std::move(entries)));
  }
  output.Write(hash.HexDigest() + "\n");
  return kDone;
}

}  // namespace cfgctl
