#include "platform/terminal_keys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform::DecodeResult;
using platform::InputEvent;
using platform::KeyDecoder;
namespace scan = platform::scan;

constexpr uint16_t kShift = platform::kShift;
constexpr uint16_t kAlt = platform::kLeftAlt;
constexpr uint16_t kCtrl = platform::kLeftCtrl;

struct Key {
  uint8_t character;
  uint8_t scanCode;
  uint16_t modifiers;
};

// Every event the bytes decode to, taken as complete.
std::vector<InputEvent> DecodeAll(std::string_view bytes, int* refused = nullptr) {
  KeyDecoder d;
  d.Feed(bytes);
  std::vector<InputEvent> events;
  for (;;) {
    InputEvent e;
    DecodeResult r = d.Next(e, true);
    if (r == DecodeResult::kEvent) events.push_back(e);
    if (r == DecodeResult::kRefused && refused) ++*refused;
    if (r == DecodeResult::kEmpty) break;
    EXPECT_NE(r, DecodeResult::kNeedMore);
    if (r == DecodeResult::kNeedMore) break;
  }
  return events;
}

TEST(KeyDecoder, OneKeyPerSequence) {
  struct Case {
    const char* name;
    std::string bytes;
    Key want;
  } cases[] = {
      {"letter", "a", {'a', 0, 0}},
      {"Enter", "\r", {13, scan::kEnter, 0}},
      {"Tab", "\t", {9, scan::kTab, 0}},
      {"Backspace (DEL)", "\x7f", {8, scan::kBackspace, 0}},
      {"Backspace (BS)", "\x08", {8, scan::kBackspace, 0}},
      {"Ctrl+C", "\x03", {3, 0, kCtrl}},
      {"Ctrl+V", "\x16", {22, 0, kCtrl}},
      {"e acute", "\xc3\xa9", {0x82, 0, 0}},
      {"c cedilla", "\xc3\xa7", {0x87, 0, 0}},
      {"euro", "\xe2\x82\xac", {0xD5, 0, 0}},
      {"Esc alone", "\x1b", {27, scan::kEscape, 0}},
      {"F1 xterm", "\x1bOP", {0, scan::kF1, 0}},
      {"F4 xterm", "\x1bOS", {0, scan::kF1 + 3, 0}},
      {"F1 screen", "\x1b[11~", {0, scan::kF1, 0}},
      {"F5", "\x1b[15~", {0, scan::kF1 + 4, 0}},
      {"F10", "\x1b[21~", {0, scan::kF10, 0}},
      {"F11", "\x1b[23~", {0, scan::kF11, 0}},
      {"F12", "\x1b[24~", {0, scan::kF12, 0}},
      {"F3 Linux console", "\x1b[[C", {0, scan::kF1 + 2, 0}},
      {"Shift+F1", "\x1b[1;2P", {0, scan::kF1, kShift}},
      {"Ctrl+F4", "\x1b[1;5S", {0, scan::kF1 + 3, kCtrl}},
      {"Alt+F4", "\x1b[1;3S", {0, scan::kF1 + 3, kAlt}},
      {"Shift+F5", "\x1b[15;2~", {0, scan::kF1 + 4, kShift}},
      {"Ctrl+F12", "\x1b[24;5~", {0, scan::kF12, kCtrl}},
      {"Alt+F12", "\x1b[24;3~", {0, scan::kF12, kAlt}},
      {"Shift+F1 old xterm", "\x1bO2P", {0, scan::kF1, kShift}},
      {"Up", "\x1b[A", {0, scan::kUp, 0}},
      {"Up application mode", "\x1bOA", {0, scan::kUp, 0}},
      {"Down", "\x1b[B", {0, scan::kDown, 0}},
      {"Right", "\x1b[C", {0, scan::kRight, 0}},
      {"Left", "\x1b[D", {0, scan::kLeft, 0}},
      {"Home xterm", "\x1b[H", {0, scan::kHome, 0}},
      {"Home screen", "\x1b[1~", {0, scan::kHome, 0}},
      {"Home rxvt", "\x1b[7~", {0, scan::kHome, 0}},
      {"End xterm", "\x1bOF", {0, scan::kEnd, 0}},
      {"End screen", "\x1b[4~", {0, scan::kEnd, 0}},
      {"Insert", "\x1b[2~", {0, scan::kInsert, 0}},
      {"Delete", "\x1b[3~", {0, scan::kDelete, 0}},
      {"PgUp", "\x1b[5~", {0, scan::kPageUp, 0}},
      {"PgDn", "\x1b[6~", {0, scan::kPageDown, 0}},
      {"keypad centre", "\x1b[E", {0, scan::kCentre, 0}},
      {"Ctrl+Left", "\x1b[1;5D", {0, scan::kLeft, kCtrl}},
      {"Ctrl+Right", "\x1b[1;5C", {0, scan::kRight, kCtrl}},
      {"Ctrl+Home", "\x1b[1;5H", {0, scan::kHome, kCtrl}},
      {"Ctrl+Left rxvt", "\x1bOd", {0, scan::kLeft, kCtrl}},
      {"Ctrl+Home rxvt", "\x1b[7^", {0, scan::kHome, kCtrl}},
      {"Alt+Up", "\x1b[1;3A", {0, scan::kUp, kAlt}},
      {"Alt+Up by prefix", "\x1b\x1b[A", {0, scan::kUp, kAlt}},
      {"Shift+Tab", "\x1b[Z", {0, scan::kTab, kShift}},
      {"Alt+X", "\x1bx", {0, 0x2D, kAlt}},
      {"Alt+C",
       "\x1b"
       "c",
       {0, 0x2E, kAlt}},
      {"Alt+F",
       "\x1b"
       "f",
       {0, 0x21, kAlt}},
      {"Alt+E",
       "\x1b"
       "e",
       {0, 0x12, kAlt}},
      {"Alt+Shift+X", "\x1bX", {0, 0x2D, kAlt | kShift}},
      {"Alt+1",
       "\x1b"
       "1",
       {0, 0x78, kAlt}},
      {"Alt+0",
       "\x1b"
       "0",
       {0, 0x81, kAlt}},
      {"Alt+comma", "\x1b,", {',', 0, kAlt}},
      {"keypad Enter", "\x1bOM", {13, scan::kEnter, 0}},
      {"keypad 7", "\x1bOw", {'7', 0, 0}},
  };
  for (const Case& c : cases) {
    std::vector<InputEvent> events = DecodeAll(c.bytes);
    ASSERT_EQ(events.size(), 1u) << c.name;
    EXPECT_EQ(events[0].kind, platform::EventKind::kKey) << c.name;
    EXPECT_EQ(events[0].character, c.want.character) << c.name;
    EXPECT_EQ(events[0].scanCode, c.want.scanCode) << c.name;
    EXPECT_EQ(events[0].modifiers, c.want.modifiers) << c.name;
  }
}

TEST(KeyDecoder, BackToBackSequencesAreSplitRight) {
  std::vector<InputEvent> events = DecodeAll("a\x1b[A\x1bOPb\xc3\xa9\x1b[1;5D\x1bx");
  ASSERT_EQ(events.size(), 7u);
  EXPECT_EQ(events[0].character, 'a');
  EXPECT_EQ(events[1].scanCode, scan::kUp);
  EXPECT_EQ(events[2].scanCode, scan::kF1);
  EXPECT_EQ(events[3].character, 'b');
  EXPECT_EQ(events[4].character, 0x82);
  EXPECT_EQ(events[5].scanCode, scan::kLeft);
  EXPECT_EQ(events[6].scanCode, 0x2D);
}

TEST(KeyDecoder, WaitsForTheRestOfASequenceUntilToldItIsComplete) {
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {{"ESC", "\x1b"},         {"CSI", "\x1b["},       {"CSI params", "\x1b[1;5"},
               {"SS3", "\x1bO"},        {"UTF-8 lead", "\xc3"}, {"3-byte UTF-8", "\xe2\x82"},
               {"ESC ESC", "\x1b\x1b"}, {"mouse", "\x1b[M "}};
  for (const Case& c : cases) {
    KeyDecoder d;
    d.Feed(c.bytes);
    InputEvent e;
    EXPECT_EQ(d.Next(e, false), DecodeResult::kNeedMore) << c.name;
    EXPECT_FALSE(d.Empty()) << c.name;
    // Taken as complete, the bytes are used up one way or another.
    for (int guard = 0; guard < 8 && !d.Empty(); ++guard) d.Next(e, true);
    EXPECT_TRUE(d.Empty()) << c.name;
  }
}

TEST(KeyDecoder, AnEscFollowedLaterByAKeyStaysTwoKeys) {
  KeyDecoder d;
  d.Feed("\x1b");
  InputEvent e;
  EXPECT_EQ(d.Next(e, false), DecodeResult::kNeedMore);
  ASSERT_EQ(d.Next(e, true), DecodeResult::kEvent);
  EXPECT_EQ(e.character, 27);
  d.Feed("x");
  ASSERT_EQ(d.Next(e, false), DecodeResult::kEvent);
  EXPECT_EQ(e.character, 'x');
  EXPECT_EQ(e.modifiers, 0);
}

TEST(KeyDecoder, CharactersOutsideTheCodePageAreRefused) {
  int refused = 0;
  // Greek alpha, an emoji, a stray continuation byte, an invalid lead, then "a".
  std::vector<InputEvent> events = DecodeAll(
      "\xce\xb1\xf0\x9f\x98\x80\x80\xff"
      "a",
      &refused);
  EXPECT_EQ(refused, 4);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].character, 'a');
}

TEST(KeyDecoder, MouseReleasesInBothFormsWithTheButtonAndPosition) {
  struct Case {
    const char* name;
    std::string bytes;
    size_t count;
    uint8_t button;
    int16_t row, column;
  } cases[] = {
      {"SGR left release", "\x1b[<0;10;5m", 1, 1, 5, 10},
      {"SGR right release", "\x1b[<2;80;25m", 1, 2, 25, 80},
      {"SGR press only", "\x1b[<0;10;5M", 0, 0, 0, 0},
      {"SGR middle", "\x1b[<1;10;5m", 0, 0, 0, 0},
      {"SGR wheel", "\x1b[<64;10;5M", 0, 0, 0, 0},
      {"SGR outside the console", "\x1b[<0;81;5m", 0, 0, 0, 0},
      {"SGR below the console", "\x1b[<0;10;26m", 0, 0, 0, 0},
      {"X10 press and release", "\x1b[M +%\x1b[M#+%", 1, 1, 5, 11},
      {"X10 right", "\x1b[M\"+%\x1b[M#+%", 1, 2, 5, 11},
      {"X10 release without press", "\x1b[M#+%", 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    std::vector<InputEvent> events = DecodeAll(c.bytes);
    ASSERT_EQ(events.size(), c.count) << c.name;
    if (c.count == 0) continue;
    EXPECT_EQ(events[0].kind, platform::EventKind::kMouse) << c.name;
    EXPECT_EQ(events[0].button, c.button) << c.name;
    EXPECT_EQ(events[0].row, c.row) << c.name;
    EXPECT_EQ(events[0].column, c.column) << c.name;
  }
}

TEST(KeyDecoder, HostileBytesNeverStallOrGrowTheBuffer) {
  // Unknown sequences, an endless parameter run, NULs, and huge numbers.
  std::string junk = "\x1b[99999999999999999999;999999999999~";
  junk += "\x1b[" + std::string(200, '1');
  junk += std::string("\0\0\x1b[?\x1bO\x01", 8);
  junk += "\x1b[<999999999;999999999;99999999m";
  junk += "z";
  KeyDecoder d;
  d.Feed(junk);
  std::vector<InputEvent> events;
  for (int guard = 0; guard < 1000 && !d.Empty(); ++guard) {
    InputEvent e;
    if (d.Next(e, false) == DecodeResult::kEvent) events.push_back(e);
  }
  EXPECT_TRUE(d.Empty());
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().character, 'z');
}

}  // namespace
