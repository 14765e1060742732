#include "console/colour.h"

#include "console/console_state.h"
#include "platform/terminal.h"
#include "session/session.h"

namespace console {

void SetColour(std::string_view code) {
  if (code.find_first_not_of(' ') == std::string_view::npos) return;
  ConsoleState& state = Console();
  auto has = [&](char upper) {
    const char lower = static_cast<char>(upper - 'A' + 'a');
    return code.find(upper) != std::string_view::npos || code.find(lower) != std::string_view::npos;
  };
  if (code.find('+') != std::string_view::npos) {
    state.colourStack.push_back(static_cast<char>(state.colourIndex));
  }
  int16_t index = 0;
  if (code.find('-') != std::string_view::npos) {
    if (!state.colourStack.empty()) {
      index = static_cast<uint8_t>(state.colourStack.back());
      state.colourStack.pop_back();
    }
  } else if (has('U')) {
    index = 4;
  } else {
    index = static_cast<int16_t>((has('R') ? 2 : 0) + (has('N') ? 1 : 0));
  }
  const auto& palette = session::Session().palette;
  if (index < 0 || index >= static_cast<int16_t>(palette.size())) index = 0;

  platform::Terminal& terminal = platform::CurrentTerminal();
  uint8_t attribute = terminal.Attribute();
  const session::PaletteEntry& entry = palette[static_cast<size_t>(index)];
  if (entry.foreground >= 0 && entry.foreground < 16) {
    attribute = static_cast<uint8_t>((attribute & 0xF0) | entry.foreground);
  }
  if (entry.background >= 0 && entry.background < 16) {
    attribute = static_cast<uint8_t>((attribute & 0x0F) | (entry.background << 4));
  }
  terminal.SetAttribute(attribute);
  state.colourIndex = index;
}

}  // namespace console
