#pragma once
// The real terminal: the console drawn with ncursesw at the terminal's top-left,
// keys and mouse clicks read from the terminal and decoded (terminal_keys.h).

#include <memory>
#include <string>
#include <string_view>

#include "platform/terminal.h"

namespace platform {

// The size of the terminal behind `fd`. False when fd is not a terminal or the size
// cannot be had.
bool QueryTerminalSize(int fd, int& rows, int& columns);

// The message for a terminal too small for the console:
// "<program>: the terminal is 79x25; it needs at least 80 columns and 25 rows",
// followed by the same in Catalan on a second line.
std::string TerminalTooSmallMessage(std::string_view program, int rows, int columns);

// Checks that standard input and output are a terminal of at least 80 x 25. False
// with a message for the user (see TerminalTooSmallMessage) when not; the program
// then stops with exit code 1.
bool CheckTerminalSize(std::string_view program, std::string& message);

// Opens the terminal on the given descriptors with ncursesw (screen mode, raw keys,
// the console's colours). Null with a message when it cannot: not a terminal, an
// unknown terminal type. Only one can be open at a time.
std::unique_ptr<Terminal> OpenNcursesTerminal(int inFd, int outFd, std::string& message);

// Start-up of a program on the real terminal: CheckTerminalSize, then
// OpenNcursesTerminal on standard input and output, installed as the current
// terminal and suspended around child programs (platform::SetChildHooks). False with
// a message when either step fails.
bool StartRealTerminal(std::string_view program, std::string& message);

// Leaves screen mode and puts an in-memory terminal in place of the real one.
void StopRealTerminal();

}  // namespace platform
