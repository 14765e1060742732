// The selection stored from the selection screen's fields, and the address block of
// an owner.

#include <gtest/gtest.h>

#include <string>

#include "app/letter_selection.h"
#include "app/letter_state.h"
#include "platform/packed_digits.h"
#include "tests/app/letter_fixture.h"

namespace {

using app::Letters;
using app::SelectionFieldValues;
using app_test::OwnerCodeOf;
using app_test::Pad;

// The screen's defaults, each padded to its field's width.
SelectionFieldValues DefaultFields() {
  return {"15/03/26  ", "        ",   "1  ",        "0  ", "999", "999", "T",  "1  ",
          "99 ",        "1         ", "2000000000", "C",   "45 ", "9  ", "16 "};
}

class LetterSelectionTest : public app_test::LetterFixture {};

TEST_F(LetterSelectionTest, DefaultsSelectEveryOwnerOfPropertiesOneTo999) {
  app::StoreLetterSelection(DefaultFields());
  const app::LetterSelection& s = Letters().selection;
  EXPECT_EQ(s.letterDate, platform::PackDigits("20260315"));
  EXPECT_EQ(s.templateCode, "        ");
  EXPECT_EQ(s.fromCode, OwnerCodeOf(1, 0));
  EXPECT_EQ(s.toCode, OwnerCodeOf(999, 999));
  EXPECT_EQ(s.receiptState, "T");
  EXPECT_EQ(s.minReceipts, 1);
  EXPECT_EQ(s.maxReceipts, 99);
  EXPECT_EQ(s.minPending, 1);
  EXPECT_EQ(s.maxPending, 2000000000);
  EXPECT_EQ(s.outputKind, "C");
  EXPECT_EQ(s.labelWidth, 45);
  EXPECT_EQ(s.labelLines, 9);
  EXPECT_EQ(s.labelsPerPage, 16);
  EXPECT_EQ(s.labelsAcross, 2);
}

TEST_F(LetterSelectionTest, CountFieldsTakeTheLeadingNumberRoundedHalfToEven) {
  const struct {
    const char* text;
    int16_t expected;
  } cases[] = {
      {"12abc", 12},    {"abc", 0},         {"", 0},      {"2.5", 2},
      {"3.5", 4},       {"-2.5", -2},       {"  7", 7},   {"32767", 32767},
      {"99999", 32767}, {"-99999", -32768}, {"1e400", 1}, {"9999999999999999999999", 32767},
  };
  for (const auto& c : cases) {
    SelectionFieldValues fields = DefaultFields();
    for (size_t field : {7u, 8u, 12u, 13u, 14u}) fields[field] = c.text;
    app::StoreLetterSelection(fields);
    const app::LetterSelection& s = Letters().selection;
    EXPECT_EQ(s.minReceipts, c.expected) << c.text;
    EXPECT_EQ(s.maxReceipts, c.expected) << c.text;
    EXPECT_EQ(s.labelWidth, c.expected) << c.text;
    EXPECT_EQ(s.labelLines, c.expected) << c.text;
    EXPECT_EQ(s.labelsPerPage, c.expected) << c.text;
  }
}

TEST_F(LetterSelectionTest, TotalsAreTheLeadingNumberUnrounded) {
  SelectionFieldValues fields = DefaultFields();
  fields[9] = "12.75x";
  fields[10] = "abc";
  app::StoreLetterSelection(fields);
  EXPECT_EQ(Letters().selection.minPending, 12.75);
  EXPECT_EQ(Letters().selection.maxPending, 0);
}

TEST_F(LetterSelectionTest, BlankCodeFieldsReachTheEndsOfTheirGroup) {
  const struct {
    const char* fromProperty;
    const char* fromOwner;
    const char* toProperty;
    const char* toOwner;
    int from[2];
    int to[2];
  } cases[] = {
      {"3  ", "5  ", "7  ", "2  ", {3, 5}, {7, 2}},
      {"3  ", "   ", "7  ", "   ", {3, 0}, {7, 9999}},
      {"   ", "   ", "   ", "   ", {0, 0}, {9999, 9999}},
      {"", "", "", "", {0, 0}, {9999, 9999}},
  };
  for (const auto& c : cases) {
    SelectionFieldValues fields = DefaultFields();
    fields[2] = c.fromProperty;
    fields[3] = c.fromOwner;
    fields[4] = c.toProperty;
    fields[5] = c.toOwner;
    app::StoreLetterSelection(fields);
    EXPECT_EQ(Letters().selection.fromCode, OwnerCodeOf(c.from[0], c.from[1]))
        << "[" << c.fromProperty << "." << c.fromOwner << "]";
    EXPECT_EQ(Letters().selection.toCode, OwnerCodeOf(c.to[0], c.to[1]))
        << "[" << c.toProperty << "." << c.toOwner << "]";
  }
}

TEST_F(LetterSelectionTest, AddressBlockTakesTheOwnersOwnAddressOnlyWhereItIsComplete) {
  InstallData("1,\"Major, 12\",17001 Girona,Girona\n",
              "1,0,Serra Pujol*Anna,Baixos 1a,,,\n"
              "1,7,Olzet*Joan d',2n 1a,,Carrer Nou 5,Vic\n"
              "1,8,Font*Enric,3r,\"Carrer Vidal, 105\",,Reus\n"
              "1,9,Mas*Pere,4t,Plaça*Sol,08016 Barcelona,Barcelona\n",
              "");
  const struct {
    int owner;
    app::AddressBlock expected;
  } cases[] = {
      {0,
       {"H001000", "Anna Serra Pujol", "Major, 12 Baixos 1a ", Pad("17001 Girona", 30),
        Pad("Girona", 30)}},
      // A blank first line sends the letter to the property, whatever the second holds.
      {7,
       {"H001007", "Joan d'Olzet", "Major, 12 2n 1a     ", Pad("17001 Girona", 30),
        Pad("Girona", 30)}},
      // A first line alone replaces the street line only.
      {8,
       {"H001008", "Enric Font", "Carrer Vidal, 105", Pad("17001 Girona", 30), Pad("Girona", 30)}},
      {9,
       {"H001009", "Pere Mas",
        "Sol Pla\x87"
        "a",
        Pad("08016 Barcelona", 30), Pad("Barcelona", 30)}},
  };
  for (const auto& c : cases) {
    ReadOwner(1, c.owner);
    app::BuildAddressBlock();
    for (size_t i = 0; i < 5; ++i) {
      EXPECT_EQ(Letters().addressBlock[i], c.expected[i]) << "owner " << c.owner << " line " << i;
    }
  }
}

TEST_F(LetterSelectionTest, ReferenceKeepsTheLastThreeDigitsOfEachNumber) {
  InstallData("1234,A,B,C\n", "1234,5678,X,u,,,\n", "");
  ReadOwner(1234, 5678);
  app::BuildAddressBlock();
  EXPECT_EQ(Letters().addressBlock[0], "H234678");
}

}  // namespace
