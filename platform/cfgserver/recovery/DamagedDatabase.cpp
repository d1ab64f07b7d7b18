#include "recovery/DamagedDatabase.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "common/Directories.h"

namespace qet_cfgserver {

namespace {

constexpr const char* kDamagedInfix = ".damaged-";
// More damage than this in one second means something else is wrong.
constexpr int kMaxNamesPerSecond = 100;

std::string UtcTimeStamp() {
  const time_t now = time(nullptr);
  struct tm utc;
  gmtime_r(&now, &utc);
  char text[32];
  strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
  return text;
}

bool NameTaken(const std::string& name) {
  if (PathExists(name)) return true;
  for (const char* suffix : DamagedDatabase::kCompanionSuffixes)
    if (PathExists(name + suffix)) return true;
  return false;
}

LxStatus FreeName(const std::string& database, std::string* name) {
  const std::string base = database + kDamagedInfix + UtcTimeStamp();
  for (int count = 1; count <= kMaxNamesPerSecond; ++count) {
    *name = count == 1 ? base : base + "-" + std::to_string(count);
    if (!NameTaken(*name)) return LxStatus::Ok();
  }
  return LxStatus::IoError("no free name to move " + database + " aside");
}

LxStatus MoveIfPresent(const std::string& from, const std::string& to, bool* moved) {
  *moved = false;
  if (!PathExists(from)) return LxStatus::Ok();
  if (rename(from.c_str(), to.c_str()) != 0)
    return LxStatus::IoError("cannot move " + from + " to " + to + ": " + strerror(errno));
  *moved = true;
  return LxStatus::Ok();
}

}  // namespace

const char* const DamagedDatabase::kCompanionSuffixes[2] = {"-wal", "-shm"};

LxStatus DamagedDatabase::MoveAside(const std::string& database, std::string* movedTo) {
  movedTo->clear();
  std::string name;
  LxStatus status = FreeName(database, &name);
  // The log first: a database file must never meet another file's log.
  bool moved = false;
  for (const char* suffix : kCompanionSuffixes)
    if (status.ok()) status = MoveIfPresent(database + suffix, name + suffix, &moved);
  if (status.ok()) status = MoveIfPresent(database, name, &moved);
  if (status.ok() && moved) *movedTo = name;
  if (status.ok()) status = SyncDirectory(ParentDirectory(database));
  return status;
}

}  // namespace qet_cfgserver
