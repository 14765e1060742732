#pragma once
// The module's entry: start-up, the main loop and the end.

namespace app {

// The module's name: it selects the form definition file and the language file.
inline constexpr const char* kModuleName = "PLECAVUN";

// Runs the module from start-up to its end and returns the process exit code.
int RunModule();

}  // namespace app
