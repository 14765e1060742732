#pragma once
// Keyboard and mouse input of the forms: console events become key codes (a
// character 1 .. 255, a key without a character as its scan code x 256, 0 for no
// key), Alt + keypad digits compose a character, Alt+X and Alt+C open the
// calculator and the calendar from anywhere, and the key lists say which keys the
// current screen accepts and what each is delivered as.
//
// Key-list syntax: items separated by commas, each a hexadecimal code without
// prefix ("d", "1b", "4800"), optionally "=" and the code to deliver instead
// ("4400=2"); an empty item is the code 0.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace forms {

// Key codes the module names (scan code x 256, as 16-bit values).
inline constexpr int16_t kKeyEnter = 13;
inline constexpr int16_t kKeyEsc = 27;
inline constexpr int16_t kKeyBackspace = 8;
inline constexpr int16_t kKeyShiftTab = 0x0F00;
inline constexpr int16_t kKeyF1 = 0x3B00;
inline constexpr int16_t kKeyF10 = 0x4400;
inline constexpr int16_t kKeyF11 = static_cast<int16_t>(0x8500);
inline constexpr int16_t kKeyF12 = static_cast<int16_t>(0x8600);
inline constexpr int16_t kKeyHome = 0x4700;
inline constexpr int16_t kKeyUp = 0x4800;
inline constexpr int16_t kKeyPageUp = 0x4900;
inline constexpr int16_t kKeyLeft = 0x4B00;
inline constexpr int16_t kKeyCentre = 0x4C00;
inline constexpr int16_t kKeyRight = 0x4D00;
inline constexpr int16_t kKeyEnd = 0x4F00;
inline constexpr int16_t kKeyDown = 0x5000;
inline constexpr int16_t kKeyPageDown = 0x5100;
inline constexpr int16_t kKeyInsert = 0x5200;
inline constexpr int16_t kKeyDelete = 0x5300;
inline constexpr int16_t kKeyCtrlLeft = 0x7300;
inline constexpr int16_t kKeyCtrlRight = 0x7400;
inline constexpr int16_t kKeyCtrlHome = 0x7700;
inline constexpr int16_t kKeyAltF = 0x2100;
inline constexpr int16_t kKeyAltX = 0x2D00;
inline constexpr int16_t kKeyAltC = 0x2E00;
inline constexpr int16_t kKeyAltE = 0x1200;  // delivered as 213, the euro sign

// Mouse states.
inline constexpr int16_t kMouseNotSetUp = 0;
inline constexpr int16_t kMouseOn = 1;   // reporting on (an event is awaited)
inline constexpr int16_t kMouseOff = 2;  // reporting off, a mouse is present
inline constexpr int16_t kMouseAbsent = 3;

struct KeyLists {
  std::vector<int16_t> activeKeys;      // keys the current screen accepts, in order added
  std::vector<int16_t> keyTranslation;  // parallel: the code each is delivered as
};

struct InputState {
  std::vector<int16_t> activeKeys;
  std::vector<int16_t> keyTranslation;
  std::vector<KeyLists> savedLists;  // saved by "+", given back by "-", last first
  int16_t maskChar = 0;              // 0, or the character echoed for hidden input
  std::string choiceList;            // handed to the next line edit
  std::string typeAhead;             // characters GetKey delivers before any console input
  int16_t mouseState = kMouseNotSetUp;
  bool calculatorBusy = false;
  bool calendarBusy = false;
};

// The input state of the process.
InputState& Input();

// Puts the input state back to its start (for tests).
void ResetInput();

// The next input event, without waiting for one to be typed (when nothing is
// pending it gives the terminal a short moment, so that loops polling it do not
// spin). key: the key code, 0 for none or a mouse event; button: the mouse button
// released (1 left, 2 right) or 0; mouseRow, mouseColumn: the 1-based console
// position of that release. A type-ahead character comes first and leaves the other
// outputs as they were. Alt+X and Alt+C open the calculator and the calendar (unless
// already open) and queue their result as type-ahead; key stays 2d00 / 2e00.
void GetKey(int16_t& key, int16_t& button, int16_t& mouseRow, int16_t& mouseColumn);

// Waits (blocking, not spinning) until GetKey yields a key or a button release; a
// release is delivered as the low 16 bits of column x 256 + button x 64 + row.
void WaitKey(int16_t& key);

// Discards all console input not yet read (type-ahead stays).
void FlushKeys();

// Stores the choice list for the next line edit.
void SetChoiceList(std::string_view list);

// Applies each command letter (either case) in order: D remove each item's code
// from the accepted keys (first match, with its translation); A append each item;
// E empty both lists; + save a copy of both; - take the last saved pair back
// (nothing when none is saved); H mask input with "X"; V stop masking. Other letters
// are ignored.
void SetKeyList(std::string_view commands, std::string_view list);

// Makes the console toolkit wait for keys through WaitKey, FlushKeys and SetKeyList
// (console/key_wait.h). The input functions above do it themselves on first use;
// start-up calls it so the record layer's messages read keys this way from the
// start.
void InstallConsoleKeyReader();

}  // namespace forms
