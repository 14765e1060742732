#pragma once
// The adding-machine calculator (Alt+X): a paper tape growing upwards above the
// entry line, results under a rule. Its whole state, tape and position included,
// lives in terminalDir + "ZURCALC.TMP" from one use to the next.
//
// State file: comma-separated fields in CR LF records, numbers in plain decimal,
// texts in double quotes; read field by field in this order (line breaks carry no
// meaning when reading):
//   record 1        column, first visible, display value, accumulator
//   record 2        clear pressed, entry in progress, point typed, decimals
//   record 3        "current key", "pending operator"
//   records 4 .. 25 tape lines 1 .. 22: value, point typed, decimals, "operator"
// A file that cannot be read, or holds anything but exactly these 98 fields with
// sound values, gives the empty state.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace console {

inline constexpr const char* kCalculatorFileName = "ZURCALC.TMP";
inline constexpr int kTapeLines = 22;
inline constexpr int16_t kCalculatorWidth = 26;
inline constexpr int16_t kNoTapeShown = 23;  // first visible when no tape line shows

struct TapeLine {
  double value = 0;
  int16_t pointTyped = 0;
  int16_t decimals = 0;
  std::string op;  // the operator character, or "" / " " for none
  bool operator==(const TapeLine&) const = default;
};

struct CalculatorState {
  int16_t column = 1;                       // left column on the screen (1 .. 55)
  int16_t firstVisible = kNoTapeShown;      // oldest tape line shown (2 .. 23)
  double displayValue = 0;                  // the number on the entry line
  double accumulator = 0;                   // the running result
  int16_t clearPressed = -1;                // -1: the next "C" clears the tape display
  int16_t entryInProgress = 0;              // -1 while digits are being typed
  int16_t pointTyped = 0;                   // -1 when the display value has a decimal point
  int16_t decimals = 0;                     // decimals of the display value
  std::string currentKey;                   // the last operator key handled
  std::string pendingOperator;              // "+", "-", "*", "/" or ""
  std::array<TapeLine, kTapeLines> tape{};  // index 0 = line 1, index 21 = the newest
  bool operator==(const CalculatorState&) const = default;
};

// terminalDir + "ZURCALC.TMP".
std::string CalculatorFilePath();

// The state in the file; the empty state (as above) when the file is missing,
// unreadable or not sound.
CalculatorState LoadCalculatorState(std::string_view path);

// Writes the whole state to the file. False when it could not be written completely.
bool SaveCalculatorState(std::string_view path, const CalculatorState& state);

// A number as the calculator shows it, 22 characters: FormatMask with "-" and the
// last 21 characters of "Z,ZZZ,ZZZ,ZZZ,ZZZ,ZZ9" + ("." when pointTyped) + decimals
// "9"s.
std::string CalculatorNumber(double value, int16_t pointTyped, int16_t decimals);

// Handles one key on the state (no drawing): digits, ".", Backspace, operators,
// "=" / Enter, "%", "R", "C", "T". Returns true when the key was one of these.
bool CalculatorKey(CalculatorState& state, int16_t key);

// The result text on leaving with F: the value in hundredths without sign (12.5
// gives "1250", 1.234 gives "123.4", 0 gives "0").
std::string CalculatorResult(const CalculatorState& state);

// Runs the calculator over the screen until F (or Alt+F) or Esc and returns the
// result text, "" after Esc. Keys come through console::WaitKeyCode.
std::string ShowCalculator();

}  // namespace console
