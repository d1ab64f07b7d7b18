#pragma once

namespace quenlo {

// Writes the thirteen-line help text to std::cout, starting with an empty
// line. Prompter thread.
void ShowHelp();

}  // namespace quenlo
