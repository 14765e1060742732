#pragma once
// How the console toolkit waits for keys. The keyboard layer of the forms (which
// builds on this toolkit) installs its own functions at start-up, so that the
// calculator and the record layer's error messages read keys the way every screen
// does (type-ahead, key lists, the calendar and calculator keys). Until then the
// toolkit reads the terminal itself.

#include <cstdint>
#include <string_view>

namespace console {

struct KeyReader {
  // Waits for a key and returns its key code (a character 1 .. 255, a scan code x
  // 256, or a mouse button release).
  int16_t (*waitKey)() = nullptr;
  // Discards every key typed and not yet read.
  void (*flushKeys)() = nullptr;
  // Applies key-list commands ("+e", "-", ...) to the accepted keys.
  void (*setKeyList)(std::string_view commands, std::string_view list) = nullptr;
};

// Makes `reader` the key reader of the toolkit; a null function in it keeps the
// built-in one for that operation.
void InstallKeyReader(const KeyReader& reader);

// Waits for one key through the installed reader; built in: the next key event of
// the terminal, as a key code (character, or 256 x scan code), without waiting
// through type-ahead or key lists.
int16_t WaitKeyCode();

// Discards pending keys through the installed reader; built in: the terminal's.
void FlushPendingKeys();

// Key-list commands through the installed reader; built in: nothing.
void ApplyKeyList(std::string_view commands, std::string_view list);

// The next key event read straight from the terminal, waiting for it: the character
// code, or 256 x the scan code for a key without one (no modifiers applied, mouse
// events passed over).
int16_t ReadConsoleKey();

}  // namespace console
