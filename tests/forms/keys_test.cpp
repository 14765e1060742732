#include "forms/keys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/console_state.h"
#include "console/key_wait.h"
#include "tests/support/memory_console.h"

namespace {

using namespace testing_support;
namespace scan = platform::scan;
using platform::kLeftAlt;
using platform::kLeftCtrl;
using platform::kRightAlt;
using platform::kRightCtrl;
using platform::kShift;

struct Read {
  int16_t key = 0, button = 0, row = 0, column = 0;
};

Read Get() {
  Read r;
  forms::GetKey(r.key, r.button, r.row, r.column);
  return r;
}

TEST(GetKey, KeysBecomeKeyCodes) {
  struct Case {
    const char* name;
    uint8_t character, scanCode;
    uint16_t modifiers;
    int16_t key;
  } cases[] = {
      {"a", 'a', 0, 0, 'a'},
      {"Enter", 13, scan::kEnter, 0, 13},
      {"e acute", 0x82, 0, 0, 0x82},
      {"F1", 0, scan::kF1, 0, 0x3B00},
      {"F10", 0, scan::kF10, 0, 0x4400},
      {"F11", 0, scan::kF11, 0, static_cast<int16_t>(0x8500)},
      {"Shift+F1", 0, scan::kF1, kShift, 0x5400},
      {"Shift+F10", 0, scan::kF10, kShift, 0x5D00},
      {"Shift+F12", 0, scan::kF12, kShift, static_cast<int16_t>(0x8800)},
      {"Ctrl+F4", 0, scan::kF1 + 3, kLeftCtrl, 0x6100},
      {"right Ctrl+F4", 0, scan::kF1 + 3, kRightCtrl, 0x6100},
      {"Ctrl+F11", 0, scan::kF11, kLeftCtrl, static_cast<int16_t>(0x8900)},
      {"Alt+F4", 0, scan::kF1 + 3, kLeftAlt, 0x6B00},
      {"right Alt+F4", 0, scan::kF1 + 3, kRightAlt, 0x6B00},
      {"Alt+F12", 0, scan::kF12, kRightAlt, static_cast<int16_t>(0x8C00)},
      {"Alt wins over Ctrl and Shift", 0, scan::kF1, kRightAlt | kLeftCtrl | kShift, 0x6800},
      {"Ctrl wins over Shift", 0, scan::kF1, kLeftCtrl | kShift, 0x5E00},
      {"Ctrl+Home", 0, scan::kHome, kLeftCtrl, 0x7700},
      {"Ctrl+Left", 0, scan::kLeft, kLeftCtrl, 0x7300},
      {"Ctrl+Right", 0, scan::kRight, kLeftCtrl, 0x7400},
      {"Shift+Home stays Home", 0, scan::kHome, kShift, 0x4700},
      {"Alt+E is the euro sign", 0, 0x12, kRightAlt, 213},
      {"Alt+F", 0, 0x21, kRightAlt, 0x2100},
      {"Shift+Tab", 0, scan::kTab, kShift, 0x0F00},
  };
  for (const Case& c : cases) {
    MemoryConsole mc;
    platform::InputEvent e;
    e.kind = platform::EventKind::kKey;
    e.character = c.character;
    e.scanCode = c.scanCode;
    e.modifiers = c.modifiers;
    mc.terminal().PushEvent(e);
    EXPECT_EQ(Get().key, c.key) << c.name;
  }
}

TEST(GetKey, AltAndKeypadDigitsComposeACharacter) {
  struct Case {
    const char* digits;
    int16_t key;
  } cases[] = {{"130", 130}, {"300", 44}, {"65", 'A'}, {"0213", 213}, {"9", 9}};
  for (const Case& c : cases) {
    MemoryConsole mc;
    mc.terminal().PushAltKeypad(c.digits);
    EXPECT_EQ(Get().key, c.key) << c.digits;
    EXPECT_EQ(mc.terminal().PendingEvents(), 0u);
  }
}

TEST(GetKey, WithLeftAltHeldTheUpArrowIsTheDigitEight) {
  MemoryConsole mc;
  mc.terminal().PushScan(scan::kUp, kLeftAlt);
  mc.terminal().PushIdle(kLeftAlt);  // still held, nothing typed: passed over
  mc.terminal().PushScan(scan::kPageUp, kLeftAlt);
  EXPECT_EQ(Get().key, 89);
}

TEST(GetKey, AnotherKeyEndsTheCompositionAndIsTheCurrentOne) {
  MemoryConsole mc;
  mc.terminal().PushScan(scan::kF1, kLeftAlt);  // no digit: Alt+F1 as usual
  EXPECT_EQ(Get().key, 0x6800);
  mc.terminal().PushScan(scan::kHome, kRightAlt);  // right Alt does not compose
  EXPECT_EQ(Get().key, 0x4700);
}

TEST(GetKey, TypeAheadComesFirstAndLeavesTheOtherOutputsAlone) {
  MemoryConsole mc;
  forms::Input().typeAhead = "12";
  mc.terminal().PushText("x");
  Read r;
  r.button = 7;
  r.row = 8;
  forms::GetKey(r.key, r.button, r.row, r.column);
  EXPECT_EQ(r.key, '1');
  EXPECT_EQ(r.button, 7);
  EXPECT_EQ(r.row, 8);
  EXPECT_EQ(Get().key, '2');
  EXPECT_EQ(Get().key, 'x');
  EXPECT_EQ(Get().key, 0);
}

TEST(GetKey, MouseReportingIsOnOnlyWhileWaiting) {
  MemoryConsole mc;
  platform::MemoryTerminal& t = mc.terminal();
  EXPECT_EQ(forms::Input().mouseState, forms::kMouseNotSetUp);
  Read r = Get();  // nothing pending: reporting stays on
  EXPECT_EQ(r.key, 0);
  EXPECT_TRUE(t.MouseReporting());
  EXPECT_EQ(forms::Input().mouseState, forms::kMouseOn);
  t.PushMouseRelease(5, 10, 1);
  r = Get();
  EXPECT_EQ(r.key, 0);
  EXPECT_EQ(r.button, 1);
  EXPECT_EQ(r.row, 5);
  EXPECT_EQ(r.column, 10);
  EXPECT_FALSE(t.MouseReporting());
  EXPECT_EQ(forms::Input().mouseState, forms::kMouseOff);
  t.PushText("a");
  Get();
  EXPECT_FALSE(t.MouseReporting());
  EXPECT_EQ(t.MouseSwitches(), 4);
}

TEST(GetKey, WithoutAMouseReportingIsNeverSwitchedOn) {
  MemoryConsole mc;
  mc.terminal().SetMouseButtonCount(0);
  Get();
  EXPECT_EQ(forms::Input().mouseState, forms::kMouseAbsent);
  EXPECT_EQ(mc.terminal().MouseSwitches(), 0);
}

TEST(WaitKey, ABReleaseIsDeliveredAsColumnButtonAndRow) {
  struct Case {
    int16_t row, column;
    uint8_t button;
    int16_t key;
  } cases[] = {{5, 10, 1, 10 * 256 + 64 + 5},
               {25, 80, 2, static_cast<int16_t>(80 * 256 + 128 + 25)},
               {1, 1, 2, 256 + 128 + 1}};
  for (const Case& c : cases) {
    MemoryConsole mc;
    mc.terminal().PushMouseRelease(c.row, c.column, c.button);
    // Reporting goes on at the first wait, before the click is read.
    mc.terminal().SetMouseReporting(true);
    int16_t key = 0;
    forms::WaitKey(key);
    EXPECT_EQ(key, c.key) << c.row << "," << c.column;
  }
}

TEST(WaitKey, WaitsThroughEmptyEventsForAKey) {
  MemoryConsole mc;
  mc.terminal().PushIdle(0);
  mc.terminal().PushIdle(kShift);
  mc.terminal().PushText("z");
  int16_t key = 0;
  forms::WaitKey(key);
  EXPECT_EQ(key, 'z');
  EXPECT_FALSE(mc.terminal().Starved());
}

TEST(FlushKeys, DiscardsTypedKeysButNotTypeAhead) {
  MemoryConsole mc;
  mc.terminal().PushText("abc");
  mc.terminal().PushTypedLater();
  mc.terminal().PushText("d");
  forms::Input().typeAhead = "9";
  forms::FlushKeys();
  EXPECT_EQ(Get().key, '9');
  EXPECT_EQ(Get().key, 'd');
}

TEST(ConsoleKeyReader, TheToolkitWaitsThroughTheFormsOnceInstalled) {
  MemoryConsole mc;
  mc.terminal().PushScan(scan::kF1, kShift);
  EXPECT_EQ(console::WaitKeyCode(), 0x3B00) << "built in: straight from the terminal";
  forms::InstallConsoleKeyReader();
  forms::Input().typeAhead = "7";
  mc.terminal().PushScan(scan::kF1, kShift);
  EXPECT_EQ(console::WaitKeyCode(), '7');
  EXPECT_EQ(console::WaitKeyCode(), 0x5400);
  console::ApplyKeyList("a", "1b");
  EXPECT_EQ(forms::Input().activeKeys, std::vector<int16_t>{27});
}

struct ListCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> calls;  // (commands, list)
  std::vector<int16_t> active;
  std::vector<int16_t> translation;
  int16_t maskChar;
};

TEST(SetKeyList, CommandsOnTheAcceptedKeys) {
  const ListCase cases[] = {
      {"append with and without targets",
       {{"a", "d,1b,4800=5000"}},
       {13, 27, 0x4800},
       {13, 27, 0x5000},
       0},
      {"F10 delivered as 2", {{"A", "4400=2"}}, {0x4400}, {2}, 0},
      {"F10 removed again", {{"A", "d,4400=2"}, {"D", "4400"}}, {13}, {13}, 0},
      {"D takes whole entries only",
       {{"a", "4400,44"}, {"d", "4"}},
       {0x4400, 0x44},
       {0x4400, 0x44},
       0},
      {"D removes the first match", {{"a", "d,1b,d"}, {"d", "d"}}, {27, 13}, {27, 13}, 0},
      {"an empty item is the code 0", {{"a", "d,,1b,"}}, {13, 0, 27, 0}, {13, 0, 27, 0}, 0},
      {"an empty list adds nothing", {{"a", ""}}, {}, {}, 0},
      {"E empties", {{"a", "d"}, {"e", ""}}, {}, {}, 0},
      {"the = of a later item is not this one's", {{"a", "d,1b=3"}}, {13, 27}, {13, 3}, 0},
      {"hex beyond 16 bits keeps the low bits", {{"a", "1ffff"}}, {-1}, {-1}, 0},
      {"bad hex reads up to the first bad character", {{"a", "4g00,zz"}}, {4, 0}, {4, 0}, 0},
      {"+ change + change - gives the first change",
       {{"ea", "d"}, {"+a", "1b"}, {"+a", "4800"}, {"-", ""}},
       {13, 27},
       {13, 27},
       0},
      {"a second - gives the lists before the first +",
       {{"ea", "d"}, {"+a", "1b"}, {"+a", "4800"}, {"-", ""}, {"-", ""}},
       {13},
       {13},
       0},
      {"- with nothing saved changes nothing", {{"a", "d"}, {"-", ""}}, {13}, {13}, 0},
      {"+ea saves then replaces", {{"a", "d"}, {"+ea", "1b"}}, {27}, {27}, 0},
      {"H masks with X", {{"h", ""}}, {}, {}, 'X'},
      {"V ends the mask", {{"H", ""}, {"v", ""}}, {}, {}, 0},
      {"other letters are ignored", {{"xyz?", "d"}}, {}, {}, 0},
  };
  for (const ListCase& c : cases) {
    MemoryConsole mc;
    for (const auto& [commands, list] : c.calls) forms::SetKeyList(commands, list);
    EXPECT_EQ(forms::Input().activeKeys, c.active) << c.name;
    EXPECT_EQ(forms::Input().keyTranslation, c.translation) << c.name;
    EXPECT_EQ(forms::Input().maskChar, c.maskChar) << c.name;
  }
}

TEST(SetChoiceList, StoresTheListForTheNextEdit) {
  MemoryConsole mc;
  forms::SetChoiceList("|C,Cartes|E,Etiquetes");
  EXPECT_EQ(forms::Input().choiceList, "|C,Cartes|E,Etiquetes");
}

TEST(AltX, OpensTheCalculatorAndTypesItsResultAfterTheKey) {
  MemoryConsole mc;
  platform::MemoryTerminal& t = mc.terminal();
  forms::SetKeyList("a", "d,1b");
  t.PushScan(0x2D, kLeftAlt);
  t.PushText("12.5");
  t.PushScan(0x2D, kLeftAlt);  // inside the calculator: nothing more opens
  t.PushCharacter('F');
  EXPECT_EQ(Get().key, 0x2D00);
  EXPECT_EQ(forms::Input().typeAhead, "1250");
  EXPECT_FALSE(forms::Input().calculatorBusy);
  EXPECT_EQ(forms::Input().activeKeys, (std::vector<int16_t>{13, 27})) << "key list restored";
  for (char ch : std::string("1250")) EXPECT_EQ(Get().key, ch);
  EXPECT_EQ(console::Console().window.windowDepth, 0);
  EXPECT_FALSE(t.Starved());
}

TEST(AltC, OpensTheCalendarAndEscTypesNothing) {
  MemoryConsole mc;
  mc.terminal().PushScan(0x2E, kLeftAlt);
  mc.terminal().PushCharacter(27);
  EXPECT_EQ(Get().key, 0x2E00);
  EXPECT_EQ(forms::Input().typeAhead, "");
  EXPECT_FALSE(forms::Input().calendarBusy);
  EXPECT_FALSE(mc.terminal().Starved());
}

}  // namespace
