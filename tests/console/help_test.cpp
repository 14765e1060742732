#include "console/help.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "console/colour.h"
#include "console/console_state.h"
#include "tests/support/memory_console.h"

namespace {

using namespace testing_support;
namespace scan = platform::scan;

// A help file of `count` lines "<prefix> 01", "<prefix> 02", ... in 80-byte records.
std::string HelpLines(const std::string& prefix, int count) {
  std::string file;
  for (int i = 1; i <= count; ++i) {
    char line[16];
    std::snprintf(line, sizeof line, "%s %02d", prefix.c_str(), i);
    std::string record(line);
    record.resize(80, ' ');
    file += record;
  }
  return file;
}

class HelpViewer : public ::testing::Test {
 protected:
  HelpViewer() : cd_(mc_.dir().path()) { mc_.terminal().RecordScreens(true); }

  void WriteHelp(const std::string& topic, const std::string& bytes) {
    WriteFile(mc_.dir() / ("AJUDA/" + topic + ".HLP"), bytes);
  }

  // The first seven characters of text rows 1 .. 17 (console rows 5 .. 21, from
  // column 3) of screen i.
  std::vector<std::string> Shown(size_t i) const {
    std::vector<std::string> rows;
    for (int16_t r = 5; r <= 21; ++r) rows.push_back(mc_.terminal().ScreenLine(i, r).substr(2, 7));
    return rows;
  }

  std::string FirstShown(size_t i) const { return Shown(i).front(); }
  std::string LastShown(size_t i) const { return Shown(i).back(); }

  MemoryConsole mc_;
  ScopedCurrentDir cd_;
};

TEST_F(HelpViewer, ADoubleFrameFromRow4To22WithSeventeenLines) {
  WriteHelp("PROVA", HelpLines("LINE", 40));
  platform::MemoryTerminal& t = mc_.terminal();
  console::SetColour("u");
  t.PushCharacter(27);
  console::ShowHelp("PROVA");
  ASSERT_EQ(t.ScreenCount(), 1u);
  EXPECT_EQ(t.ScreenCell(0, 4, 1).character, 0xC9);
  EXPECT_EQ(t.ScreenCell(0, 4, 80).character, 0xBB);
  EXPECT_EQ(t.ScreenCell(0, 22, 1).character, 0xC8);
  EXPECT_EQ(t.ScreenCell(0, 22, 80).character, 0xBC);
  EXPECT_EQ(t.ScreenCell(0, 4, 1).attribute, kHighlight);
  EXPECT_EQ(FirstShown(0), "LINE 01");
  EXPECT_EQ(LastShown(0), "LINE 17");
  EXPECT_EQ(t.ScreenCell(0, 5, 3).attribute, kNormal);
  EXPECT_EQ(t.ScreenCell(0, 5, 2).character, ' ');  // text starts at column 3
  EXPECT_EQ(t.ScreenCell(0, 3, 1).character, ' ');
  EXPECT_EQ(t.ScreenCell(0, 23, 1).character, ' ');
  // Esc leaves the screen and the colour as they were.
  EXPECT_EQ(t.Line(4), std::string(80, ' '));
  EXPECT_EQ(console::Console().colourIndex, 4);
  EXPECT_EQ(console::Console().colourStack, "");
  EXPECT_EQ(console::Console().window.windowDepth, 0);
  EXPECT_FALSE(t.Starved());
}

struct PagingCase {
  const char* name;
  std::vector<int> keys;                // scan codes; Esc is added at the end
  std::vector<std::string> firstShown;  // before each key (and before the Esc)
};

TEST_F(HelpViewer, PagingThroughAFortyLineFile) {
  const PagingCase cases[] = {
      {"PgDn to the end, then Home",
       {scan::kPageDown, scan::kPageDown, scan::kPageDown, scan::kHome},
       {"LINE 01", "LINE 18", "LINE 24", "LINE 24", "LINE 01"}},
      {"End, then PgUp twice",
       {scan::kEnd, scan::kPageUp, scan::kPageUp},
       {"LINE 01", "LINE 24", "LINE 08", "LINE 01"}},
      {"Up on the first page and Down on the last do nothing",
       {scan::kUp, scan::kEnd, scan::kDown, scan::kUp},
       {"LINE 01", "LINE 01", "LINE 24", "LINE 24", "LINE 23"}},
      {"Down scrolls one line",
       {scan::kDown, scan::kDown, scan::kUp},
       {"LINE 01", "LINE 02", "LINE 03", "LINE 02"}},
      {"Home and PgUp on the first page do nothing",
       {scan::kHome, scan::kPageUp},
       {"LINE 01", "LINE 01", "LINE 01"}},
  };
  WriteHelp("PROVA", HelpLines("LINE", 40));
  for (const PagingCase& c : cases) {
    MemoryConsole mc;
    ScopedCurrentDir cd(mc_.dir().path());
    platform::MemoryTerminal& t = mc.terminal();
    t.RecordScreens(true);
    for (int key : c.keys) t.PushScan(static_cast<uint8_t>(key));
    t.PushCharacter(27);
    console::ShowHelp("PROVA");
    ASSERT_EQ(t.ScreenCount(), c.firstShown.size()) << c.name;
    for (size_t i = 0; i < c.firstShown.size(); ++i) {
      EXPECT_EQ(t.ScreenLine(i, 5).substr(2, 7), c.firstShown[i]) << c.name << " screen " << i;
      // Every page is full and in order.
      const int first = std::stoi(t.ScreenLine(i, 5).substr(7, 2));
      char last[32];
      std::snprintf(last, sizeof last, "LINE %02d", first + 16);
      EXPECT_EQ(t.ScreenLine(i, 21).substr(2, 7), last) << c.name << " screen " << i;
    }
  }
}

TEST_F(HelpViewer, F1OpensTheMenuHelpOverAnyOtherTopicButNotOverItself) {
  WriteHelp("PROVA", HelpLines("LINE", 40));
  WriteHelp("UXAVIPAN", HelpLines("MENU", 5));
  platform::MemoryTerminal& t = mc_.terminal();
  t.PushScan(scan::kPageDown);
  t.PushScan(scan::kF1);  // opens the menu help
  t.PushScan(scan::kF1);  // inside it: nothing
  t.PushCharacter(27);    // back to the first help
  t.PushCharacter(27);
  console::ShowHelp("PROVA");
  ASSERT_EQ(t.ScreenCount(), 5u);
  EXPECT_EQ(FirstShown(1), "LINE 18");
  EXPECT_EQ(FirstShown(2), "MENU 01");
  EXPECT_EQ(Shown(2)[5], "       ");  // lines past the end are blank
  EXPECT_EQ(FirstShown(3), "MENU 01");
  EXPECT_EQ(Shown(4), Shown(1));  // the first help, still fully drawn
  EXPECT_EQ(console::Console().window.windowDepth, 0);
}

TEST_F(HelpViewer, ControlBytesSwitchColoursAndTakeNoRoom) {
  std::string file;
  auto add = [&](std::string line) {
    line.resize(80, ' ');
    file += line;
  };
  add("ab\x1eword\x1e"
      "cd");
  add("\x1f\x1eword\x1e\x1fz");
  add("\x10rev\x10x");
  add("\x1e" + std::string(90, 'y'));
  WriteHelp("COLORS", file);
  platform::MemoryTerminal& t = mc_.terminal();
  t.PushCharacter(27);
  console::ShowHelp("COLORS");
  struct Expect {
    int16_t row, column;
    char character;
    uint8_t attribute;
  } cells[] = {
      {5, 3, 'a', kNormal},    {5, 5, 'w', kHighlight},  {5, 8, 'd', kHighlight},
      {5, 9, 'c', kNormal},    {6, 3, 'w', kField},      {6, 6, 'd', kField},
      {6, 7, 'z', kNormal},    {7, 3, 'r', kReverse},    {7, 6, 'x', kNormal},
      {8, 3, 'y', kHighlight}, {8, 78, 'y', kHighlight},
  };
  for (const Expect& e : cells) {
    EXPECT_EQ(t.ScreenCell(0, e.row, e.column).character, static_cast<uint8_t>(e.character))
        << e.row << "," << e.column;
    EXPECT_EQ(t.ScreenCell(0, e.row, e.column).attribute, e.attribute) << e.row << "," << e.column;
  }
  // At most 76 characters: the frame at column 80 is untouched.
  EXPECT_EQ(t.ScreenCell(0, 8, 79).character, ' ');
  EXPECT_EQ(t.ScreenCell(0, 8, 80).character, 0xBA);
}

TEST_F(HelpViewer, OddFilesGiveWhatTheyHoldAndNeverMore) {
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> shown;  // first rows expected (8 characters each)
  } cases[] = {
      {"85 bytes round to one line", HelpLines("ODD", 1) + "extra", {"ODD 01  ", "        "}},
      {"120 bytes round to two (1.5 to even)",
       HelpLines("ODD", 1) + std::string(40, 'q'),
       {"ODD 01  ", "qqqqqqqq", "        "}},
      {"200 bytes round to two (2.5 to even)",
       HelpLines("ODD", 2) + std::string(40, 'q'),
       {"ODD 01  ", "ODD 02  ", "        "}},
      {"NUL bytes are shown as cells",
       std::string("N\0L", 3) + std::string(77, '\0'),
       {std::string("N\0L", 3) + std::string(5, '\0'), "        "}},
      {"empty file", "", {"        ", "        "}},
  };
  for (const Case& c : cases) {
    MemoryConsole mc;
    ScopedCurrentDir cd(mc.dir().path());
    WriteFile(mc.dir() / "AJUDA/ODD.HLP", c.bytes);
    platform::MemoryTerminal& t = mc.terminal();
    t.RecordScreens(true);
    for (int key : {scan::kPageDown, scan::kEnd, scan::kDown})
      t.PushScan(static_cast<uint8_t>(key));
    t.PushCharacter(27);
    console::ShowHelp("ODD");
    ASSERT_EQ(t.ScreenCount(), 4u) << c.name;
    for (size_t i = 0; i < 4; ++i) {
      for (size_t r = 0; r < c.shown.size(); ++r) {
        EXPECT_EQ(t.ScreenLine(i, static_cast<int16_t>(5 + r)).substr(2, 8), c.shown[r])
            << c.name << " screen " << i << " row " << r;
      }
    }
    EXPECT_FALSE(t.Starved()) << c.name;
  }
}

TEST_F(HelpViewer, AMissingFileGivesAnEmptyWindowThatEscCloses) {
  platform::MemoryTerminal& t = mc_.terminal();
  t.PushScan(scan::kPageDown);
  t.PushCharacter(27);
  console::ShowHelp("NOWHERE");
  ASSERT_EQ(t.ScreenCount(), 2u);
  EXPECT_EQ(t.ScreenCell(1, 4, 1).character, 0xC9);
  EXPECT_EQ(t.ScreenLine(1, 5).substr(1, 78), std::string(78, ' '));
  EXPECT_EQ(t.Line(4), std::string(80, ' '));
}

TEST(HelpLauncher, TheCommandLineOfAWindowsSession) {
  ScopedEnv comspec("COMSPEC", "C:\\WINDOWS\\system32\\cmd.exe");
  EXPECT_EQ(console::HelpCommandLine("UXCARTES"),
            "C:\\WINDOWS\\system32\\cmd.exe /C UOBRIR AJUDA\\UXCARTES.HTM");
}

TEST(HelpLauncher, AWindowsSessionRunsTheLauncherAndWaitsForIt) {
  MemoryConsole mc;
  const std::string script = mc.dir() / "launcher.sh";
  const std::string record = mc.dir() / "args.txt";
  WriteFile(script, "#!/bin/sh\nprintf '%s|' \"$@\" > '" + record + "'\n");
  ::chmod(script.c_str(), 0755);
  ScopedEnv comspec("COMSPEC", script);
  session::Session().sessionKind = "WIN";
  mc.terminal().Write("screen");
  console::ShowHelp("UXCARTES; rm -rf x");
  EXPECT_EQ(ReadFile(record), "/C|UOBRIR|AJUDA\\UXCARTES; rm -rf x.HTM|");
  EXPECT_EQ(mc.terminal().Text(1, 1, 6), "screen");
  EXPECT_EQ(console::Console().window.windowDepth, 0);
}

}  // namespace
