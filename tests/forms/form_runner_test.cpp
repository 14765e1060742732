#include "forms/form_runner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/console_state.h"
#include "forms/form_model.h"
#include "forms/keys.h"
#include "session/session.h"
#include "tests/forms/form_files.h"
#include "tests/support/memory_console.h"

namespace {

using namespace form_files;
using testing_support::MemoryConsole;
namespace scan = platform::scan;

constexpr int16_t kPlain = 2;     // four fields, the second display only
constexpr int16_t kLinked = 3;    // two fields in a window, run from kChained
constexpr int16_t kChained = 4;   // kPlain's fields, with kLinked as its next screen
constexpr int16_t kShowOnly = 5;  // display-only fields only
constexpr int16_t kBlanks = 6;    // edited from blanks, hidden input

// Enter, Esc, the arrows and page keys, F2, F4, and F10 delivered as the accept code.
const std::string kKeys = "d,1b,4800,5000,4900,5100,3c00,3e00,4400=2";

// What the screen hook saw, and what it answers.
struct HookLog {
  std::vector<std::pair<int16_t, int16_t>> calls;  // (screen, key)
  std::vector<std::string> editTexts;
  int refusals = 0;  // answers nonzero this many times first
};
HookLog& Log() {
  static HookLog log;
  return log;
}
int16_t RecordingHook(int16_t& screen, int16_t& key) {
  Log().calls.push_back({screen, key});
  Log().editTexts.push_back(forms::Runner().editText);
  if (Log().refusals > 0) {
    --Log().refusals;
    return -1;
  }
  return 0;
}

class FormRunner : public ::testing::Test {
 protected:
  void SetUp() override {
    Log() = HookLog{};
    forms::SetRunScreenHook(RecordingHook);
    S plain;
    plain.keyList = kKeys;
    plain.fields = {{3, 1, "Un ", 5},
                    {4, 1, "Dos ", 5, 0, 0, 4},
                    {5, 1, "Tres ", 5},
                    {6, 1, "Quatre ", 2, 0, 0, 0, 7}};
    S linked;
    linked.keyList = kKeys;
    linked.box = {10, 10, 16, 70};
    linked.fields = {{1, 2, "A ", 5}, {2, 2, "B ", 5}};
    S chained = plain;
    chained.next = kLinked;
    S showOnly;
    showOnly.fields = {{2, 1, "X ", 3, 0, 0, 4}};
    S blanks;
    blanks.keyList = kKeys;
    blanks.fields = {{2, 1, "Keep ", 5, 0, 0, 1}, {3, 1, "Pass ", 5, 0, 0, 2}};
    std::string message;
    ASSERT_EQ(LoadForm(mc.dir(),
                       FormText({FillerScreen(), plain, linked, chained, showOnly, blanks}, {L{}}),
                       message),
              forms::kFormLoaded)
        << message;
  }
  void TearDown() override {
    forms::SetRunScreenHook(nullptr);
    forms::ResetRunner();
    forms::ResetForm();
  }

  platform::MemoryTerminal& t() { return mc.terminal(); }
  void Type(const std::string& text) { t().PushText(text); }
  void Enter() { t().PushCharacter(13); }
  void Esc() { t().PushCharacter(27); }
  void Key(uint8_t s) { t().PushScan(s); }

  int16_t Run(int16_t screen, int16_t key = 0, int16_t upExit = 0, int16_t downExit = 0) {
    forms::RunScreen(screen, upExit, downExit, key);
    EXPECT_FALSE(t().Starved()) << "the runner waited past the script";
    EXPECT_EQ(t().PendingEvents(), 0u) << "keys left unread";
    return key;
  }
  std::string Value(int16_t screen, int16_t field) {
    return forms::FindField(screen, field)->value;
  }

  MemoryConsole mc;
};

TEST_F(FormRunner, RunsFromTheFirstFieldToTheEnd) {
  Type("one");
  Enter();
  Type("three");
  Enter();
  Type("42");
  Enter();
  EXPECT_EQ(Run(kPlain), forms::kKeyEnter);
  EXPECT_EQ(Value(kPlain, 1), "one  ");
  EXPECT_EQ(Value(kPlain, 2), "     ");  // display only: passed over
  EXPECT_EQ(Value(kPlain, 3), "three");
  EXPECT_EQ(Value(kPlain, 4), "42");
  ASSERT_EQ(Log().calls.size(), 1u);
  EXPECT_EQ(Log().calls[0], (std::pair<int16_t, int16_t>{kPlain, forms::kKeyEnter}));
  EXPECT_EQ(Log().editTexts[0], "42");
  // The shared values and the key lists are as before once the screen has ended.
  EXPECT_EQ(forms::Runner().editText, "");
  EXPECT_EQ(forms::Runner().editScreen, 0);
  EXPECT_EQ(forms::Runner().editField, 0);
  EXPECT_TRUE(forms::Input().activeKeys.empty());
  EXPECT_TRUE(forms::Input().savedLists.empty());
}

TEST_F(FormRunner, DownOnTheLastFieldDoesNothingAndUpGoesBackOverDisplayOnly) {
  Enter();           // field 1
  Enter();           // field 3
  Key(scan::kDown);  // field 4, the last: Down does nothing
  Key(scan::kDown);
  Type("7");
  Key(scan::kUp);  // back to field 3, over nothing
  Key(scan::kUp);  // to field 1, over the display-only field 2
  Type("x");
  Key(scan::kUp);  // top level: Up on the first field does nothing
  Esc();           // Esc on the first field ends the screen
  EXPECT_EQ(Run(kPlain), forms::kKeyEsc);
  EXPECT_EQ(Value(kPlain, 4), "7 ");
  EXPECT_EQ(Value(kPlain, 1), "x    ");
}

TEST_F(FormRunner, ARefusedEntryBeepsAndIsEditedAgainFromTheRefusedText) {
  Enter();
  Enter();
  Type("0");  // kind 7 refuses 0
  Enter();
  Key(scan::kEnd);  // the refused text is still there: End goes after the 0
  Type("5");        // "05" is accepted
  Enter();
  EXPECT_EQ(Run(kPlain), forms::kKeyEnter);
  EXPECT_EQ(t().Beeps(), 1);
  EXPECT_EQ(Value(kPlain, 4), "05");
}

TEST_F(FormRunner, EscFromTheThirdFieldGoesToTheFirstThenEnds) {
  Type("a");
  Enter();
  Type("b");
  Enter();
  Type("9");
  Esc();  // on the last editable field: to the first, 9 dropped
  Esc();  // on the first: end
  EXPECT_EQ(Run(kPlain), forms::kKeyEsc);
  EXPECT_EQ(Value(kPlain, 1), "a    ");
  EXPECT_EQ(Value(kPlain, 3), "b    ");
  EXPECT_EQ(Value(kPlain, 4), "  ");
  EXPECT_EQ(t().Text(6, 8, 9), " 0");  // the stored (blank) value shows again, not the 9
  ASSERT_EQ(Log().calls.size(), 1u);
  EXPECT_EQ(Log().calls[0].second, forms::kKeyEsc);
}

TEST_F(FormRunner, LinkedScreensRunAfterTheLastFieldAndOnF2) {
  Enter();
  Enter();
  Type("1");
  Enter();  // last field of screen 4: screen 3 runs
  Type("in3");
  Key(scan::kUp);  // Up on the linked screen's first field: back, as Esc
  Enter();         // on screen 4's last field again: screen 3 again
  Esc();           // Esc there: back again
  Type("2");
  Key(scan::kUp);      // the operator was on field 4: 2 is stored there, on to field 3
  Key(scan::kF1 + 1);  // F2 on field 3: screen 3 at once
  Enter();
  Type("b");
  Enter();  // past screen 3's last field: Enter ends both screens
  EXPECT_EQ(Run(kChained), forms::kKeyEnter);
  EXPECT_EQ(Value(kChained, 4), "2 ");
  EXPECT_EQ(Value(kLinked, 1), "in3  ");  // stored by Up on it
  EXPECT_EQ(Value(kLinked, 2), "b    ");
  // The window of the linked screen is gone.
  EXPECT_EQ(console::Console().window.windowDepth, 0);
  std::vector<int16_t> screens;
  for (const auto& c : Log().calls) screens.push_back(c.first);
  EXPECT_EQ(screens, (std::vector<int16_t>{kLinked, kLinked, kLinked, kChained}));
}

TEST_F(FormRunner, PageKeysLeaveALinkedChainAndComeBackToIt) {
  Key(scan::kF1 + 1);    // F2: into screen 3
  Key(scan::kPageDown);  // to its last field
  Key(scan::kPageDown);  // on the last field with downExit: leaves the chain
  EXPECT_EQ(Run(kChained, 0, 0, 1), forms::kKeyPageDown);
  EXPECT_EQ(forms::Runner().leftAtScreen, kLinked);
  // Running the chain again goes straight on to the screen that was left.
  Type("back");
  Enter();
  Enter();
  EXPECT_EQ(Run(kChained, 0, 0, 1), forms::kKeyEnter);
  EXPECT_EQ(Value(kLinked, 1), "back ");
  EXPECT_EQ(forms::Runner().leftAtScreen, 0);
}

TEST_F(FormRunner, AScreenWithoutEditableFieldsGoesStraightToTheHook) {
  EXPECT_EQ(Run(kShowOnly, 0x4400), 0x4400);
  ASSERT_EQ(Log().calls.size(), 1u);
  EXPECT_EQ(Log().calls[0].second, 0x4400);
  EXPECT_EQ(t().Text(2, 1, 2), "X ");
  // Even when the hook asks to go back, there is nothing to go back to.
  Log().refusals = 5;
  EXPECT_EQ(Run(kShowOnly, 0x4400), 0x4400);
}

TEST_F(FormRunner, TheHookSendsTheOperatorBackIntoTheScreen) {
  Log().refusals = 1;
  Type("a");
  Key(scan::kF10);
  Type("b");
  Key(scan::kF10);
  EXPECT_EQ(Run(kPlain), forms::kKeyAccept);
  EXPECT_EQ(Log().calls.size(), 2u);
  EXPECT_EQ(Value(kPlain, 1), "b    ");
}

TEST_F(FormRunner, BlankEntriesKeepTheValueAndHiddenInputIsNeverShown) {
  forms::StoreFieldValue(*forms::FindField(kBlanks, 1), "old");
  Enter();     // left blank: keeps "old"
  Type("pw");  // hidden
  Enter();
  EXPECT_EQ(Run(kBlanks), forms::kKeyEnter);
  EXPECT_EQ(Value(kBlanks, 1), "old  ");
  EXPECT_EQ(Value(kBlanks, 2), "pw   ");
  EXPECT_EQ(t().Text(3, 1, 12), "Pass XXXXX  ");  // the echo, never the value
  EXPECT_EQ(forms::Input().maskChar, 0);          // hidden mode is off again
}

TEST_F(FormRunner, HiddenInputEchoesX) {
  forms::StoreFieldValue(*forms::FindField(kBlanks, 2), "secret");
  t().RecordScreens(true);
  Enter();
  Type("p");
  Enter();
  Run(kBlanks);
  // When the Enter after "p" was pressed, the field showed only X.
  EXPECT_EQ(t().ScreenLine(2, 3).substr(5, 5), "XXXXX");
  EXPECT_EQ(Value(kBlanks, 2), "p    ");
}

TEST_F(FormRunner, ClicksOnLabelsMoveAndClicksOnDisplayOnlyFieldsDoNot) {
  t().PushMouseRelease(5, 2, 1);  // on the label of field 3
  Type("c");
  t().PushMouseRelease(4, 7, 1);  // on display-only field 2: nothing changes
  Type("d");
  t().PushMouseRelease(20, 70, 1);  // on nothing
  Key(scan::kF10);
  EXPECT_EQ(Run(kPlain), forms::kKeyAccept);
  EXPECT_EQ(Value(kPlain, 1), "     ");
  // Still on field 3: "c" was stored by the click, and "d" typed over it afterwards.
  EXPECT_EQ(Value(kPlain, 3), "d    ");
  EXPECT_EQ(Value(kPlain, 2), "     ");
}

TEST_F(FormRunner, ClicksInsideAWindowAreRelativeToIt) {
  // Screen 3's window starts at row 10, column 10: field 2 "B " is on row 12 from
  // column 12, its value from column 14.
  t().PushMouseRelease(12, 12, 1);
  Type("w");
  Key(scan::kF10);
  EXPECT_EQ(Run(kLinked), forms::kKeyAccept);
  EXPECT_EQ(Value(kLinked, 2), "w    ");
}

TEST_F(FormRunner, F1ShowsTheMenusHelpAndTheFieldIsEditedAgain) {
  testing_support::ScopedCurrentDir here(mc.dir().path());
  testing_support::WriteFile(mc.dir() / "AJUDA/TEMA.HLP",
                             std::string("Ajuda del tema") + std::string(66, ' '));
  session::Session().menuName = "TEMA  ";
  t().RecordScreens(true);
  Type("lost");
  Key(scan::kF1);
  Esc();  // leaves the help
  Key(scan::kF10);
  EXPECT_EQ(Run(kPlain), forms::kKeyAccept);
  EXPECT_EQ(Value(kPlain, 1), "     ");  // text typed before F1 is not kept
  bool shown = false;
  for (size_t i = 0; i < t().ScreenCount(); ++i) {
    for (int16_t r = 1; r <= 25; ++r) {
      if (t().ScreenLine(i, r).find("Ajuda del tema") != std::string::npos) shown = true;
    }
  }
  EXPECT_TRUE(shown);
}

TEST_F(FormRunner, AScreenThatDoesNotExistReturnsTheKeyUnchanged) {
  EXPECT_EQ(Run(40, 77), 77);
  EXPECT_EQ(Run(0, 77), 77);
  EXPECT_TRUE(Log().calls.empty());
}

}  // namespace
