#include "console/key_wait.h"

#include "console/console_state.h"
#include "platform/terminal.h"

namespace console {

int16_t ReadConsoleKey() {
  platform::Terminal& terminal = platform::CurrentTerminal();
  for (;;) {
    platform::InputEvent event;
    if (!terminal.PollEvent(event)) {
      terminal.WaitForInput(-1);
      continue;
    }
    if (event.kind != platform::EventKind::kKey) continue;
    const int code = event.character != 0 ? event.character : event.scanCode * 256;
    if (code != 0) return static_cast<int16_t>(code);
  }
}

void InstallKeyReader(const KeyReader& reader) {
  Console().keyReader = reader;
}

int16_t WaitKeyCode() {
  const KeyReader& reader = Console().keyReader;
  return reader.waitKey != nullptr ? reader.waitKey() : ReadConsoleKey();
}

void FlushPendingKeys() {
  const KeyReader& reader = Console().keyReader;
  if (reader.flushKeys != nullptr) {
    reader.flushKeys();
  } else {
    platform::CurrentTerminal().DiscardInput();
  }
}

void ApplyKeyList(std::string_view commands, std::string_view list) {
  const KeyReader& reader = Console().keyReader;
  if (reader.setKeyList != nullptr) reader.setKeyList(commands, list);
}

}  // namespace console
