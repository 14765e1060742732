#pragma once
// The console toolkit's process-wide state: the colour in force and its saved
// stack, the value stack, the window of the saved-screen stack and the key reader
// the toolkit's pop-ups wait with.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "console/key_wait.h"

namespace console {

struct WindowState {
  // PushWindow calls of this process not yet undone by PopWindow; 0 = no window,
  // positions are absolute.
  int16_t windowDepth = 0;
  // Top row, left column, bottom row, right column of the innermost window, frame
  // included, absolute 1-based; four zeros before any window.
  std::array<int16_t, 4> currentWindow{};
};

struct ConsoleState {
  int16_t colourIndex = 0;  // palette entry applied last
  std::string colourStack;  // saved palette indexes, one byte each, last = top
  std::string valueStack;   // see PushValue
  WindowState window;
  std::vector<std::string> savedWindows;  // this process's own copy of each pushed record
  KeyReader keyReader;                    // see key_wait.h
};

// The state of the process.
ConsoleState& Console();

// Puts the state back to its start (for tests): no colour saved, no value, no
// window, the built-in key reader.
void ResetConsole();

}  // namespace console
