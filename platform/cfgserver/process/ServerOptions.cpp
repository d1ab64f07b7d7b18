#include "process/ServerOptions.h"

#include <stdlib.h>
#include <unistd.h>

#include "cfgwire/RuntimeDirectory.h"

namespace qet_cfgserver {

namespace {

constexpr const char* kRootDatabase = "/var/lib/cfgserver/config.db";
constexpr const char* kDatabaseBelowStateHome = "/cfgserver/config.db";
constexpr const char* kStateBelowHome = "/.local/state";
constexpr const char* kFallbackDatabase = "cfgserver-config.db";

bool IsAbsolute(const char* path) { return path != nullptr && path[0] == '/'; }

// Splits "--name=value" into name and value; value stays empty without '='.
bool SplitInlineValue(const std::string& argument, std::string* name, std::string* value) {
  const std::string::size_type equals = argument.find('=');
  if (equals == std::string::npos) {
    *name = argument;
    return false;
  }
  *name = argument.substr(0, equals);
  *value = argument.substr(equals + 1);
  return true;
}

// A whole number from lowest to highest, decimal digits only.
LxStatus ParseWholeNumber(const std::string& option, const std::string& text, std::uint32_t lowest,
                          std::uint32_t highest, std::uint32_t* number) {
  const LxStatus invalid = LxStatus::InvalidArgument("option '" + option + "' needs a whole number from " +
                                                     std::to_string(lowest) + " to " + std::to_string(highest) +
                                                     ", not '" + text + "'");
  std::uint64_t value = 0;
  for (char digit : text) {
    if (digit < '0' || digit > '9') return invalid;
    value = value * 10 + static_cast<std::uint64_t>(digit - '0');
    if (value > highest) return invalid;
  }
  if (value < lowest) return invalid;
  *number = static_cast<std::uint32_t>(value);
  return LxStatus::Ok();
}

}  // namespace

constexpr std::uint32_t ServerOptions::kDefaultMaxClients;
constexpr std::uint32_t ServerOptions::kMaxClientsCeiling;
constexpr std::uint32_t ServerOptions::kDefaultSnapshotIntervalSeconds;
constexpr std::uint32_t ServerOptions::kMaxSnapshotIntervalSeconds;
constexpr std::uint32_t ServerOptions::kDefaultHistoryRevisions;
constexpr std::uint32_t ServerOptions::kMaxHistoryRevisions;

LxStatus ServerOptions::Parse(const std::vector<std::string>& arguments, ServerOptions* options) {
  *options = ServerOptions();
  for (std::size_t index = 0; index < arguments.size(); ++index) {
    const std::string& argument = arguments[index];
    if (argument == "--help" || argument == "-h") {
      options->help = true;
      continue;
    }
    std::string name;
    std::string value;
    const bool hasInlineValue = SplitInlineValue(argument, &name, &value);
    std::string* target = nullptr;
    if (name == "--runtime-dir") target = &options->runtimeDirectory;
    else if (name == "--database") target = &options->database;
    else if (name == "--import" || name == "--max-clients" || name == "--snapshot-interval" || name == "--history")
      target = &value;
    else if (argument.size() > 1 && argument[0] == '-') return LxStatus::InvalidArgument("unknown option '" + argument + "'");
    else return LxStatus::InvalidArgument("unexpected argument '" + argument + "'");

    if (!hasInlineValue) {
      if (index + 1 >= arguments.size()) return LxStatus::InvalidArgument("option '" + name + "' needs a value");
      value = arguments[++index];
    }
    if (value.empty()) return LxStatus::InvalidArgument("option '" + name + "' needs a non-empty value");
    if (name == "--import") options->imports.push_back(value);
    else if (name == "--max-clients") {
      LxStatus parsed = ParseWholeNumber(name, value, 1, kMaxClientsCeiling, &options->maxClients);
      if (!parsed.ok()) return parsed;
    } else if (name == "--snapshot-interval") {
      LxStatus parsed = ParseWholeNumber(name, value, 0, kMaxSnapshotIntervalSeconds, &options->snapshotIntervalSeconds);
      if (!parsed.ok()) return parsed;
    } else if (name == "--history") {
      LxStatus parsed = ParseWholeNumber(name, value, 0, kMaxHistoryRevisions, &options->historyRevisions);
      if (!parsed.ok()) return parsed;
    } else *target = value;
  }
  return LxStatus::Ok();
}

void ServerOptions::ResolveDefaults() {
  if (runtimeDirectory.empty()) runtimeDirectory = wire::DefaultRuntimeDirectory();
  if (database.empty()) database = DefaultDatabasePath(geteuid(), getenv("XDG_STATE_HOME"), getenv("HOME"));
}

std::string ServerOptions::DefaultDatabasePath(uid_t user, const char* stateHome, const char* home) {
  if (user == 0) return kRootDatabase;
  if (IsAbsolute(stateHome)) return std::string(stateHome) + kDatabaseBelowStateHome;
  if (IsAbsolute(home)) return std::string(home) + kStateBelowHome + kDatabaseBelowStateHome;
  return kFallbackDatabase;
}

std::string ServerOptions::Usage() {
  return "Usage: cfgserver [--runtime-dir DIR] [--database FILE] [--import FILE.ini]...\n"
         "                 [--max-clients N] [--snapshot-interval SECONDS] [--history N]\n"
         "\n"
         "The configuration server. Runs in the foreground until SIGTERM or SIGINT.\n"
         "\n"
         "  --runtime-dir DIR   directory of the server's socket (created, mode 0700);\n"
         "                      default $CFGSERVER_RUNTIME_DIR, else /run/cfgserver for\n"
         "                      root, else /tmp/cfgserver-<uid>\n"
         "  --database FILE     SQLite database (created); default for root\n"
         "                      /var/lib/cfgserver/config.db, else\n"
         "                      $XDG_STATE_HOME/cfgserver/config.db or\n"
         "                      $HOME/.local/state/cfgserver/config.db\n"
         "  --import FILE.ini   load the factory defaults of the set named after the\n"
         "                      file (network.ini -> set \"network\", %XX decoded),\n"
         "                      kept apart from what operators write: new defaults\n"
         "                      reach the keys the operator did not change, an\n"
         "                      operator's value or deletion stays. Repeatable.\n"
         "  --max-clients N     clients served at once (1 to " + std::to_string(kMaxClientsCeiling) +
         ", default " + std::to_string(kDefaultMaxClients) + ");\n"
         "                      past it a new connection is closed at once\n"
         "  --snapshot-interval SECONDS\n"
         "                      while writes happen, copy the database to FILE.snapshot\n"
         "                      at most this often (default 600, at most 86400); 0: only\n"
         "                      at a clean stop. Nothing is written when nothing changed.\n"
         "  --history N         revisions whose changes the database keeps (who, when,\n"
         "                      each key before and after), the oldest dropped first\n"
         "                      (default " + std::to_string(kDefaultHistoryRevisions) + ", at most " +
         std::to_string(kMaxHistoryRevisions) + "); 0 keeps none, and numbers still grow\n"
         "  --help              show this text\n"
         "\n"
         "INI files, as cfgctl export --dir writes them: [section] lines start sections;\n"
         "key = value lines, blanks around keys and values dropped; a field in double\n"
         "quotes is read with the escapes \\\\ \\\" \\n \\r \\t \\xNN, any other literally;\n"
         "lines starting with # or ; are comments (no comments at the end of a line);\n"
         "keys must be inside a section; one set per file, but for a file whose first\n"
         "line is \"; set NAME\" (cfgctl export): each such line starts set NAME.\n"
         "\n"
         "A damaged database is moved aside to FILE.damaged-<UTC time> and rebuilt from\n"
         "what can still be read of it, then the snapshot, then the imports.\n"
         "\n"
         "Exit status: 0 after a clean stop, 1 when the server cannot start (the\n"
         "database's directory is unusable, another process holds the database, its\n"
         "schema is newer than this server's, an import file is bad, the socket is\n"
         "taken, --max-clients is over the hard limit of file descriptors), 2 for a\n"
         "bad command line.\n";
}

}  // namespace qet_cfgserver
