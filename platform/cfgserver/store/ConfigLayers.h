#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cfgwire/Messages.h"
#include "common/ConfigTypes.h"
#include "common/LxStatus.h"

namespace qet_cfgserver {

class StoreDatabase;

// The store's two layers, kept materialised so that reads cost what they
// always did: table "config" holds what reads see, the effective value of
// every key; table "defaults" the factory defaults that imports load. A key
// is an operator's change where the two differ: in config only (added), in
// both with other values (changed), in defaults only (deleted: the default
// is hidden until a reset).
//
// Each writing call is one transaction: on failure nothing of it is kept.
// Those that take committed append one record per key whose effective value
// they changed (kValue with the new value, or kDeleted), in (set, section,
// key) order: what watchers are told.
//
// A scope outside ConfigScope's levels is InvalidArgument. Statements are
// prepared once, those that a scope narrows once per level, so that each
// seeks by the primary key as far as its level names it.
//
// Made and owned by its ConfigStore (ConfigStore::layers()), on the store's
// connection; the reactor thread's alone.
class ConfigLayers {
 public:
  // Prepares the layers' statements; ConfigStore::Open does this once.
  static LxStatus Create(StoreDatabase* database, std::unique_ptr<ConfigLayers>* layers);

  ~ConfigLayers();

  ConfigLayers(const ConfigLayers&) = delete;
  ConfigLayers& operator=(const ConfigLayers&) = delete;

  // Makes entries the defaults of set (a first import, or newer defaults
  // from a firmware update). A key the operator has not changed takes the
  // new default, or leaves config when the new defaults lack it; an
  // operator's value or deletion stays. A repeated key takes its last value.
  LxStatus ImportDefaults(const std::string& set, const std::vector<ConfigEntry>& entries);

  // Deletes the keys in scope from config; NotFound when none matched.
  LxStatus DeleteScope(const ConfigScope& scope, std::vector<wire::Record>* committed);
  // Config of scope becomes its defaults.
  LxStatus ResetScope(const ConfigScope& scope, std::vector<wire::Record>* committed);
  // Writes entries into set as the operator's values; with replace, the
  // set's keys become exactly these. A repeated key takes its last value.
  LxStatus ImportSet(const std::string& set, const std::vector<ConfigEntry>& entries, bool replace,
                     std::vector<wire::Record>* committed);

  // Every key of set with its effective value (kValue records, set left
  // empty), in section, key order.
  LxStatus ExportSet(const std::string& set, std::vector<wire::Record>* records);
  // Of those, the records after (afterSection, afterKey), in the same order,
  // as many as weigh maxBytes on the wire (wire::RecordWireBytes), at
  // least one: one piece of an export, read by a range scan of its own.
  LxStatus ExportPiece(const std::string& set, const std::string& afterSection, const std::string& afterKey,
                       std::size_t maxBytes, std::vector<wire::Record>* records);
  // The operator's changes within scope (kAdded, kChanged, kDeleted
  // records with value and defaultValue) in (set, section, key) order.
  LxStatus GetChanges(const ConfigScope& scope, std::vector<wire::Record>* changes);

 private:
  struct ScopeStatements;
  struct Statements;

  explicit ConfigLayers(StoreDatabase* database);

  // The statements of scope's level; null for a level outside the scope's.
  ScopeStatements* ForScope(const ConfigScope& scope);
  LxStatus ReplaceDefaults(const std::string& set, const std::vector<ConfigRow>& rows);

  StoreDatabase* database_;
  std::unique_ptr<Statements> statements_;
};

}  // namespace qet_cfgserver
