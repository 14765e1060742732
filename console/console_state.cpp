#include "console/console_state.h"

namespace console {

ConsoleState& Console() {
  static ConsoleState state;
  return state;
}

void ResetConsole() {
  Console() = ConsoleState{};
}

}  // namespace console
