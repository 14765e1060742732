// console_probe: shows a screen with frames, accented letters and colours on the real
// terminal and echoes the key code of every key it reads ("KEY #n: xxxx" on row 24).
// "p" opens a message window until the next key, "r" runs a child program, "q" ends.
#include <cstdio>
#include <string>

#include "console/colour.h"
#include "console/screen.h"
#include "console/window_stack.h"
#include "forms/keys.h"
#include "platform/cp850.h"
#include "platform/process.h"
#include "platform/terminal.h"
#include "platform/terminal_ncurses.h"
#include "session/session.h"

namespace {

void At(int16_t row, int16_t column, const std::string& utf8) {
  platform::CurrentTerminal().MoveCursor(row, column);
  console::Print(platform::Utf8ToCp850(utf8));
}

void DrawScreen() {
  platform::Terminal& t = platform::CurrentTerminal();
  console::SetColour("n");
  t.Clear();
  console::SetColour("r");
  At(1, 1, std::string(" PROVA DE CONSOLA") + std::string(63, ' '));
  console::SetColour("n");
  At(3, 5, "╔" + std::string() + "══════════════════════════════════════╗");
  At(4, 5, "║ Lletres: àéèíòóúç ÀÉÈÍÒÓÚÇ ñÑ ü €    ║");
  At(5, 5, "║ Fletxes:      Mig: ½ ¼  Graus: 25°   ║");
  // The arrows are the glyphs of the control bytes 0x11 and 0x10.
  platform::CurrentTerminal().MoveCursor(5, 16);
  console::Print("\x11 \x10");
  At(6, 5, "╚══════════════════════════════════════╝");
  At(8, 5, "┌──────┬──────┐");
  At(9, 5, "│ un   │ dos  │");
  At(10, 5, "└──────┴──────┘");
  for (int c = 0; c < 16; ++c) {
    t.SetAttribute(static_cast<uint8_t>(c << 4 | (c == 0 ? 7 : 0)));
    char cell[8];
    std::snprintf(cell, sizeof cell, " %X ", c);
    At(12, static_cast<int16_t>(5 + 3 * c), cell);
  }
  t.SetAttribute(0x1F);
  At(14, 5, "BLAU");
  t.SetAttribute(0x4E);
  At(14, 12, "VERMELL");
  t.SetAttribute(0x0A);
  At(14, 22, "VERD");
  console::SetColour("n");
  At(16, 5, "p: missatge  r: programa  q: surt");
  t.MoveCursor(24, 1);
}

}  // namespace

int main() {
  std::string message;
  if (!platform::StartRealTerminal("console_probe", message)) {
    std::fprintf(stderr, "%s\n", message.c_str());
    return 1;
  }
  session::LoadSession();
  forms::InstallConsoleKeyReader();
  DrawScreen();

  int count = 0;
  for (;;) {
    int16_t key = 0;
    forms::WaitKey(key);
    char echo[40];
    std::snprintf(echo, sizeof echo, "KEY #%d: %04x", ++count, static_cast<uint16_t>(key));
    console::SetColour("n");
    At(24, 1, std::string(echo) + std::string(20, ' '));
    if (key == 'q') break;
    if (key == 'p') {
      console::ShowMessage(12, platform::Utf8ToCp850("MISSATGE DE PROVA: àéç"));
      int16_t any = 0;
      forms::WaitKey(any);
      console::PopWindow();
      console::SetColour("n");
    } else if (key == 'r') {
      platform::RunCommandLine("echo SORTIDA-DEL-FILL");
    }
  }
  platform::StopRealTerminal();
  return 0;
}
