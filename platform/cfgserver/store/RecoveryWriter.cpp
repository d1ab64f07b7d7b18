#include "store/RecoveryWriter.h"

#include "store/StoreDatabase.h"

namespace qet_cfgserver {

struct RecoveryWriter::Statements {
  SqliteStatement insertMissing;
  SqliteStatement insertMissingDefault;
};

RecoveryWriter::RecoveryWriter(StoreDatabase* database) : database_(database), statements_(new Statements) {}

RecoveryWriter::~RecoveryWriter() = default;

LxStatus RecoveryWriter::Create(StoreDatabase* database, std::unique_ptr<RecoveryWriter>* writer) {
  std::unique_ptr<RecoveryWriter> created(new RecoveryWriter(database));
  LxStatus status = database->Prepare(&created->statements_->insertMissing,
                                      "INSERT OR IGNORE INTO config VALUES (?1, ?2, ?3, ?4)");
  if (status.ok())
    status = database->Prepare(&created->statements_->insertMissingDefault,
                               "INSERT OR IGNORE INTO defaults VALUES (?1, ?2, ?3, ?4)");
  if (status.ok()) *writer = std::move(created);
  return status;
}

LxStatus RecoveryWriter::AddMissing(const std::vector<ConfigRow>& rows, std::uint64_t* added) {
  LxStatus status = database_->WriteRows(&statements_->insertMissing, rows, added);
  database_->CountConfigChanges(*added);
  return status;
}

LxStatus RecoveryWriter::AddMissingDefaults(const std::vector<ConfigRow>& rows, std::uint64_t* added) {
  LxStatus status = database_->WriteRows(&statements_->insertMissingDefault, rows, added);
  database_->CountDefaultsChanges(*added);
  return status;
}

}  // namespace qet_cfgserver
