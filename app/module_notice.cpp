#include "app/module_notice.h"

#include "console/key_wait.h"
#include "console/screen.h"
#include "console/window_stack.h"

namespace app {

void ShowNotice(std::string_view text) {
  console::ShowMessage(12, text);
  console::Beep();
  console::FlushPendingKeys();
  console::WaitKeyCode();
  console::PopWindow();
}

}  // namespace app
