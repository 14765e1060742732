#include "console/colour.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/console_state.h"
#include "tests/support/memory_console.h"

namespace {

using namespace testing_support;

struct Case {
  const char* name;
  std::vector<std::string> codes;  // applied in order
  int16_t index;                   // colourIndex afterwards
  std::string stack;               // colourStack afterwards
  uint8_t attribute;               // console colour afterwards
};

TEST(SetColour, CodesChooseTheRoleAndKeepTheStack) {
  const Case cases[] = {
      {"normal", {"n"}, 1, "", kNormal},
      {"highlight has no role letter", {"h"}, 0, "", kHighlight},
      {"reverse", {"r"}, 2, "", kReverse},
      {"field", {"u"}, 4, "", kField},
      {"upper case", {"N"}, 1, "", kNormal},
      {"R and N together", {"rn"}, 3, "", kReverseNormal},
      {"U takes precedence over R", {"ur"}, 4, "", kField},
      {"rh is reverse", {"rh"}, 2, "", kReverse},
      {"+n saves the index in force", {"u", "+n"}, 1, "\x04", kNormal},
      {"+ alone saves and applies entry 0", {"n", "+"}, 0, "\x01", kHighlight},
      {"- with nothing saved applies entry 0", {"u", "-"}, 0, "", kHighlight},
      {"- ignores role letters", {"n", "+r", "-u"}, 1, "", kNormal},
      {"+rh twice then - twice", {"u", "+rh", "+rh", "-", "-"}, 4, "", kField},
      {"+rh twice then - once", {"u", "+rh", "+rh", "-"}, 2, std::string("\x04", 1), kReverse},
      {"+ and - together re-apply", {"r", "+-n"}, 2, "", kReverse},
      {"blank code changes nothing", {"r", "+u", "   "}, 4, "\x02", kField},
      {"empty code changes nothing", {"r", ""}, 2, "", kReverse},
      {"other letters are ignored", {"xyz"}, 0, "", kHighlight},
  };
  for (const Case& c : cases) {
    MemoryConsole mc;
    for (const std::string& code : c.codes) console::SetColour(code);
    EXPECT_EQ(console::Console().colourIndex, c.index) << c.name;
    EXPECT_EQ(console::Console().colourStack, c.stack) << c.name;
    EXPECT_EQ(mc.terminal().Attribute(), c.attribute) << c.name;
  }
}

TEST(SetColour, ABlankCodeLeavesTheConsoleColourAlone) {
  MemoryConsole mc;
  mc.terminal().SetAttribute(0x5A);
  console::SetColour(" ");
  EXPECT_EQ(mc.terminal().Attribute(), 0x5A);
  EXPECT_EQ(console::Console().colourIndex, 0);
}

TEST(SetColour, PaletteNumbersOutsideTheSixteenColoursLeaveThatHalfUnchanged) {
  MemoryConsole mc;
  session::Session().palette[1] = {16, 2};  // foreground unchanged, green background
  session::Session().palette[2] = {4, -1};  // red foreground, background unchanged
  mc.terminal().SetAttribute(0x3C);
  console::SetColour("n");
  EXPECT_EQ(mc.terminal().Attribute(), 0x2C);
  console::SetColour("r");
  EXPECT_EQ(mc.terminal().Attribute(), 0x24);
}

TEST(SetColour, ColoursAlreadyOnTheScreenKeepTheirs) {
  MemoryConsole mc;
  console::SetColour("u");
  mc.terminal().Write("a");
  console::SetColour("r");
  mc.terminal().Write("b");
  EXPECT_EQ(mc.terminal().ReadCell(1, 1).attribute, kField);
  EXPECT_EQ(mc.terminal().ReadCell(1, 2).attribute, kReverse);
}

}  // namespace
