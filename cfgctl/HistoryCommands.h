#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cfgctl/ExitStatus.h"
#include "cfgctl/Output.h"
#include "cfgmsg/LxiConfigure.h"

namespace cfgctl {

// cfgctl revision, history, show, diff and rollback: the server's revisions
// (CfgHistory.h) as lines of text. A revision is a decimal number; anything
// else is a bad command line (kUsage). A revision no longer kept, or not
// made yet, is kNotFound with a message naming the oldest kept, or the
// current one. With --json, each writes one JsonForm document instead:
// {"revisions": [...]}; show, the revision with its "changes"; diff,
// {"from", "to" (the current revision's number by default), "changes"}.
// One thread.
class HistoryCommands {
 public:
  // The current revision number and a newline.
  static ExitStatus Revision(qet_cfgserver::LxiConfigure& client, Output& output);

  // One line per kept revision that changed a key within names' scope,
  // newest first, at most count (0: all):
  //   NUMBER TIME USER PROGRAM SUMMARY[ (N keys)]
  // TIME in UTC (2026-12-06T15:45:00Z); USER the user name, else the uid,
  // PROGRAM the program, else "?".
  static ExitStatus History(qet_cfgserver::LxiConfigure& client, const std::vector<std::string>& names,
                            std::uint32_t count, Output& output);

  // The revision's history line, then "client NAME tag TAG uid UID pid PID",
  // then one line per key as `changes` writes them: "added SET SECTION KEY =
  // NEW", "changed ... = NEW was OLD", "deleted ... was OLD".
  static ExitStatus Show(qet_cfgserver::LxiConfigure& client, const std::string& revision, Output& output);

  // One line per key whose value at the first revision differs from its
  // value at the second (default: now), as Show writes them.
  static ExitStatus Diff(qet_cfgserver::LxiConfigure& client, const std::vector<std::string>& revisions,
                         Output& output);

  // Every key changed since the revision back to its value then; to be
  // confirmed within confirmSeconds unless 0.
  static ExitStatus Rollback(qet_cfgserver::LxiConfigure& client, const std::string& revision,
                             std::uint32_t confirmSeconds);

  // The change made with --confirm stays, or is rolled back now. kNotFound
  // when nothing awaits confirmation.
  static ExitStatus Confirm(qet_cfgserver::LxiConfigure& client);
  static ExitStatus Cancel(qet_cfgserver::LxiConfigure& client);

  // A revision number as typed: decimal digits only, within 64 bits.
  static bool ParseRevision(const std::string& text, std::uint64_t* revision);
  // Reports text, given to what, as not a revision number: kUsage.
  static ExitStatus BadRevision(const std::string& what, const std::string& text);
  // Reports the failure of a request about revision: why, when the
  // server's numbers tell it (no longer kept, or not made yet: kNotFound),
  // else as Commands::Report.
  static ExitStatus ReportRevision(qet_cfgserver::LxiConfigure& client, const std::string& what,
                                   std::uint64_t revision, qet_cfgserver::CfgItemStatus::Status status);
};

}  // namespace cfgctl
