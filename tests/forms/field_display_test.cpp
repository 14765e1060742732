#include "forms/field_display.h"

#include <gtest/gtest.h>

#include <string>

#include "console/screen.h"
#include "console/window_stack.h"
#include "format/date_text.h"
#include "format/number_mask.h"
#include "format/packed_date.h"
#include "forms/form_model.h"
#include "session/session.h"
#include "tests/forms/form_files.h"
#include "tests/forms/record_fixture.h"
#include "tests/support/memory_console.h"

namespace {

using namespace form_files;
using testing_support::MemoryConsole;

class FieldDisplay : public ::testing::Test {
 protected:
  void SetUp() override {
    session::Session().sessionDate = format::PackDigits("20260315");
    S two;
    two.fields = {
        {2, 1, "Data ", 10, 0, 0, 0, 1},                            // 1 date
        {3, 1, "Petit ", 3, 0, 0, 0, 2},                            // 2 ZZ9
        {4, 1, "Dos ", 2, 0, 0, 0, 3},                              // 3 Z9
        {5, 1, "Import ", 10, 0, 3, 0, 4},                          // 4 amount
        {6, 1, "U99 ", 2, 0, 0, 0, 7},                              // 5 1 .. 99
        {7, 1, "Text ", 6},                                         // 6 plain
        {8, 1, "Tria ", 1, 0, 12, 0, 0, 0, "|T,Tots|P,Pendents"},   // 7 choices, width 1
        {9, 1, "Tria2 ", 2, 0, 12, 0, 0, 0, "|T,Tots|P,Pendents"},  // 8 same list, width 2
        {10, 1, "Llarg ", 12, 5},                                   // 9 three rows of 5
        {14, 1, "Clau ", 6, 0, 0, 2},                               // 10 hidden
        {15, 1, "Codi ", 8, 0, 0, 0, 5},                            // 11 texts file code
    };
    std::string message;
    ASSERT_EQ(LoadForm(mc.dir(), FormText({FillerScreen(), two}, {L{}}), message),
              forms::kFormLoaded)
        << message;
  }
  void TearDown() override {
    record_fixture::CloseAll();
    forms::ResetForm();
  }

  forms::FormField& Field(int16_t f) { return *forms::FindField(2, f); }
  std::string Shown(int16_t f, int n) {
    const forms::FormField& x = Field(f);
    const int16_t first = static_cast<int16_t>(x.column + x.label.size());
    return mc.terminal().Text(static_cast<int16_t>(x.row), first,
                              static_cast<int16_t>(first + n - 1));
  }

  void OpenTexts() {
    record_fixture::MakeFile(mc.dir().path(), records::kTextsFile,
                             {record_fixture::TextRecord("CIRC", "Circular general"),
                              record_fixture::TextRecord("CONVOCA", "Convocatoria")});
    ASSERT_EQ(record_fixture::OpenFile(mc.dir().path(), records::kTextsFile, buffers.texts), 0);
  }

  MemoryConsole mc;
  record_fixture::Buffers buffers;
};

TEST_F(FieldDisplay, ShowsEachKindInItsForm) {
  struct Case {
    int16_t field;
    const char* value;
    std::string shown;
  } cases[] = {
      {1, "150326", format::DateText(format::PackDigits("20260315"), 0, "dma")},
      {2, "7", "  7"},
      {2, " 42", " 42"},
      {3, "5", " 5"},
      {4, "1234567", format::AmountText("Z,ZZZ,ZZZ,ZZ9", 1234567)},
      {5, "99", "99"},
      {6, "abc", "abc   "},
      {7, "P", "Pendents     "},  // padded to width + extraWidth
      {8, "P", "             "},  // "P " matches no code of one character: nothing shown
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    mc.terminal().Clear();
    forms::StoreFieldValue(Field(c.field), c.value);
    forms::ShowFieldValue(2, c.field);
    EXPECT_EQ(Shown(c.field, static_cast<int>(c.shown.size())), c.shown);
  }
  EXPECT_EQ(format::DateText(format::PackDigits("20260315"), 0, "dma").substr(0, 9), "15/3/2026");
}

TEST_F(FieldDisplay, MultiRowValuesGoInSlicesUnderEachOther) {
  forms::StoreFieldValue(Field(9), "abcdefghijkl");
  console::PushValue("kept");
  forms::ShowFieldValue(2, 9);
  EXPECT_EQ(mc.terminal().Text(10, 7, 12), "abcde ");
  EXPECT_EQ(mc.terminal().Text(11, 7, 12), "fghij ");
  EXPECT_EQ(mc.terminal().Text(12, 7, 12), "kl    ");
  EXPECT_EQ(console::PopValue(), "kept");  // the value stack is as before
}

TEST_F(FieldDisplay, AHiddenFieldShowsNothingEvenWhenFilled) {
  ASSERT_EQ(forms::CheckField(2, "secret", 10, 13), 0);
  EXPECT_EQ(Field(10).value, "secret");
  forms::ShowScreen(2);
  EXPECT_EQ(mc.terminal().Text(14, 1, 20), "Clau                ");
}

TEST_F(FieldDisplay, ChecksAndStoresEachKind) {
  struct Case {
    int16_t field;
    const char* text;
    int16_t status;
    const char* stored;  // value after the check (the previous one when refused)
  } cases[] = {
      {1, "          ", 0, "150326    "},  // blank: the working date
      {1, "1/3/26", 0, "1/3/26    "},
      {1, "31/02/26", -1, "1/3/26    "},
      {2, "12", 0, "12 "},
      {2, "   ", 0, "   "},
      {2, "-1", -1, "   "},
      {2, "1.5", -1, "   "},
      {3, "7x", -1, "  "},
      {4, "0", -1, "          "},
      {4, "2000000000", 0, "2000000000"},
      {4, "2000000001", -1, "2000000000"},
      {5, "0", -1, "  "},
      {5, "100", -1, "  "},
      {5, "1", 0, "1 "},
      {5, "99", 0, "99"},
      {6, "anything at all", 0, "anythi"},  // cut to the width
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.field) + " \"" + c.text + "\"");
    EXPECT_EQ(forms::CheckField(2, c.text, c.field, 13), c.status);
    EXPECT_EQ(Field(c.field).value, c.stored);
  }
  EXPECT_EQ(forms::CheckField(2, "x", 40, 13), -1);  // no such field
  EXPECT_EQ(forms::CheckField(9, "x", 1, 13), -1);   // no such screen
}

TEST_F(FieldDisplay, AStoredDateShowsInTheUsersForm) {
  ASSERT_EQ(forms::CheckField(2, "", 1, 13), 0);
  EXPECT_EQ(Shown(1, 10), format::DateText(format::PackDigits("20260315"), 0, "dma"));
}

TEST_F(FieldDisplay, ATextCodeIsCheckedAgainstTheTextsFile) {
  // Blank is accepted without reading the texts file, which is not even open yet.
  EXPECT_EQ(forms::CheckField(2, "        ", 11, 13), 0);
  OpenTexts();
  EXPECT_EQ(forms::CheckField(2, "circ", 11, 13), 0);
  EXPECT_EQ(Field(11).value, "CIRC    ");
  EXPECT_EQ(mc.terminal().Text(15, 6, 13), "CIRC    ");
  EXPECT_EQ(mc.terminal().Text(16, 6, 45), std::string("Circular general") + std::string(24, ' '));
  EXPECT_EQ(forms::CheckField(2, "NOPE", 11, 13), -1);
  EXPECT_EQ(Field(11).value, "CIRC    ");
  // A code that has gone from the file shows a blank description.
  forms::StoreFieldValue(Field(11), "GONE");
  forms::ShowFieldValue(2, 11);
  EXPECT_EQ(mc.terminal().Text(16, 6, 45), std::string(40, ' '));
}

TEST_F(FieldDisplay, TheTitleIsCentredOnTheFirstRowEvenOverAWindow) {
  struct Case {
    const char* title;
    int16_t column;
  } cases[] = {
      {" Cartes ", 37},  // 41 - 4
      {" Carta ", 37},   // 41 - 3.5, the half to the even 4
      {" Car ", 39},     // 41 - 2.5, the half to the even 2
      {"", 41},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    mc.terminal().Clear();
    session::Session().menuTitle = c.title;
    console::PushWindow(5, 5, 20, 70);
    forms::ShowScreen(2);
    console::PopWindow();
    const std::string title = c.title;
    EXPECT_EQ(mc.terminal().Text(1, c.column, static_cast<int16_t>(c.column + title.size() - 1)),
              title);
    if (!title.empty()) {
      EXPECT_EQ(mc.terminal().ReadCell(1, c.column).attribute, testing_support::kReverse);
    }
  }
}

TEST_F(FieldDisplay, ScreenShowsLabelsInNormalAndValuesInHighlight) {
  forms::StoreFieldValue(Field(6), "abc");
  forms::ShowScreen(2);
  EXPECT_EQ(mc.terminal().Text(7, 1, 8), "Text abc");
  EXPECT_EQ(mc.terminal().ReadCell(7, 1).attribute, testing_support::kNormal);
  EXPECT_EQ(mc.terminal().ReadCell(7, 6).attribute, testing_support::kHighlight);
}

}  // namespace
