#pragma once
// The module's main loop: the selection screen again and again; each confirmed
// selection becomes one batch in the print spool, handed to the print program.

#include <string>

namespace app {

// The print program's name, looked for in programDir.
inline constexpr const char* kPrintProgram = "ZURPRINT";

// The print program's output (standard output and error): workDir + this name.
inline constexpr const char* kPrintLogName = "zurprint.log";

// Runs the selection screen until the operator leaves it with Esc. After each
// confirmed selection: opens the spool, runs the batch with the alternate display
// currency, closes the spool, starts the print program and waits for it, and shows
// the operator what came of it. A batch that stops (a missing template, a field file
// or spool that cannot be written) is reported and not printed; a print program that
// cannot be started or fails is reported. Then the screen is shown again, keeping the
// values entered last.
void RunLetters();

// Starts programDir + kPrintProgram without arguments, its output going to the print
// log, waits for it, and returns the text to show the operator: the outcome of the
// print, or why it failed. ok tells which.
std::string RunPrintProgram(bool& ok);

}  // namespace app
