#pragma once
// The module's entry: start-up, the main loop and the end.

namespace app {

// The module's name: it selects the form definition file and the language file.
inline constexpr const char* kModuleName = "PLECAVUN";

// Runs the module from start-up to its end and returns the process exit code: 0 when
// it ends normally (also after a record file that cannot be opened, reported on the
// screen); 1 when it cannot start: a terminal smaller than 80 x 25, a work folder
// that cannot be written, or a form definition file that is missing or not valid
// (the reason is written to standard error).
int RunModule();

}  // namespace app
