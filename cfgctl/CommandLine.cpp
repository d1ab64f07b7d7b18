#include "cfgctl/CommandLine.h"

#include <cstddef>
#include <cstdint>

namespace cfgctl {

namespace {

// What each command takes: its name, the fewest and most arguments (kAny:
// no upper bound), and the arguments' names for the usage line.
struct CommandShape {
  const char* name;
  std::size_t fewest, most;
  const char* arguments;
};

constexpr std::size_t kAny = static_cast<std::size_t>(-1);
// The longest a change may wait for its confirmation (the server's bound).
constexpr std::uint32_t kMaxConfirmSeconds = 86400;

constexpr CommandShape kShapes[] = {
    {"get", 3, 3, "[--json] SET SECTION KEY"},
    {"set", 4, 4, "[--confirm SECONDS] SET SECTION KEY VALUE"},
    {"delete", 1, 3, "[--confirm SECONDS] SET [SECTION [KEY]]"},
    {"list", 0, 2, "[--json] [SET [SECTION]]"},
    {"export", 0, kAny, "[--json | --dir DIR] [SET...]"},
    {"import", 1, kAny, "[--replace] [--dry-run] [--confirm SECONDS] FILE.ini..."},
    {"changes", 0, 1, "[--json] [SET]"},
    {"reset", 0, 3, "[--confirm SECONDS] [SET [SECTION [KEY]]]"},
    {"watch", 0, 2, "[--json] [--since REV] [SET [SECTION]]"},
    {"check", 1, kAny, "FILE.schema..."},
    {"digest", 0, 1, "[SET]"},
    {"revision", 0, 0, ""},
    {"history", 0, 3, "[--json] [-n N] [SET [SECTION [KEY]]]"},
    {"show", 1, 1, "[--json] REV"},
    {"diff", 1, 2, "[--json] REV [REV2]"},
    {"rollback", 1, 1, "[--confirm SECONDS] REV"},
    {"confirm", 0, 0, ""},
    {"cancel", 0, 0, ""},
};

// The options a command takes, before its arguments.
struct OptionShape {
  const char* command;
  const char* name;
  bool takesValue;
};

constexpr OptionShape kOptions[] = {
    {"export", "--dir", true},       {"import", "--replace", false},  {"import", "--dry-run", false},
    {"history", "-n", true},
    {"set", "--confirm", true},      {"delete", "--confirm", true},   {"import", "--confirm", true},
    {"reset", "--confirm", true},    {"rollback", "--confirm", true}, {"watch", "--since", true},
    {"get", "--json", false},        {"list", "--json", false},       {"export", "--json", false},
    {"changes", "--json", false},    {"history", "--json", false},    {"show", "--json", false},
    {"diff", "--json", false},       {"watch", "--json", false},
};

bool TakesOptions(const std::string& command) {
  for (const OptionShape& option : kOptions)
    if (command == option.command) return true;
  return false;
}

const OptionShape* OptionOf(const std::string& command, const std::string& argument) {
  for (const OptionShape& option : kOptions)
    if (command == option.command && argument == option.name) return &option;
  return nullptr;
}

const CommandShape* ShapeOf(const std::string& command) {
  for (const CommandShape& shape : kShapes) {
    if (command == shape.name) return &shape;
  }
  return nullptr;
}

LxStatus Usage(const std::string& message) { return LxStatus::InvalidArgument(message + " (see cfgctl --help)"); }

// A whole number from 1 to highest, decimal digits only.
bool ParseCount(const std::string& text, std::uint32_t highest, std::uint32_t* count) {
  std::uint64_t value = 0;
  for (char digit : text) {
    if (digit < '0' || digit > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(digit - '0');
    if (value > highest) return false;
  }
  *count = static_cast<std::uint32_t>(value);
  return !text.empty() && value > 0;
}

LxStatus Apply(const OptionShape& option, const std::string& value, CommandLine* line) {
  const std::string name = option.name;
  if (name == "--replace") {
    line->replace = true;
  } else if (name == "--dry-run") {
    line->dryRun = true;
  } else if (name == "--dir") {
    if (value.empty()) return Usage("export: --dir needs a directory");
    line->directory = value;
  } else if (name == "-n") {
    if (!ParseCount(value, UINT32_MAX, &line->count))
      return Usage(line->command + ": -n needs a whole number from 1 up");
  } else if (name == "--since") {
    line->since = value;
  } else if (name == "--json") {
    line->json = true;
  } else if (name == "--confirm") {
    if (!ParseCount(value, kMaxConfirmSeconds, &line->confirmSeconds))
      return Usage(line->command + ": --confirm needs a whole number of seconds from 1 to " +
                   std::to_string(kMaxConfirmSeconds));
  }
  return LxStatus::Ok();
}

}  // namespace

LxStatus CommandLine::Parse(int argc, const char* const* argv, CommandLine* line) {
  *line = CommandLine();
  if (argc < 2) return Usage("no command");
  line->command = argv[1];
  if (line->command == "--help" || line->command == "-h" || line->command == "help") {
    line->command = "help";
    return argc == 2 ? LxStatus::Ok() : Usage("--help takes no arguments");
  }
  const CommandShape* shape = ShapeOf(line->command);
  if (shape == nullptr) return Usage("unknown command '" + line->command + "'");

  int next = 2;
  for (const bool takesOptions = TakesOptions(line->command); takesOptions && next < argc; ++next) {
    const std::string argument = argv[next];
    if (argument == "--") {
      ++next;
      break;
    }
    const OptionShape* option = OptionOf(line->command, argument);
    if (option != nullptr && (!option->takesValue || next + 1 < argc)) {
      const LxStatus applied = Apply(*option, option->takesValue ? argv[++next] : "", line);
      if (!applied.ok()) return applied;
    } else if (argument.size() > 1 && argument[0] == '-') {
      return Usage(line->command + ": unknown option '" + argument + "'");
    } else {
      break;
    }
  }
  line->arguments.assign(argv + next, argv + argc);
  // export --dir writes INI files, which is what import reads back.
  if (line->json && !line->directory.empty()) return Usage("export: --json writes to standard output, not to --dir");
  if (line->arguments.size() < shape->fewest || line->arguments.size() > shape->most)
    return Usage(std::string("usage: cfgctl ") + shape->name + (*shape->arguments ? " " : "") + shape->arguments);
  return LxStatus::Ok();
}

const char* CommandLine::HelpText() {
  return "usage: cfgctl COMMAND [ARGUMENTS]\n"
         "\n"
         "One request to the configuration server per call (the server of\n"
         "$CFGSERVER_RUNTIME_DIR, as for the console).\n"
         "\n"
         "  get [--json] SET SECTION KEY\n"
         "                               print the value and a newline\n"
         "  set [--confirm SECONDS] SET SECTION KEY VALUE\n"
         "                               write a value (creating what is missing)\n"
         "  delete [--confirm SECONDS] SET [SECTION [KEY]]\n"
         "                               delete a key, a section or a whole set\n"
         "  list [--json] [SET [SECTION]]\n"
         "                               list sets, sections, or key=value lines\n"
         "  export [--json | --dir DIR] [SET...]\n"
         "                               INI text of the sets (all by default) on standard\n"
         "                               output, or one DIR/SET.ini per set\n"
         "  import [--replace] [--dry-run] [--confirm SECONDS] FILE.ini...\n"
         "                               write each file's entries into its set in one\n"
         "                               transaction per set; --replace: the set then holds\n"
         "                               exactly those entries. Nothing is written when a\n"
         "                               schema refuses an entry (each is named by file and\n"
         "                               line). --dry-run: check, and print one line per key\n"
         "                               that would change, writing nothing\n"
         "  changes [--json] [SET]       keys that differ from the factory defaults\n"
         "  reset [--confirm SECONDS] [SET [SECTION [KEY]]]\n"
         "                               back to the factory defaults\n"
         "  watch [--json] [--since REV] [SET [SECTION]]\n"
         "                               print each change as it is committed, until\n"
         "                               interrupted; --since: first every change after\n"
         "                               REV, each line led by its revision\n"
         "  check FILE.schema...         report each schema's errors by file and line\n"
         "                               (no server needed)\n"
         "  digest [SET]                 SHA-256 of what reads see, of the set or of every\n"
         "                               set, in one canonical order (see cfgctl(1))\n"
         "  revision                     the current revision number\n"
         "  history [--json] [-n N] [SET [SECTION [KEY]]]\n"
         "                               the kept revisions that changed the keys named,\n"
         "                               newest first: number, time, user, program, summary\n"
         "  show [--json] REV            a revision and each key it changed, new and old\n"
         "  diff [--json] REV [REV2]     what differs between two revisions (default: now)\n"
         "  rollback [--confirm SECONDS] REV\n"
         "                               every key changed since REV back to its value\n"
         "                               then, as one new revision\n"
         "  confirm                      keep the change made with --confirm\n"
         "  cancel                       roll back the change made with --confirm now\n"
         "\n"
         "--confirm SECONDS (1 to 86400): the change is applied at once and rolled\n"
         "back, with every change made after it, unless `cfgctl confirm` comes within\n"
         "SECONDS; also when the server restarts first.\n"
         "--json: standard output as JSON, one compact document (watch: one object per\n"
         "change per line); a name or value that is not valid UTF-8 is given as\n"
         "{\"base64\": \"...\"}, its bytes in base64 (see cfgctl(1)).\n"
         "  --help                       this text\n"
         "\n"
         "Exit status: 0 done; 1 not found; 2 bad command line; 3 no server or no\n"
         "answer in time; 4 rejected by the server (with its reason, when it gives\n"
         "one: a value its schema refuses) or server error; 5 a file could not be\n"
         "read or written, or is not valid INI, or a schema has errors; 6 access\n"
         "denied by the server's rules, or permission denied on its socket. Errors:\n"
         "one line on standard error each. get and list print values as stored, byte\n"
         "for byte.\n";
}

}  // namespace cfgctl
