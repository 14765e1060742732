#pragma once
// A clean console for screen tests: a fresh in-memory terminal as the current one,
// the console toolkit's and the keyboard's state reset, and a session whose work and
// terminal directories are a temporary folder and whose five colour roles have
// colours that tell them apart:
//   entry 0 "h"  bright white on black  0x0F
//   entry 1 "n"  grey on black          0x07
//   entry 2 "r"  black on grey          0x70
//   entry 3 "rn" blue on grey           0x71
//   entry 4 "u"  yellow on blue         0x1E
// The number and date settings of the formatting layer start unread.
// Header-only, so that only the tests that use it link the console and forms.

#include <memory>
#include <string>

#include "console/console_state.h"
#include "format/format_state.h"
#include "forms/keys.h"
#include "platform/terminal.h"
#include "platform/terminal_memory.h"
#include "session/session.h"
#include "tests/support/temp_dir.h"

namespace testing_support {

inline constexpr uint8_t kHighlight = 0x0F;
inline constexpr uint8_t kNormal = 0x07;
inline constexpr uint8_t kReverse = 0x70;
inline constexpr uint8_t kReverseNormal = 0x71;
inline constexpr uint8_t kField = 0x1E;

class MemoryConsole {
 public:
  MemoryConsole() {
    auto terminal = std::make_unique<platform::MemoryTerminal>();
    terminal_ = terminal.get();
    platform::InstallTerminal(std::move(terminal));
    console::ResetConsole();
    forms::ResetInput();
    format::ResetFormatState();
    session::ResetSession();
    session::SessionContext& s = session::Session();
    s.workDir = dir_.path();
    s.terminalDir = dir_.path();
    s.languageCode = "CAT";
    s.palette = {{{15, 0}, {7, 0}, {0, 7}, {1, 7}, {14, 1}}};
  }
  ~MemoryConsole() {
    console::ResetConsole();
    forms::ResetInput();
    format::ResetFormatState();
    session::ResetSession();
    platform::InstallTerminal(nullptr);
  }
  MemoryConsole(const MemoryConsole&) = delete;
  MemoryConsole& operator=(const MemoryConsole&) = delete;

  platform::MemoryTerminal& terminal() const { return *terminal_; }
  const TempDir& dir() const { return dir_; }

 private:
  TempDir dir_;
  platform::MemoryTerminal* terminal_ = nullptr;
};

}  // namespace testing_support
