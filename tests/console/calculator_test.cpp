#include "console/calculator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/console_state.h"
#include "format/format_state.h"
#include "tests/support/memory_console.h"

namespace {

using namespace testing_support;

constexpr int16_t kEnter = 13;
constexpr int16_t kBackspace = 8;

// Feeds keys to the state: every character of the text, as typed.
void Type(console::CalculatorState& s, const std::string& keys) {
  for (char ch : keys) console::CalculatorKey(s, static_cast<unsigned char>(ch));
}

const console::TapeLine& Tape(const console::CalculatorState& s, int line) {
  return s.tape[static_cast<size_t>(line - 1)];
}

struct SequenceCase {
  const char* name;
  std::string keys;
  double display;
  int16_t decimals;
  std::string pending;
  std::vector<console::TapeLine> newestTape;  // tape lines ending with line 22
};

TEST(CalculatorKeys, Sequences) {
  const SequenceCase cases[] = {
      {"2 + 3 =", "2+3=", 5, 0, "", {{2, 0, 0, "+"}, {3, 0, 0, "="}, {5, 0, 0, " "}}},
      {"7 / 2 = keeps one decimal", "7/2=", 3.5, 1, "", {{2, 0, 0, "="}, {3.5, -1, 1, " "}}},
      {"1 / 3 = has 15 decimals", "1/3=", 0.333333333333333, 15, "", {}},
      {"typed decimals show while typing", "1.50", 1.5, 2, "", {}},
      {"the tape keeps the typed decimals", "1.50+", 1.5, 1, "+", {{1.5, -1, 2, "+"}}},
      {"an operator repeated applies to the result",
       "5++",
       10,
       0,
       "+",
       {{5, 0, 0, "+"}, {5, 0, 0, "+"}}},
      {"percent of the pending sum", "200+10%", 20, 0, "+", {{200, 0, 0, "+"}, {10, 0, 0, "%"}}},
      {"percent then =", "200+10%=", 220, 0, "", {{20, 0, 0, "="}, {220, 0, 0, " "}}},
      {"percent without a sum divides by 100", "50%", 0.5, 1, "", {{50, 0, 0, "%"}}},
      {"rounding, a half on an even whole stays", "0.125R", 0.12, 2, "", {{0.12, -1, 2, "R"}}},
      {"rounding, a half on an odd whole goes up", "0.375R", 0.38, 2, "", {}},
      {"rounding a negative value cuts toward zero", "0.126TR", -0.12, 2, "", {}},
      {"T changes the sign", "12T", -12, 0, "", {}},
      {"Enter is =", std::string("4*5") + static_cast<char>(kEnter), 20, 0, "", {}},
      {"= without an entry does nothing", "4*5==", 20, 0, "", {{5, 0, 0, "="}, {20, 0, 0, " "}}},
      {"dividing by zero leaves the accumulator",
       "5/0=",
       5,
       0,
       "",
       {{0, 0, 0, "="}, {5, 0, 0, " "}}},
      {"C during an entry brings the accumulator back", "5+3C", 5, 0, "+", {{5, 0, 0, "+"}}},
      {"subtraction and multiplication", "10-4*3=", 18, 0, "", {}},
      {"backspace without a point",
       std::string("123") + static_cast<char>(kBackspace),
       12,
       0,
       "",
       {}},
      {"backspace drops a decimal",
       std::string("1.25") + static_cast<char>(kBackspace),
       1.2,
       1,
       "",
       {}},
  };
  for (const SequenceCase& c : cases) {
    console::CalculatorState s;
    Type(s, c.keys);
    EXPECT_DOUBLE_EQ(s.displayValue, c.display) << c.name;
    EXPECT_EQ(s.decimals, c.decimals) << c.name;
    EXPECT_EQ(s.pendingOperator, c.pending) << c.name;
    const size_t n = c.newestTape.size();
    for (size_t i = 0; i < n; ++i) {
      const console::TapeLine& got = s.tape[console::kTapeLines - n + i];
      EXPECT_DOUBLE_EQ(got.value, c.newestTape[i].value) << c.name << " tape " << i;
      EXPECT_EQ(got.pointTyped != 0, c.newestTape[i].pointTyped != 0) << c.name << " tape " << i;
      EXPECT_EQ(got.decimals, c.newestTape[i].decimals) << c.name << " tape " << i;
      EXPECT_EQ(got.op, c.newestTape[i].op) << c.name << " tape " << i;
    }
  }
}

TEST(CalculatorKeys, BackspaceDownToNothingEndsTheEntry) {
  console::CalculatorState s;
  Type(s, "1.5");
  console::CalculatorKey(s, kBackspace);  // 1.
  EXPECT_EQ(s.decimals, 0);
  EXPECT_NE(s.pointTyped, 0);
  console::CalculatorKey(s, kBackspace);  // the point goes
  EXPECT_EQ(s.pointTyped, 0);
  EXPECT_NE(s.entryInProgress, 0);
  console::CalculatorKey(s, kBackspace);  // 0
  EXPECT_EQ(s.displayValue, 0);
  EXPECT_EQ(s.entryInProgress, 0);
}

TEST(CalculatorKeys, ClearTwiceAfterAResultClearsValuesThenTheTapeDisplay) {
  console::CalculatorState s;
  Type(s, "2+3=");
  EXPECT_EQ(s.firstVisible, 20);
  console::CalculatorKey(s, 'C');
  EXPECT_EQ(s.displayValue, 0);
  EXPECT_EQ(s.accumulator, 0);
  EXPECT_NE(s.clearPressed, 0);
  EXPECT_EQ(s.firstVisible, 20);
  console::CalculatorKey(s, 'C');
  EXPECT_EQ(s.firstVisible, console::kNoTapeShown);
  EXPECT_EQ(Tape(s, 22).value, 5) << "the tape stays in the state";
}

TEST(CalculatorKeys, TheTwentyThirdTapeLinePushesTheOldestOut) {
  console::CalculatorState s;
  for (int i = 1; i <= 23; ++i) Type(s, std::to_string(i) + "+");
  EXPECT_EQ(Tape(s, 1).value, 2);
  EXPECT_EQ(Tape(s, 22).value, 23);
  EXPECT_EQ(s.firstVisible, 2) << "at most 21 lines shown, the top rule on row 1";
}

TEST(CalculatorResult, ValueInHundredthsWithoutSign) {
  struct Case {
    const char* keys;
    const char* result;
  } cases[] = {
      {"12.5", "1250"}, {"7", "700"},
      {"0.05", "5"},    {"1.234", "123.4"},
      {"", "0"},        {"12.5T", "1250"},
      {"2+3=", "500"},  {"0.0005", ".05"},
      {"7/2=", "350"},  {"1/3=", "33.3333333333333"},
  };
  for (const auto& c : cases) {
    console::CalculatorState s;
    Type(s, c.keys);
    EXPECT_EQ(console::CalculatorResult(s), c.result) << c.keys;
  }
}

TEST(CalculatorNumber, TwentyTwoCharactersWithTheTypedDecimals) {
  MemoryConsole mc;
  format::State().numberFormat = {'.', ','};
  struct Case {
    double value;
    int16_t point, decimals;
    const char* tail;
  } cases[] = {{5, 0, 0, " 5"},
               {1.5, -1, 2, "1.50"},
               {1234567, 0, 0, "1,234,567"},
               {0.5, -1, 1, " 0.5"},
               {-12, 0, 0, "12"}};
  for (const auto& c : cases) {
    const std::string text = console::CalculatorNumber(c.value, c.point, c.decimals);
    EXPECT_EQ(text.size(), 22u) << c.value;
    const std::string tail = c.tail;
    EXPECT_EQ(text.substr(22 - tail.size()), tail) << "[" << text << "]";
  }
  EXPECT_EQ(console::CalculatorNumber(-12, 0, 0).front(), '-');
}

class CalculatorFile : public ::testing::Test {
 protected:
  std::string Path() const { return mc_.dir() / "ZURCALC.TMP"; }
  MemoryConsole mc_;
};

TEST_F(CalculatorFile, TheStateSurvivesAWriteAndARead) {
  console::CalculatorState s;
  Type(s, "1/3=12.5");
  s.column = 30;
  ASSERT_TRUE(console::SaveCalculatorState(Path(), s));
  const console::CalculatorState back = console::LoadCalculatorState(Path());
  EXPECT_EQ(back, s);
  const std::string text = *ReadFile(Path());
  EXPECT_EQ(text.substr(0, text.find("\r\n")).substr(0, 23), "30,20,12.5,0.3333333333");
  EXPECT_NE(text.find("\r\n\"\",\"\"\r\n"), std::string::npos) << text;
}

TEST_F(CalculatorFile, AnythingButASoundStateGivesTheEmptyState) {
  console::CalculatorState good;
  Type(good, "2+3=");
  ASSERT_TRUE(console::SaveCalculatorState(Path(), good));
  const std::string valid = *ReadFile(Path());
  std::string thousand;
  for (int i = 0; i < 1000; ++i) thousand += "1,0,0,\"+\"\r\n";
  const std::string cases[] = {
      "",
      "garbage",
      std::string("\0\xff\x01,\"", 5),
      valid + thousand,                                   // 1000 more tape lines
      valid.substr(0, valid.size() - 20),                 // cut short
      "99" + valid.substr(valid.find(',')),               // column off the screen
      "1,1" + valid.substr(valid.find(',', 2)),           // first visible 1
      "nan" + valid.substr(valid.find(',')),              // not a number
      "1,23,1e999,0" + valid.substr(valid.find("\r\n")),  // infinite
      std::string(100000, '"'),                           // unterminated texts
      std::string(200000, '9'),                           // one endless number
  };
  for (const std::string& bytes : cases) {
    WriteFile(Path(), bytes);
    EXPECT_EQ(console::LoadCalculatorState(Path()), console::CalculatorState{})
        << bytes.substr(0, 40);
  }
  EXPECT_EQ(console::LoadCalculatorState(mc_.dir() / "missing.tmp"), console::CalculatorState{});
}

TEST_F(CalculatorFile, ShowCalculatorDrawsTheTapeAndKeepsItForNextTime) {
  platform::MemoryTerminal& t = mc_.terminal();
  t.RecordScreens(true);
  t.Write("under");
  t.PushText("2+3=");
  t.PushCharacter('f');
  EXPECT_EQ(console::ShowCalculator(), "500");
  ASSERT_EQ(t.ScreenCount(), 5u);
  // Before "f": tape lines 20 .. 22 under a rule on row 19.
  EXPECT_EQ(t.ScreenCell(4, 19, 1).character, 0xDA);
  EXPECT_EQ(t.ScreenCell(4, 19, 26).character, 0xBF);
  EXPECT_EQ(t.ScreenLine(4, 20).substr(0, 26), "\xB3                     2 +\xB3");
  EXPECT_EQ(t.ScreenLine(4, 21).substr(0, 26), "\xB3                     3 =\xB3");
  EXPECT_EQ(t.ScreenLine(4, 22).substr(0, 26), "\xB3                     5  \xB3");
  EXPECT_EQ(t.ScreenCell(4, 23, 1).character, 0xC3);
  EXPECT_EQ(t.ScreenLine(4, 24).substr(0, 26), "\xB3                     5  \xB3");
  EXPECT_EQ(t.ScreenCell(4, 25, 1).character, 0xC0);
  EXPECT_EQ(t.ScreenCell(4, 24, 2).attribute, kNormal);
  EXPECT_EQ(t.ScreenLine(4, 1).substr(0, 5), "under");
  // Closed: the screen is back, the cursor on, the colour and key lists restored.
  EXPECT_EQ(t.Line(24), std::string(80, ' '));
  EXPECT_EQ(t.Text(1, 1, 5), "under");
  EXPECT_TRUE(t.CursorVisible());
  EXPECT_EQ(console::Console().colourStack, "");
  EXPECT_EQ(console::Console().window.windowDepth, 0);

  // Opened again: the same tape and display, and Esc gives no result.
  t.PushCharacter(27);
  EXPECT_EQ(console::ShowCalculator(), "");
  ASSERT_EQ(t.ScreenCount(), 6u);
  for (int16_t r = 19; r <= 25; ++r) EXPECT_EQ(t.ScreenLine(5, r), t.ScreenLine(4, r)) << r;
  EXPECT_FALSE(t.Starved());
}

TEST_F(CalculatorFile, LeftAndRightMoveTheCalculatorAndWrapAtTheEdges) {
  platform::MemoryTerminal& t = mc_.terminal();
  t.RecordScreens(true);
  t.PushScan(platform::scan::kLeft);                       // from column 1 to 55
  t.PushScan(platform::scan::kRight);                      // from 55 back to 1
  t.PushScan(platform::scan::kRight);                      // to 2
  t.PushScan(platform::scan::kLeft, platform::kLeftCtrl);  // Ctrl+Left, back to 1
  t.PushCharacter(27);
  console::ShowCalculator();
  ASSERT_EQ(t.ScreenCount(), 5u);
  const int16_t columns[] = {1, 55, 1, 2, 1};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(t.ScreenCell(i, 25, columns[i]).character, 0xC0) << i;
    EXPECT_EQ(t.ScreenCell(i, 25, static_cast<int16_t>(columns[i] + 25)).character, 0xD9) << i;
  }
  EXPECT_EQ(t.ScreenCell(1, 25, 1).character, ' ') << "the old place is restored";
  EXPECT_EQ(console::LoadCalculatorState(Path()).column, 1);
}

TEST_F(CalculatorFile, ClearingTheTapeDisplayPutsBackTheScreenUnderIt) {
  platform::MemoryTerminal& t = mc_.terminal();
  t.RecordScreens(true);
  t.MoveCursor(10, 1);
  t.Write("behind the tape");
  t.PushText("2+3=cc");
  t.PushCharacter(27);
  console::ShowCalculator();
  ASSERT_EQ(t.ScreenCount(), 7u);
  EXPECT_NE(t.ScreenLine(5, 19).substr(0, 1), " ");  // the tape still shows after one C
  EXPECT_EQ(t.ScreenLine(6, 10).substr(0, 15), "behind the tape");
  EXPECT_EQ(t.ScreenLine(6, 19).substr(0, 26), std::string(26, ' '));
  EXPECT_EQ(t.ScreenCell(6, 23, 1).character, 0xDA) << "no tape: a top corner over the entry";
}

}  // namespace
