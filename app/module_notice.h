#pragma once
// Notices the module shows the operator: a framed message in the session language,
// a beep, and a wait for one key before the screen is restored.

#include <string_view>

namespace app {

// Shows the text (already translated) at row 12 with ShowMessage, beeps, discards
// keys typed before it and waits for one key, then removes it with PopWindow.
void ShowNotice(std::string_view text);

}  // namespace app
