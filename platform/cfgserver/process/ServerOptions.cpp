#include "process/ServerOptions.h"

#include <stdlib.h>
#include <unistd.h>

#include "cfgwire/RuntimeDirectory.h"

namespace qet_cfgserver {

namespace {

constexpr const char* kRootDatabase = "/var/lib/cfgserver/config.db";
constexpr const char* kDatabaseBelowStateHome = "/cfgserver/config.db";
constexpr const char* kStateBelowHome = "/.local/state";

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

struct NumberOption {
  const char* name;
  std::uint32_t lowest, highest;
  std::uint32_t* value;
};

// The option of that name that takes a whole number, if it is one.
bool FindNumberOption(const std::string& name, ServerOptions* options, NumberOption* found) {
  const NumberOption table[] = {
      {"--max-clients", 1, ServerOptions::kMaxClientsCeiling, &options->maxClients},
      {"--max-clients-per-user", 1, ServerOptions::kMaxClientsCeiling, &options->maxClientsPerUser},
      {"--max-watchers", 0, ServerOptions::kMaxClientsCeiling, &options->maxWatchers},
      {"--max-client-memory", 1, ServerOptions::kMaxClientMemoryCeilingMiB, &options->maxClientMemoryMiB},
      {"--import-timeout", 1, ServerOptions::kMaxImportTimeoutSeconds, &options->importTimeoutSeconds},
      {"--snapshot-interval", 0, ServerOptions::kMaxSnapshotIntervalSeconds, &options->snapshotIntervalSeconds},
      {"--history", 0, ServerOptions::kMaxHistoryRevisions, &options->historyRevisions},
  };
  for (const NumberOption& option : table)
    if (name == option.name) {
      *found = option;
      return true;
    }
  return false;
}

}  // namespace

constexpr std::uint32_t ServerOptions::kDefaultMaxClients;
constexpr std::uint32_t ServerOptions::kMaxClientsCeiling;
constexpr std::uint32_t ServerOptions::kDefaultMaxClientsPerUser;
constexpr std::uint32_t ServerOptions::kDefaultSnapshotIntervalSeconds;
constexpr std::uint32_t ServerOptions::kMaxSnapshotIntervalSeconds;
constexpr std::uint32_t ServerOptions::kDefaultMaxWatchers;
constexpr std::uint32_t ServerOptions::kDefaultMaxClientMemoryMiB;
constexpr std::uint32_t ServerOptions::kMaxClientMemoryCeilingMiB;
constexpr std::uint32_t ServerOptions::kDefaultImportTimeoutSeconds;
constexpr std::uint32_t ServerOptions::kMaxImportTimeoutSeconds;
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
    NumberOption number{};
    const bool takesNumber = FindNumberOption(name, options, &number);
    std::string* target = nullptr;
    if (name == "--runtime-dir") target = &options->runtimeDirectory;
    else if (name == "--database") target = &options->database;
    else if (name == "--access") target = &options->accessFile;
    else if (name == "--import" || name == "--schema" || takesNumber) target = &value;
    else if (argument.size() > 1 && argument[0] == '-') return LxStatus::InvalidArgument("unknown option '" + argument + "'");
    else return LxStatus::InvalidArgument("unexpected argument '" + argument + "'");

    if (!hasInlineValue) {
      if (index + 1 >= arguments.size()) return LxStatus::InvalidArgument("option '" + name + "' needs a value");
      value = arguments[++index];
    }
    if (value.empty()) return LxStatus::InvalidArgument("option '" + name + "' needs a non-empty value");
    if (name == "--import") options->imports.push_back(value);
    else if (name == "--schema") options->schemas.push_back(value);
    else if (takesNumber) {
      LxStatus parsed = ParseWholeNumber(name, value, number.lowest, number.highest, number.value);
      if (!parsed.ok()) return parsed;
    } else *target = value;
  }
  return LxStatus::Ok();
}

LxStatus ServerOptions::ResolveDefaults() {
  if (runtimeDirectory.empty()) runtimeDirectory = wire::DefaultRuntimeDirectory();
  if (!database.empty()) return LxStatus::Ok();
  return DefaultDatabasePath(geteuid(), getenv("XDG_STATE_HOME"), getenv("HOME"), &database);
}

LxStatus ServerOptions::DefaultDatabasePath(uid_t user, const char* stateHome, const char* home, std::string* path) {
  if (user == 0) *path = kRootDatabase;
  else if (IsAbsolute(stateHome)) *path = std::string(stateHome) + kDatabaseBelowStateHome;
  else if (IsAbsolute(home)) *path = std::string(home) + kStateBelowHome + kDatabaseBelowStateHome;
  else
    return LxStatus::InvalidArgument(
        "no directory for the database: looked for $XDG_STATE_HOME, then $HOME (each an absolute path), and "
        "neither is set; give --database FILE");
  return LxStatus::Ok();
}

std::string ServerOptions::Usage() {
  return "Usage: cfgserver [--runtime-dir DIR] [--database FILE] [--import FILE.ini]...\n"
         "                 [--schema FILE.schema]... [--access FILE] [--max-clients N]\n"
         "                 [--max-clients-per-user N] [--max-watchers N]\n"
         "                 [--max-client-memory MIB] [--import-timeout SECONDS]\n"
         "                 [--snapshot-interval SECONDS] [--history N]\n"
         "\n"
         "The configuration server. Runs in the foreground until SIGTERM or SIGINT;\n"
         "SIGHUP reads the access file again.\n"
         "\n"
         "  --runtime-dir DIR   directory of the server's socket (created, mode 0755;\n"
         "                      the socket is 0666: the server decides by the peer's\n"
         "                      credentials);\n"
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
         "  --schema FILE.schema\n"
         "                      check every value written to the set named after the\n"
         "                      file (network.schema -> set \"network\") against its\n"
         "                      rules; a refused write changes nothing and is rejected\n"
         "                      with its reason. The --import files are checked too: a\n"
         "                      refused default stops the server (file and line).\n"
         "                      Repeatable; one schema per set.\n"
         "  --access FILE       who besides root and the server's user may read and\n"
         "                      write which set: INI, a section per set or * for\n"
         "                      every set, keys read and write listing user names,\n"
         "                      uids, @groups or * (write implies read). Without it\n"
         "                      everyone else is refused (access denied).\n"
         "  --max-clients N     clients served at once (1 to " + std::to_string(kMaxClientsCeiling) +
         ", default " + std::to_string(kDefaultMaxClients) + ");\n"
         "                      past it a newcomer takes the place of the connection\n"
         "                      idle the longest, or is closed at once when none is\n"
         "  --max-clients-per-user N\n"
         "                      connections one user other than root and the\n"
         "                      server's own may hold (default " + std::to_string(kDefaultMaxClientsPerUser) + ")\n"
         "  --max-watchers N    connections that watch changes, beside the clients\n"
         "                      (0 to " + std::to_string(kMaxClientsCeiling) + ", default " +
         std::to_string(kDefaultMaxWatchers) + ")\n"
         "  --max-client-memory MIB\n"
         "                      what clients together may make the server hold:\n"
         "                      unread replies, watchers' queues, imports and import\n"
         "                      previews under way\n"
         "                      (1 to " + std::to_string(kMaxClientMemoryCeilingMiB) + ", default " +
         std::to_string(kDefaultMaxClientMemoryMiB) + "); when full, the biggest holder\n"
         "                      gives way first\n"
         "  --import-timeout SECONDS\n"
         "                      drop an import under way, one to commit or only to\n"
         "                      preview (cfgctl import --dry-run), after this long\n"
         "                      without a request (1 to " + std::to_string(kMaxImportTimeoutSeconds) + ", default " +
         std::to_string(kDefaultImportTimeoutSeconds) + ")\n"
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
         "The runtime directory, the database's directory and files and the access\n"
         "file must be writable by nobody but their owner, never be a symbolic link\n"
         "another user owns, and not have been made by another user in a directory\n"
         "others may write to (like /tmp); the directories and files must belong to\n"
         "root or the server's user.\n"
         "\n"
         "Exit status: 0 after a clean stop, 1 when the server cannot start (the\n"
         "database's directory is unusable or unsafe, another process holds the\n"
         "database, its schema is newer than this server's, an import, a schema or\n"
         "the access file is bad, a default breaks its schema, the socket is taken\n"
         "or its directory unsafe, --max-clients and --max-watchers together are\n"
         "over the hard limit of file descriptors, no default for the database), 2\n"
         "for a bad command line.\n";
}

}  // namespace qet_cfgserver
