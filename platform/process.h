#pragma once
// Running other programs of the suite in the same terminal and waiting for them.

#include <string>
#include <vector>

namespace platform {

// Result of RunProgram: the program's exit code (0 .. 255), or one of these.
inline constexpr int kProgramNotStarted = -1;  // missing, not executable, fork failed
inline constexpr int kProgramKilled = -2;      // ended by a signal

// Runs the program (a path of this system, or a suite path resolved with
// ResolvePath) with the given arguments, in the same terminal, and waits for it.
// The terminal is handed over to it (see SetChildHooks) and taken back afterwards.
// When errorText is given it receives a short reason for kProgramNotStarted. When
// outputPath is not empty, the program's standard output and error go to that file
// (created empty) instead of the terminal.
int RunProgram(const std::string& suitePath, const std::vector<std::string>& args = {},
               std::string* errorText = nullptr, const std::string& outputPath = {});

// Runs a command line through /bin/sh -c and waits for it, like RunProgram.
int RunCommandLine(const std::string& commandLine);

// Functions called just before a child starts and just after it ends, so that the
// terminal can leave and re-enter its own screen mode. Either may be null.
void SetChildHooks(void (*beforeChild)(), void (*afterChild)());

}  // namespace platform
