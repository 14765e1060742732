#pragma once
// The module's screen hook: when the selection screen (screen 1) is about to end, it
// stores the selection, refuses an inconsistent one and asks for confirmation on
// screen 2.

#include <cstdint>

#include "app/letter_selection.h"

namespace app {

// The screen and field numbers of the module's form.
inline constexpr int16_t kSelectionScreen = 1;
inline constexpr int16_t kConfirmationScreen = 2;

// The values of fields 1 .. 15 of the selection screen in the form model; a field
// the model lacks reads as "".
SelectionFieldValues SelectionScreenValues();

// The hook the form runner calls when a screen is about to end with key: 0 lets it
// end, -1 sends the operator back into it. Esc, and every screen but the selection
// screen, end freely. For the selection screen the selection is stored; it is refused
// silently when letters are asked for without a template, the first owner comes after
// the last, or a least value is above its most; refused with a notice when the labels
// per page are not a multiple of the labels across (checked for letters too), and, for
// labels, when the label width is outside 1 .. 96 or the label lines outside 1 .. 100.
// Otherwise screen 2 asks for confirmation (its field 1 starts blank and key receives
// the key that ended it): only "S" lets the selection screen end.
int16_t ModuleScreenHook(int16_t& screen, int16_t& key);

}  // namespace app
