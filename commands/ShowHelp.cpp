#include "commands/ShowHelp.h"

#include <iostream>

namespace quenlo {

namespace {

// The descriptions line up at column 40.
constexpr const char* kHelpLines[] = {
    "",
    "Configurator Help",
    "",
    "When prompted for input please enter 1 to 4 comma-separated items",
    "",
    "<cfgset>,<cfgsection>,<cfgkey>,<value> -set the value",
    "<cfgset>,<cfgsection>,<cfgkey>         -get the value of the given <cfgkey>",
    "",
    "<cfgset>,<cfgsection>                  -get a list of all keys in the given <cfgsection>",
    "<cfgset>                               -get a list of all sections in the given <cfgset>",
    ",                                      -get a list of all sets enter a comma",
    "",
    "Enter Q to Quit (or X to eXit) or H for this help.",
};

}  // namespace

void ShowHelp() {
  for (const char* line : kHelpLines) std::cout << line << std::endl;
}

}  // namespace quenlo
