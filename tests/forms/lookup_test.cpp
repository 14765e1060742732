#include "forms/lookup.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "console/console_state.h"
#include "forms/form_model.h"
#include "forms/form_runner.h"
#include "forms/keys.h"
#include "platform/binary_file.h"
#include "records/record_access.h"
#include "session/session.h"
#include "tests/forms/form_files.h"
#include "tests/forms/record_fixture.h"
#include "tests/support/memory_console.h"

namespace {

using namespace form_files;
using namespace record_fixture;
using testing_support::MemoryConsole;
namespace scan = platform::scan;

constexpr int16_t kTexts = 1;       // texts by group, filter screen 3
constexpr int16_t kProperties = 2;  // page of 5 rows
constexpr int16_t kOwners = 3;      // owners of the property in screen 1 field 3
constexpr int16_t kNarrow = 5;      // properties in a window narrower than a line
constexpr int16_t kWorkFile = 6;    // the entries of Browse.tmp, no record file
constexpr int16_t kWithNested = 7;  // properties, F4 opens kProperties

class LookupWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    forms::ResetLookupHooks();
    S pick;  // screen 2
    pick.keyList = "d,1b,4800,5000,3e00";
    pick.fields = {{2, 1, "Finca ", 3, 0, 0, 0, 0, kProperties},
                   {3, 1, "Propietari ", 3, 0, 0, 0, 0, kOwners}};
    S filter;  // screen 3
    filter.keyList = "d,1b";
    filter.box = {5, 20, 9, 60};
    filter.fields = {{2, 2, "Grup ", 8}};
    const std::vector<L> lookups = {
        {60, 1, {3, 5, 12, 75}, 3, "_Textos_", 0},
        {511, 0, {3, 10, 9, 60}, 0, "  _Finques_", 0},
        {513, 0, {3, 10, 9, 70}, 0, "Propietaris", 0},
        {513, 0, {3, 10, 9, 70}, 0, "Propietaris", 0},
        {511, 0, {3, 10, 9, 30}, 0, "_Finques_amb_un_titol_llarg", 0},
        {0, 0, {3, 10, 9, 60}, 0, "Entrades", 0},
        {511, 0, {3, 10, 9, 60}, 0, "Amb niu", kProperties},
    };
    std::string message;
    ASSERT_EQ(LoadForm(mc.dir(), FormText({FillerScreen(), pick, filter}, lookups), message),
              forms::kFormLoaded)
        << message;
  }
  void TearDown() override {
    CloseAll();
    forms::ResetLookupHooks();
    forms::ResetRunner();
    forms::ResetForm();
  }

  void MakeProperties(int count) {
    std::vector<std::string> recs;
    for (int i = 1; i <= count; ++i) {
      recs.push_back(PropertyRecord(i, "Carrer " + std::to_string(i) + " de la finca llarga"));
    }
    MakeFile(mc.dir().path(), records::kPropertiesFile, recs);
    ASSERT_EQ(OpenFile(mc.dir().path(), records::kPropertiesFile, buffers.properties), 0);
  }

  int16_t PropertyInBuffer() {
    return static_cast<int16_t>(std::stoi(platform::UnpackDigits(
        records::FieldText(buffers.properties, records::PropertyRecord::propertyNumber))));
  }

  // Keys typed one by one, each after the window has finished reading (the reading
  // looks at the keyboard once per record and sees nothing then); typedAhead: keys
  // waiting before the window opens.
  void Keys(const std::vector<uint8_t>& scans, bool typedAhead = false) {
    for (uint8_t s : scans) {
      if (!typedAhead) {
        for (int i = 0; i < 20; ++i) mc.terminal().PushIdle(0);
      }
      if (s == 13 || s == 27) {
        mc.terminal().PushCharacter(s);
      } else {
        mc.terminal().PushScan(s);
      }
    }
  }

  int16_t Open(int16_t lookup) {
    int16_t result = 99;
    forms::LookupWindow(lookup, result);
    EXPECT_FALSE(mc.terminal().Starved()) << "the window waited past the script";
    return result;
  }

  // Row r of the window's inside (1-based) as it stood when the last key was taken.
  std::string ShownRow(int16_t r, int16_t top = 3, int16_t left = 10, int16_t right = 60) {
    const platform::MemoryTerminal& t = mc.terminal();
    return t.ScreenLine(t.ScreenCount() - 1, static_cast<int16_t>(top + r))
        .substr(static_cast<size_t>(left), static_cast<size_t>(right - left - 1));
  }
  uint8_t ShownAttribute(int16_t r, int16_t top = 3, int16_t left = 10) {
    const platform::MemoryTerminal& t = mc.terminal();
    return t
        .ScreenCell(t.ScreenCount() - 1, static_cast<int16_t>(top + r),
                    static_cast<int16_t>(left + 1))
        .attribute;
  }

  MemoryConsole mc;
  Buffers buffers;
};

constexpr uint8_t kEnterKey = 13;
constexpr uint8_t kEscKey = 27;

TEST_F(LookupWindowTest, MovesAtBothEndsOfTheList) {
  MakeProperties(12);
  struct Case {
    const char* name;
    std::vector<uint8_t> keys;
    int16_t chosen;
    int16_t row;  // highlighted row when Enter was pressed
  } cases[] = {
      {"Enter at once", {}, 1, 1},
      {"Up on the first entry", {scan::kUp}, 1, 1},
      {"PgUp on the first page", {scan::kPageUp}, 1, 1},
      {"Down", {scan::kDown, scan::kDown}, 3, 3},
      {"Down past the page scrolls by one",
       {scan::kDown, scan::kDown, scan::kDown, scan::kDown, scan::kDown},
       6,
       5},
      {"Up at the top row scrolls back", {scan::kPageDown, scan::kUp}, 5, 1},
      {"PgDn", {scan::kPageDown}, 6, 1},
      {"PgDn to the short last page", {scan::kDown, scan::kPageDown, scan::kPageDown}, 12, 2},
      {"PgDn on the last page", {scan::kPageDown, scan::kPageDown, scan::kPageDown}, 11, 1},
      {"Down on the last entry",
       {scan::kPageDown, scan::kPageDown, scan::kDown, scan::kDown, scan::kDown},
       12,
       2},
      {"PgUp back to the first page", {scan::kPageDown, scan::kPageDown, scan::kPageUp}, 6, 1},
      // Page 4 .. 8 with entry 7 on row 4: PgUp moves the entry back 5, to 2, and the page
      // can go back only 3 entries: the page is 1 .. 5 and entry 2 stays highlighted.
      {"PgUp near the start",
       {scan::kDown, scan::kDown, scan::kDown, scan::kDown, scan::kDown, scan::kDown, scan::kDown,
        scan::kUp, scan::kPageUp},
       2,
       2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    mc.terminal().RecordScreens(true);
    Keys(c.keys);
    Keys({kEnterKey});
    ASSERT_EQ(Open(kProperties), 0);
    EXPECT_EQ(PropertyInBuffer(), c.chosen);
    char expected[16];
    std::snprintf(expected, sizeof expected, "%03d  ", c.chosen);
    EXPECT_EQ(ShownRow(c.row).substr(0, 5), expected);
    EXPECT_EQ(ShownAttribute(c.row), testing_support::kField);
    // Every window is gone again.
    EXPECT_EQ(console::Console().window.windowDepth, 0);
    EXPECT_TRUE(forms::Input().activeKeys.empty());
  }
}

TEST_F(LookupWindowTest, EscReturnsNothingAndAnEmptyListChoosesNothing) {
  MakeProperties(3);
  Keys({scan::kDown, kEscKey});
  EXPECT_EQ(Open(kProperties), -1);
  // No owners at all: blank rows, and Enter chooses nothing.
  MakeFile(mc.dir().path(), records::kOwnersFile, {});
  ASSERT_EQ(OpenFile(mc.dir().path(), records::kOwnersFile, buffers.owners), 0);
  mc.terminal().RecordScreens(true);
  Keys({scan::kDown, scan::kPageDown, kEnterKey});
  EXPECT_EQ(Open(kOwners), -1);
  EXPECT_EQ(ShownRow(1, 3, 10, 70), std::string(59, ' '));
}

TEST_F(LookupWindowTest, AStartKeyListsOnlyTheRecordsThatBeginWithIt) {
  MakeFile(mc.dir().path(), records::kOwnersFile,
           {OwnerRecord(1, 1, "Serra*Anna", "1r 1a"), OwnerRecord(2, 1, "Puig*Joan", "Baixos"),
            OwnerRecord(2, 7, "Vidal*Pere", "2n"), OwnerRecord(3, 1, "Roca*Marta", "")});
  ASSERT_EQ(OpenFile(mc.dir().path(), records::kOwnersFile, buffers.owners), 0);
  forms::StoreFieldValue(*forms::FindField(1, 3), "2");
  mc.terminal().RecordScreens(true);
  Keys({scan::kDown, scan::kDown, scan::kDown, kEnterKey});
  ASSERT_EQ(Open(kOwners), 0);
  EXPECT_EQ(ShownRow(1, 3, 10, 70).substr(0, 47),
            "001  Puig*Joan" + std::string(21, ' ') + "  Baixos    ");
  EXPECT_EQ(ShownRow(2, 3, 10, 70).substr(0, 9), "007  Vida");
  EXPECT_EQ(ShownRow(3, 3, 10, 70), std::string(59, ' '));
  EXPECT_EQ(records::FieldText(buffers.owners, records::OwnerRecord::ownerName).substr(0, 5),
            "Vidal");
  // The last property's list runs to the end of the file.
  forms::StoreFieldValue(*forms::FindField(1, 3), "3");
  Keys({scan::kDown, kEnterKey});
  ASSERT_EQ(Open(kOwners), 0);
  EXPECT_EQ(records::FieldText(buffers.owners, records::OwnerRecord::ownerName).substr(0, 4),
            "Roca");
}

TEST_F(LookupWindowTest, TextsByGroupShowTheGroupOnItsFirstEntry) {
  MakeFile(
      mc.dir().path(), records::kTextsFile,
      {TextRecord("CIRC", "Circular", "CARTES"), TextRecord("CONVOCA", "Convocatoria", "CARTES"),
       TextRecord("PEU", "Peu", "ALTRES"), TextRecord("RECORDA", "Recordatori", "CARTES")});
  ASSERT_EQ(OpenFile(mc.dir().path(), records::kTextsFile, buffers.texts), 0);
  mc.terminal().RecordScreens(true);
  // The filter screen asks for the group first.
  mc.terminal().PushText("cartes");
  Keys({kEnterKey, scan::kDown, kEnterKey});
  ASSERT_EQ(Open(kTexts), 0);
  EXPECT_EQ(ShownRow(1, 3, 5, 75).substr(0, 40), "CARTES    CIRC      Circular            ");
  EXPECT_EQ(ShownRow(2, 3, 5, 75).substr(0, 40), "          CONVOCA   Convocatoria        ");
  EXPECT_EQ(ShownRow(3, 3, 5, 75).substr(0, 40), "          RECORDA   Recordatori         ");
  EXPECT_EQ(ShownRow(4, 3, 5, 75), std::string(69, ' '));
  EXPECT_EQ(records::FieldText(buffers.texts, records::TextEntryRecord::code), "CONVOCA ");
  // Esc on the filter screen ends the window before it opens.
  Keys({kEscKey});
  EXPECT_EQ(Open(kTexts), -1);
}

TEST_F(LookupWindowTest, EscWhileFillingStopsTheReadingAndOtherKeysAreKept) {
  MakeProperties(12);
  // An Esc typed ahead is seen while the first page is read: the list ends there.
  Keys({kEscKey, scan::kDown, scan::kPageDown, kEnterKey}, true);
  ASSERT_EQ(Open(kProperties), 0);
  EXPECT_EQ(PropertyInBuffer(), 1);
  EXPECT_EQ(platform::FileLength(forms::BrowseFilePath()), 10 + 32);
  // Keys typed ahead are not lost: they are handled once the page is shown.
  Keys({scan::kDown, scan::kDown, kEnterKey}, true);
  ASSERT_EQ(Open(kProperties), 0);
  EXPECT_EQ(PropertyInBuffer(), 3);
}

TEST_F(LookupWindowTest, ReadsOnlyAsFarAsThePageShown) {
  MakeProperties(40);
  Keys({kEnterKey});
  ASSERT_EQ(Open(kProperties), 0);
  // Five rows, and the record after them has been looked at but not listed.
  EXPECT_EQ(platform::FileLength(forms::BrowseFilePath()), 5 * (10 + 32));
  // Browse.tmp holds the entries exactly as laid out.
  platform::BinaryFile f;
  ASSERT_TRUE(f.Open(forms::BrowseFilePath(), platform::BinaryFile::Mode::kRead));
  uint8_t h[10];
  ASSERT_EQ(f.ReadAt(42, h, 10), 10);
  EXPECT_EQ(h[0] | (h[1] << 8) | (h[2] << 16) | (h[3] << 24), 1);  // previous entry
  EXPECT_NE(h[4] | (h[5] << 8), 0);                                // record position
  EXPECT_EQ(h[8] | (h[9] << 8), 32);
  std::string text(32, ' ');
  ASSERT_EQ(f.ReadAt(52, text.data(), 32), 32);
  EXPECT_EQ(text, "002  Carrer 2 de la finca llarga");
}

TEST_F(LookupWindowTest, HorizontalScrollingAndTheTitleFrame) {
  MakeProperties(2);
  forms::LookupHooks hooks{};
  hooks.line = [](int16_t) { return forms::LookupLine(kProperties); };
  forms::SetLookupHooks(hooks);
  mc.terminal().RecordScreens(true);
  // Lines are 32 wide in a window 19 wide: the widest overflow is 13, so Right goes to
  // the offsets 9 and 17 and is refused after that.
  Keys({scan::kRight, scan::kRight, scan::kRight, kEnterKey});
  ASSERT_EQ(Open(kNarrow), 0);
  const platform::MemoryTerminal& t = mc.terminal();
  const std::string line = "001  Carrer 1 de la finca llarga";
  auto shown = [&](size_t offset) {
    std::string s = offset <= line.size() ? line.substr(offset - 1, 19) : "";
    s.resize(19, ' ');
    return s;
  };
  const std::string frame(8, '\xCD');
  struct Step {
    size_t offset;
    std::string title;  // the frame's top row, corners included
  } steps[] = {
      {1, "\xC9 Finques amb un tit\x10"},
      {9, "\x11 amb un titol llarg\x10"},
      {17, "\x11titol llarg" + frame + "\xBB"},
      {17, "\x11titol llarg" + frame + "\xBB"},
  };
  ASSERT_EQ(t.ScreenCount(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(t.ScreenLine(i, 3).substr(9, 21), steps[i].title);
    EXPECT_EQ(t.ScreenLine(i, 4).substr(10, 19), shown(steps[i].offset));
  }
}

TEST_F(LookupWindowTest, AChoiceFillsTheFieldAndMovesOn) {
  MakeProperties(5);
  MakeFile(mc.dir().path(), records::kOwnersFile,
           {OwnerRecord(4, 1, "Serra*Anna"), OwnerRecord(4, 12, "Puig*Joan")});
  ASSERT_EQ(OpenFile(mc.dir().path(), records::kOwnersFile, buffers.owners), 0);
  forms::StoreFieldValue(*forms::FindField(1, 3), "4");
  int16_t screen = 2;
  int16_t upExit = 0;
  int16_t downExit = 0;
  int16_t key = 0;
  // F4 on field 1, Down to property 4, Enter: the field takes "004" and the
  // cursor goes down; F4 there, Esc: nothing changes; F4 again, Down, Enter on the last
  // field: the screen ends as with Enter.
  Keys({scan::kF1 + 3, scan::kDown, scan::kDown, scan::kDown, kEnterKey});
  Keys({scan::kF1 + 3, kEscKey});
  Keys({scan::kF1 + 3, scan::kDown, kEnterKey});
  forms::RunScreen(screen, upExit, downExit, key);
  EXPECT_FALSE(mc.terminal().Starved());
  EXPECT_EQ(key, forms::kKeyEnter);
  EXPECT_EQ(forms::FindField(2, 1)->value, "004");
  EXPECT_EQ(forms::FindField(2, 2)->value, "012");
  EXPECT_EQ(mc.terminal().Text(2, 7, 9), "004");
  EXPECT_EQ(console::Console().valueStack, "");
}

TEST_F(LookupWindowTest, ANestedLookupRunsOnF4AndReportsItsChoice) {
  MakeProperties(3);
  static std::vector<std::vector<int16_t>> accepted;
  accepted.clear();
  forms::LookupHooks hooks{};
  hooks.accept = [](int16_t& lookup, int16_t& screen, int16_t& field) {
    accepted.push_back({lookup, screen, field});
  };
  forms::SetLookupHooks(hooks);
  Keys({scan::kF1 + 3, scan::kDown, kEnterKey});
  EXPECT_EQ(Open(kWithNested), 0);
  EXPECT_EQ(PropertyInBuffer(), 2);
  ASSERT_EQ(accepted.size(), 1u);
  EXPECT_EQ(accepted[0], (std::vector<int16_t>{kProperties, 0, 0}));
  // F4 is not accepted in a window without a nested lookup.
  Keys({scan::kF1 + 3, kEnterKey});
  EXPECT_EQ(Open(kProperties), 0);
  EXPECT_EQ(accepted.size(), 1u);
}

TEST_F(LookupWindowTest, EmptyLinesAreNotListed) {
  MakeProperties(6);
  forms::LookupHooks hooks{};
  hooks.line = [](int16_t lookup) {
    const std::string line = forms::LookupLine(lookup);
    return line.substr(0, 3) == "002" || line.substr(0, 3) == "003" ? std::string("   ") : line;
  };
  forms::SetLookupHooks(hooks);
  Keys({scan::kDown, kEnterKey});
  ASSERT_EQ(Open(kProperties), 0);
  EXPECT_EQ(PropertyInBuffer(), 4);
}

// Bytes of one Browse.tmp entry.
std::string Entry(int32_t previous, int32_t record, int16_t length, const std::string& text) {
  std::string e(10, '\0');
  std::memcpy(e.data(), &previous, 4);
  std::memcpy(e.data() + 4, &record, 4);
  std::memcpy(e.data() + 8, &length, 2);
  return e + text;
}

TEST_F(LookupWindowTest, AHostileWorkFileNeverCrashesOrLoops) {
  const std::string a = Entry(0, 7, 5, "alpha");
  const std::string b = Entry(1, 8, 4, "beta");
  const std::string c = Entry(16, 9, 5, "gamma");
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<uint8_t> keys;
    int16_t result;
    const char* chosen;
  } cases[] = {
      {"sound entries", a + b + c, {scan::kDown, scan::kDown}, 0, "gamma"},
      {"no file at all", "", {scan::kDown}, -1, ""},
      {"a header cut short", a + b.substr(0, 6), {scan::kDown, scan::kPageDown}, 0, "alpha"},
      {"a length past the end", a + Entry(1, 8, 30000, "beta"), {scan::kDown}, 0, "alpha"},
      {"a negative length", a + Entry(1, 8, -4, "beta"), {scan::kDown, scan::kDown}, 0, "alpha"},
      {"a previous entry pointing forwards",
       a + Entry(40, 8, 4, "beta"),
       {scan::kDown, scan::kUp, scan::kUp, scan::kPageUp},
       0,
       "beta"},
      {"a previous entry pointing at itself",
       a + Entry(16, 8, 4, "beta"),
       {scan::kDown, scan::kUp},
       0,
       "beta"},
      {"a previous entry inside another",
       a + b + Entry(3, 9, 5, "gamma"),
       {scan::kDown, scan::kDown, scan::kUp, scan::kUp, scan::kUp, scan::kPageUp},
       0,
       nullptr},
      {"a negative previous entry",
       a + Entry(-5, 8, 4, "beta"),
       {scan::kDown, scan::kUp, scan::kPageUp},
       0,
       "beta"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    platform::RemoveFile(forms::BrowseFilePath());
    if (!k.bytes.empty()) testing_support::WriteFile(forms::BrowseFilePath(), k.bytes);
    forms::LastLookupChoice() = {};
    Keys(k.keys);
    Keys({kEnterKey});
    EXPECT_EQ(Open(kWorkFile), k.result);
    if (k.chosen != nullptr) {
      EXPECT_EQ(forms::LastLookupChoice().text, k.chosen);
    }
    EXPECT_EQ(mc.terminal().PendingEvents(), 0u);
    // Without a record file the work file is browsed, never rewritten.
    EXPECT_EQ(testing_support::ReadFile(forms::BrowseFilePath()).value_or(""), k.bytes);
  }
}

}  // namespace
