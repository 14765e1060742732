#pragma once
// The form runner: lets the operator fill in one screen of the form model. It draws
// the screen, walks through its editable fields with the line editor, stores each
// accepted entry through CheckField, opens help with F1 and lookups with F4, runs
// linked screens (nextScreen, F2) and returns the key that ended the screen.

#include <cstdint>
#include <string>

namespace forms {

// Keys the runner interprets besides the shared ones of keys.h.
inline constexpr int16_t kKeyAccept = 2;  // a translation target that acts like End
inline constexpr int16_t kKeyF2 = 0x3C00;
inline constexpr int16_t kKeyF4 = 0x3E00;

// Deepest nesting of running screens (linked screens, filter screens of lookups
// opened from a screen, ...); a deeper run beeps and returns at once.
inline constexpr int kMaxScreenDepth = 32;

struct RunnerState {
  std::string editText;      // text just edited, before its check; "" when no screen runs
  int16_t editScreen = 0;    // its screen; 0 when no screen runs
  int16_t editField = 0;     // its field; 0 when no screen runs
  int16_t leftAtScreen = 0;  // screen last left with PgUp / PgDn out of a linked chain
  int depth = 0;             // screens running now
};

// The runner's shared values, read by the module's hooks.
RunnerState& Runner();
void ResetRunner();

// The module's screen hook, called when a screen is about to end with the key that
// ends it: nonzero sends the operator back into the screen. The module installs its
// own; null puts back the default, which returns 0.
using RunScreenHookFunction = int16_t (*)(int16_t& screen, int16_t& key);
void SetRunScreenHook(RunScreenHookFunction hook);
int16_t RunScreenHook(int16_t& screen, int16_t& key);

// Runs screen |screen| (a negative number runs it as a linked sub-screen, where Up on
// its first field returns Esc) and sets screen to its absolute value. upExit /
// downExit not 0: PgUp on the first / PgDn on the last editable field leave the
// screen. key: out, the key that ended the screen (Esc, End, 2, Enter, PgUp, PgDn or
// another accepted key the runner does not interpret); unchanged for a screen
// without editable fields or one that does not exist.
void RunScreen(int16_t& screen, int16_t& upExit, int16_t& downExit, int16_t& key);

// The first and last editable fields of the screen (flags without display only):
// fieldCount + 1 and 0 when it has none.
void EditableFields(int16_t screen, int16_t& first, int16_t& last);

}  // namespace forms
