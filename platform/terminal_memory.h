#pragma once
// The in-memory terminal for tests: input comes from a script of events, and every
// cell, the cursor, the beeps, the mouse switch and the clipboard can be read back.

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "platform/terminal.h"

namespace platform {

class MemoryTerminal : public Terminal {
 public:
  MemoryTerminal() = default;

  // ---- The input script, taken in order ----

  void PushEvent(const InputEvent& event) { script_.push_back({event, false}); }
  // A key with a character (code page 850 byte) and optional modifiers.
  void PushCharacter(uint8_t character, uint16_t modifiers = 0);
  // Every byte of the text as a character key.
  void PushText(std::string_view cp850);
  // A key without a character: its scan code (scan::kF1, ...) and modifiers.
  void PushScan(uint8_t scanCode, uint16_t modifiers = 0);
  // Left Alt held while the digits are typed on the keypad (Num Lock off: the keypad
  // keys come as Insert, End, Down, ...), then Alt released.
  void PushAltKeypad(std::string_view digits);
  // A mouse button (1 left, 2 right) released at (row, column).
  void PushMouseRelease(int16_t row, int16_t column, uint8_t button);
  // Nothing pending, with this control-key state (as when a modifier is held).
  void PushIdle(uint16_t modifiers);
  // Marks the point before which input counts as already typed: DiscardInput throws
  // away the events up to the first mark (and the mark), or all when there is none.
  void PushTypedLater();

  size_t PendingEvents() const { return script_.size(); }

  // True once something waited for input after the script ran out. The wait is then
  // answered with an Esc key so that a faulty loop ends instead of hanging the test.
  bool Starved() const { return starved_; }

  // ---- What the program did ----

  // Screens as they stood each time a scripted key or mouse event was taken, i.e.
  // what the operator saw when pressing it (kept while recording is on).
  void RecordScreens(bool on) { recording_ = on; }
  size_t ScreenCount() const { return screens_.size(); }
  // Row `row` of screen `index` (0 = before the first event).
  std::string ScreenLine(size_t index, int16_t row) const;
  Cell ScreenCell(size_t index, int16_t row, int16_t column) const;

  int Beeps() const { return beeps_; }
  bool MouseReporting() const { return mouseReporting_; }
  int MouseSwitches() const { return mouseSwitches_; }  // times reporting changed
  void SetMouseButtonCount(int16_t buttons) { mouseButtons_ = buttons; }
  int Discards() const { return discards_; }
  const std::string& ClipboardSent() const { return clipboardSent_; }

  // Row `row` (1-based) as code page 850 text, 80 characters.
  std::string Line(int16_t row) const;
  // Columns first .. last of a row.
  std::string Text(int16_t row, int16_t first, int16_t last) const;
  // Every row, in order.
  std::vector<std::string> Lines() const;

  // ---- Terminal ----
  void Beep() override { ++beeps_; }
  bool PollEvent(InputEvent& event) override;
  bool WaitForInput(int timeoutMilliseconds) override;
  void SetMouseReporting(bool on) override;
  int16_t MouseButtons() const override { return mouseButtons_; }
  void DiscardInput() override;
  void SendClipboard(std::string_view utf8) override { clipboardSent_ = utf8; }

 private:
  struct ScriptItem {
    InputEvent event;
    bool typedLaterMark = false;
  };
  std::deque<ScriptItem> script_;
  bool recording_ = false;
  std::vector<std::vector<Cell>> screens_;
  bool starved_ = false;
  long emptyWaits_ = 0;
  int beeps_ = 0;
  bool mouseReporting_ = false;
  int mouseSwitches_ = 0;
  int16_t mouseButtons_ = 2;
  int discards_ = 0;
  std::string clipboardSent_;
};

}  // namespace platform
