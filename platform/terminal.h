#pragma once
// The console: a fixed 80 x 25 grid of cells (a code page 850 byte and a colour
// attribute each) with a cursor and an output colour, and the keyboard and mouse
// events of the terminal it is shown on. The grid is the truth: reading a cell, the
// saved-screen stack and redraws after a resize all come from it. Two backends
// implement the parts that touch a device: ncursesw for a real terminal
// (terminal_ncurses.h) and an in-memory one for tests (terminal_memory.h).

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

namespace platform {

inline constexpr int16_t kConsoleRows = 25;
inline constexpr int16_t kConsoleColumns = 80;

// Attribute byte of a cell: foreground + 16 x background, each a PC colour 0 .. 15
// (0 black, 1 blue, 2 green, 3 cyan, 4 red, 5 magenta, 6 brown, 7 grey, 8 .. 15 the
// bright ones).
inline constexpr uint8_t kDefaultAttribute = 0x07;  // grey on black

struct Cell {
  uint8_t character = ' ';
  uint8_t attribute = kDefaultAttribute;
  bool operator==(const Cell&) const = default;
};

// Control-key state of an input event, one bit per modifier key.
inline constexpr uint16_t kRightAlt = 0x01;
inline constexpr uint16_t kLeftAlt = 0x02;
inline constexpr uint16_t kRightCtrl = 0x04;
inline constexpr uint16_t kLeftCtrl = 0x08;
inline constexpr uint16_t kShift = 0x10;
inline constexpr uint16_t kAnyAlt = kLeftAlt | kRightAlt;
inline constexpr uint16_t kAnyCtrl = kLeftCtrl | kRightCtrl;

// PC scan codes of the keys without a character, as the key is unmodified
// (modifiers travel in the event's control-key state).
namespace scan {
inline constexpr uint8_t kEscape = 0x01;
inline constexpr uint8_t kBackspace = 0x0E;
inline constexpr uint8_t kTab = 0x0F;
inline constexpr uint8_t kEnter = 0x1C;
inline constexpr uint8_t kF1 = 0x3B;  // F1 .. F10 are 0x3B .. 0x44
inline constexpr uint8_t kF10 = 0x44;
inline constexpr uint8_t kHome = 0x47;
inline constexpr uint8_t kUp = 0x48;
inline constexpr uint8_t kPageUp = 0x49;
inline constexpr uint8_t kLeft = 0x4B;
inline constexpr uint8_t kCentre = 0x4C;  // keypad 5 without Num Lock
inline constexpr uint8_t kRight = 0x4D;
inline constexpr uint8_t kEnd = 0x4F;
inline constexpr uint8_t kDown = 0x50;
inline constexpr uint8_t kPageDown = 0x51;
inline constexpr uint8_t kInsert = 0x52;
inline constexpr uint8_t kDelete = 0x53;
inline constexpr uint8_t kF11 = 0x85;
inline constexpr uint8_t kF12 = 0x86;
}  // namespace scan

enum class EventKind : uint8_t {
  kNone,   // nothing pending; modifiers hold the keyboard's current control-key state
  kKey,    // a key press
  kMouse,  // a mouse event
};

struct InputEvent {
  EventKind kind = EventKind::kNone;
  uint8_t character = 0;   // kKey: the code page 850 character, 0 for a key without one
  uint8_t scanCode = 0;    // kKey: scan code of the unmodified key (0 when not known)
  uint16_t modifiers = 0;  // control-key state (kShift, kLeftAlt, ...)
  int16_t row = 0;         // kMouse: 1-based console position of the pointer
  int16_t column = 0;
  uint8_t button = 0;  // kMouse: the button released (1 left, 2 right), 0 for others
  bool operator==(const InputEvent&) const = default;
};

enum class CursorHeight : uint8_t { kHalf, kFull };

class Terminal {
 public:
  Terminal();
  virtual ~Terminal() = default;
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  // ---- Output: the cell grid. Rows and columns are 1-based. ----

  int16_t Rows() const { return kConsoleRows; }
  int16_t Columns() const { return kConsoleColumns; }

  // Moves the cursor; positions outside the grid are brought to its nearest edge.
  void MoveCursor(int16_t row, int16_t column);
  int16_t CursorRow() const { return cursorRow_; }
  int16_t CursorColumn() const { return cursorColumn_; }
  void ShowCursor(bool visible);
  bool CursorVisible() const { return cursorVisible_; }
  void SetCursorHeight(CursorHeight height);
  CursorHeight GetCursorHeight() const { return cursorHeight_; }

  // Colour of the text written from now on (foreground + 16 x background).
  void SetAttribute(uint8_t attribute) { attribute_ = attribute; }
  uint8_t Attribute() const { return attribute_; }

  // Writes every byte as one character cell at the cursor, advancing it; after the
  // last column it goes on at column 1 of the next row. Nothing scrolls: after the
  // bottom-right cell the cursor stays there and further characters are dropped
  // until the cursor is moved.
  void Write(std::string_view text);

  // Blanks every cell in the current colour; cursor to (1, 1).
  void Clear();

  // The cell at (row, column); a blank grey-on-black cell outside the grid.
  Cell ReadCell(int16_t row, int16_t column) const;

  // Moves the contents of the rectangle (inclusive, clipped to the grid) up by
  // `lines` (down when negative); the rows that come free are blanked in the current
  // colour. Nothing outside the rectangle changes. 0 does nothing.
  void ScrollRect(int16_t top, int16_t left, int16_t bottom, int16_t right, int16_t lines);

  // Sounds the terminal's bell.
  virtual void Beep() = 0;

  // Shows pending output now (the backends also do so before waiting for input).
  virtual void Flush() {}

  // ---- Input ----

  // Takes the next pending event without waiting. False (event.kind kNone, with the
  // current control-key state) when nothing is pending.
  virtual bool PollEvent(InputEvent& event) = 0;

  // Waits until an event is pending or the time is up (negative: no limit); true when
  // one is pending. It may also return early (a resize), so callers poll again.
  virtual bool WaitForInput(int timeoutMilliseconds) = 0;

  // Mouse button reports on or off; MouseButtons is 0 when there is no mouse.
  virtual void SetMouseReporting(bool on) = 0;
  virtual int16_t MouseButtons() const = 0;

  // Throws away every input event not yet taken.
  virtual void DiscardInput() = 0;

  // Hands a text (UTF-8) to the terminal's own clipboard, where it has one.
  virtual void SendClipboard(std::string_view utf8) { (void)utf8; }

 protected:
  // Marks for the backends: which cells changed since they last drew.
  bool CellDirty(int16_t row, int16_t column) const;
  void ClearDirty();
  void MarkAllDirty();
  bool AnyDirty() const { return anyDirty_; }

 private:
  void Put(int16_t row, int16_t column, Cell cell);
  static size_t Index(int16_t row, int16_t column);

  std::array<Cell, kConsoleRows * kConsoleColumns> cells_{};
  std::array<bool, kConsoleRows * kConsoleColumns> dirty_{};
  bool anyDirty_ = true;
  int16_t cursorRow_ = 1;
  int16_t cursorColumn_ = 1;
  bool cursorAtEnd_ = false;  // the bottom-right cell was written; output is dropped
  bool cursorVisible_ = true;
  CursorHeight cursorHeight_ = CursorHeight::kHalf;
  uint8_t attribute_ = kDefaultAttribute;
};

// The terminal of the process. Until one is installed it is an in-memory terminal,
// so that code run without a real terminal (tests, tools) still has a console.
Terminal& CurrentTerminal();

// Makes `terminal` the terminal of the process (null puts a fresh in-memory one in
// its place). The previous one is destroyed.
void InstallTerminal(std::unique_ptr<Terminal> terminal);

// The keyboard's Insert toggle, shared by every field: off at start.
bool InsertToggle();
void SetInsertToggle(bool on);

}  // namespace platform
