// The letter run over small record files: which owners get a letter or a label, the
// letters and label rows in the spool, and what stops a batch.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "app/letter_run.h"
#include "app/letter_selection.h"
#include "app/letter_state.h"
#include "print/spool.h"
#include "records/record_access.h"
#include "tests/app/letter_fixture.h"

namespace {

using app::Letters;
using app_test::Append;
using app_test::Command;
using app_test::Justify;
using app_test::Lines;
using app_test::Pad;
using app_test::Page;
using app_test::Text;

const char* const kProperties =
    "1,Carrer Major 12,17001 Girona,Girona\n"
    "2,Rambla Nova 45,43001 Tarragona,Tarragona\n"
    "3,Pla\xC3\xA7"
    "a Paeria 3,25007 Lleida,Lleida\n"
    "4,Carrer Sant Pere 27,08500 Vic,Barcelona\n"
    "5,Passeig Nou 8,17300 Blanes,Girona\n"
    "6,Carrer Alt 1,08001 Barcelona,Barcelona\n";

// Owner 1.0 has two pending receipts, 1.1 none, 1.2 only a paid one, 2.1 a returned
// one, 6.2 a cancelled one; every other owner one pending receipt.
const char* const kOwners =
    "1,0,Serra*Anna,1r,,,\n"
    "1,1,Font*Enric,2n,,,\n"
    "1,2,Mas*Pere,3r,,,\n"
    "2,1,Puig*Laia,1r,Carrer Nou 5,08016 Barcelona,Barcelona\n"
    "3,1,Vila*Marc,1a,,,\n"
    "3,2,Roca*Marta,2a,,,\n"
    "3,3,Pons*Jordi,3a,,,\n"
    "3,4,Soler*Nuria,4a,,,\n"
    "3,5,Ferrer*Pau,5a,,,\n"
    "3,6,Prat*Rosa,6a,,,\n"
    "3,7,Camps*Xavier,7a,,,\n"
    "4,1,Riera*Ona,1r,,,\n"
    "4,2,Bosch*Martí,2n,,,\n"
    "5,1,Costa*Aina,1r,,,\n"
    "5,2,Sala*Biel,2n,,,\n"
    "5,3,Valls*Clara,3r,,,\n"
    "6,1,Oliva*Pol,1r,,,\n"
    "6,2,Garcia*Joan,2n,,,\n";

std::string Receipts() {
  std::string rows =
      "1,0,2025-01-01,120.00,P\n"
      "1,0,2025-04-01,80.50,P\n"
      "1,2,2025-01-01,50.00,C\n"
      "2,1,2025-01-01,70.00,D\n"
      "6,2,2025-01-01,90.00,X\n";
  for (const char* owner : {"3,1", "3,2", "3,3", "3,4", "3,5", "3,6", "3,7", "4,1", "4,2", "5,1",
                            "5,2", "5,3", "6,1"}) {
    rows += std::string(owner) + ",2025-03-01,10.00,P\n";
  }
  return rows;
}

app::SelectionFieldValues DefaultFields() {
  return {"15/03/2026", "CARTA   ",   "1  ",        "0  ", "999", "999", "T",  "1  ",
          "99 ",        "1         ", "2000000000", "C",   "45 ", "9  ", "16 "};
}

// The lines that start a letter and its one paragraph.
Lines OneParagraphLetter(const std::string& text) {
  return {Page(66),        Command("@"),   Command("e"), Text(0, "", 0),
          Text(95, "", 2), Text(1, "", 0), Justify("E"), Text(0, Pad(text, 95), 1)};
}

// The printed texts of a spool (text lines with text in them).
std::vector<std::string> Texts(const Lines& spool) {
  std::vector<std::string> texts;
  for (const std::string& line : spool) {
    const size_t first = line.find(','), last = line.rfind(',');
    if (first == std::string::npos || last == first) continue;
    std::string text = line.substr(first + 1, last - first - 1);
    text.erase(text.find_last_not_of(' ') + 1);
    if (!text.empty()) texts.push_back(text);
  }
  return texts;
}

class LetterRunTest : public app_test::LetterFixture {
 protected:
  void SetUp() override {
    LetterFixture::SetUp();
    InstallData(kProperties, kOwners, Receipts());
    WriteTemplate("CARTA", {"@DES0"});
    OpenSpool();
  }

  app::LetterRunResult Run(const app::SelectionFieldValues& fields,
                           const app::LetterRunOptions& options = {}) {
    app::StoreLetterSelection(fields);
    return app::LetterRun(options);
  }
};

TEST_F(LetterRunTest, DefaultSelectionWritesALetterForEachOwnerWithPendingReceipts) {
  WriteTemplate("CARTA", {"@DES0 @DES1 #NUMREB"});
  const app::LetterRunResult result = Run(DefaultFields());
  EXPECT_EQ(result.status, app::kLetterOk);
  Lines expected{"DEVICETEST"};
  for (const char* letter :
       {"H001000 Anna Serra    2", "H002001 Laia Puig    1", "H003001 Marc Vila    1",
        "H003002 Marta Roca    1", "H003003 Jordi Pons    1", "H003004 Nuria Soler    1",
        "H003005 Pau Ferrer    1", "H003006 Rosa Prat    1", "H003007 Xavier Camps    1",
        "H004001 Ona Riera    1", "H004002 Mart\xA1 Bosch    1", "H005001 Aina Costa    1",
        "H005002 Biel Sala    1", "H005003 Clara Valls    1", "H006001 Pol Oliva    1"}) {
    Append(expected, OneParagraphLetter(letter));
  }
  EXPECT_EQ(SpoolLines(), expected);
  EXPECT_EQ(result.counts.ownersRead, 18);
  EXPECT_EQ(result.counts.lettersWritten, 15);
  EXPECT_EQ(result.counts.labelsWritten, 0);
}

TEST_F(LetterRunTest, SelectionDecidesWhichOwnersAreKept) {
  const struct {
    const char* name;
    std::vector<std::pair<size_t, const char*>> fields;  // (index, value) over the defaults
    std::vector<std::string> references;
  } cases[] = {
      {"every owner, with or without receipts",
       {{7, "0"}, {9, "0"}},
       {"H001000", "H001001", "H001002", "H002001", "H003001", "H003002", "H003003", "H003004",
        "H003005", "H003006", "H003007", "H004001", "H004002", "H005001", "H005002", "H005003",
        "H006001", "H006002"}},
      {"from owner 5 of property 3 to owner 2 of property 5",
       {{2, "3"}, {3, "5"}, {4, "5"}, {5, "2"}},
       {"H003005", "H003006", "H003007", "H004001", "H004002", "H005001", "H005002"}},
      {"blank last owner takes the whole last property",
       {{2, "5"}, {3, "0"}, {4, "5"}, {5, "   "}},
       {"H005001", "H005002", "H005003"}},
      {"pending only", {{2, "1"}, {4, "2"}, {6, "P"}}, {"H001000"}},
      {"returned only", {{2, "1"}, {4, "2"}, {6, "D"}}, {"H002001"}},
      {"cancelled only", {{6, "X"}}, {"H006002"}},
      {"two receipts or more", {{7, "2"}}, {"H001000"}},
      {"at most one receipt",
       {{2, "1"}, {4, "3"}, {5, "2"}, {8, "1"}},
       {"H002001", "H003001", "H003002"}},
      {"total above 100 euros", {{9, "10001"}}, {"H001000"}},
      {"total up to 70 euros",
       {{2, "2"}, {4, "3"}, {5, "1"}, {10, "7000"}},
       {"H002001", "H003001"}},
      {"first code above the last", {{2, "5"}, {4, "3"}}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ReopenSpool();
    app::SelectionFieldValues fields = DefaultFields();
    for (const auto& [index, value] : c.fields) fields[index] = value;
    const app::LetterRunResult result = Run(fields);
    EXPECT_EQ(result.status, app::kLetterOk);
    EXPECT_EQ(Texts(SpoolLines()), c.references);
    EXPECT_EQ(result.counts.lettersWritten, static_cast<int32_t>(c.references.size()));
  }
}

TEST_F(LetterRunTest, NoOwnerLeavesOnlyTheDeviceLine) {
  app::SelectionFieldValues fields = DefaultFields();
  fields[2] = "7";
  fields[4] = "9";
  EXPECT_EQ(Run(fields).status, app::kLetterOk);
  EXPECT_EQ(SpoolLines(), Lines{"DEVICETEST"});
}

TEST_F(LetterRunTest, LettersCarryTheOwnersReceipts) {
  WriteTemplate("CARTA", {"@DES1: @NUMREB rebuts, @TOTPEN euros", "#RELPEN"});
  app::SelectionFieldValues fields = DefaultFields();
  fields[4] = "1";
  EXPECT_EQ(Run(fields).status, app::kLetterOk);
  EXPECT_EQ(SpoolLines(),
            (Lines{"DEVICETEST", Page(66), Command("@"), Command("e"), Text(0, "", 0),
                   Text(95, "", 2), Text(1, "", 0), Justify("E"),
                   Text(0, Pad("Anna Serra: 2 rebuts, 200,50 euros", 95), 1),
                   // The list selects column 0 and its ten blanks move it to column 11.
                   Text(11, "", 0), Justify("E"),
                   Text(0, Pad("1/1/2025          120,00    1/4/2025           80,50", 85), 1)}));
}

TEST_F(LetterRunTest, MissingTemplateStopsTheBatch) {
  app::SelectionFieldValues fields = DefaultFields();
  fields[1] = "NOPE    ";
  const app::LetterRunResult result = Run(fields);
  EXPECT_EQ(result.status, app::kTemplateNotFound);
  EXPECT_EQ(result.name, "NOPE");
  EXPECT_EQ(result.counts.lettersWritten, 0);
  EXPECT_EQ(result.counts.ownersRead, 1);
  EXPECT_EQ(SpoolLines(), Lines{"DEVICETEST"});
}

TEST_F(LetterRunTest, FieldFileThatCannotBeWrittenStopsTheBatch) {
  ASSERT_EQ(::symlink("/dev/full", (work + "merge.tmp").c_str()), 0);
  const app::LetterRunResult result = Run(DefaultFields());
  EXPECT_EQ(result.status, app::kFieldFileNotWritten);
  EXPECT_EQ(result.name, work + "merge.tmp");
  EXPECT_EQ(result.counts.lettersWritten, 0);
  EXPECT_EQ(SpoolLines(), Lines{"DEVICETEST"});
}

TEST_F(LetterRunTest, ProgressIsReportedWhenAsked) {
  std::vector<app::LetterRunProgress> seen;
  app::LetterRunOptions options;
  options.progress = [&seen](const app::LetterRunProgress& p) { seen.push_back(p); };
  options.firstProgressAfter = std::chrono::milliseconds(0);
  options.progressEvery = std::chrono::milliseconds(0);
  app::SelectionFieldValues fields = DefaultFields();
  fields[4] = "2";
  EXPECT_EQ(Run(fields, options).status, app::kLetterOk);
  ASSERT_EQ(seen.size(), 4u);
  const int32_t letters[] = {1, 1, 1, 2};
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].ownersRead, static_cast<int32_t>(i + 1));
    EXPECT_EQ(seen[i].lettersWritten, letters[i]);
  }

  seen.clear();
  options.firstProgressAfter = std::chrono::hours(1);
  EXPECT_EQ(Run(fields, options).status, app::kLetterOk);
  EXPECT_TRUE(seen.empty());
}

// ---- Labels ------------------------------------------------------------------------

// One label line of a row: the pieces at columns 1, 1 + width, ... up to 96.
Lines LabelLine(const std::string& row, size_t width) {
  Lines lines;
  const std::string cut = row.substr(0, std::min<size_t>(row.size(), 96));
  for (size_t column = 1; column <= 96; column += width) {
    lines.push_back(Text(static_cast<long>(column),
                         column - 1 < cut.size() ? cut.substr(column - 1, width) : "", 0));
  }
  lines.push_back(Text(0, "", 1));
  return lines;
}

// The lines of a label 45 wide for an owner of property 4.
std::vector<std::string> Label45(const std::string& reference, const std::string& name,
                                 const std::string& unit) {
  return {Pad("", 31) + reference + Pad("", 7), Pad(name, 45),
          Pad("Carrer Sant Pere 27 " + unit, 45), Pad("08500 Vic", 45), Pad("Barcelona", 45)};
}

TEST_F(LetterRunTest, OddNumberOfLabelsEndsWithAHalfRow) {
  app::SelectionFieldValues fields = DefaultFields();
  fields[2] = "4";
  fields[3] = "1";
  fields[4] = "5";
  fields[5] = "1";
  fields[11] = "E";
  const app::LetterRunResult result = Run(fields);
  EXPECT_EQ(result.status, app::kLetterOk);
  EXPECT_EQ(result.counts.labelsWritten, 3);

  const std::vector<std::string> first = Label45("H004001", "Ona Riera", "1r        ");
  const std::vector<std::string> second = Label45("H004002", "Mart\xA1 Bosch", "2n        ");
  const std::vector<std::string> third = {Pad("", 31) + "H005001" + Pad("", 7),
                                          Pad("Aina Costa", 45), Pad("Passeig Nou 8 1r", 45),
                                          Pad("17300 Blanes", 45), Pad("Girona", 45)};
  Lines expected{"DEVICETEST", Page(72), Command("@e")};
  for (size_t i = 0; i < 9; ++i) Append(expected, LabelLine(i < 5 ? first[i] + second[i] : "", 45));
  for (size_t i = 0; i < 9; ++i) Append(expected, LabelLine(i < 5 ? third[i] : "", 45));
  EXPECT_EQ(SpoolLines(), expected);
}

TEST_F(LetterRunTest, LabelGeometryCutsTheRow) {
  const struct {
    const char* width;
    const char* lines;
    size_t labelWidth;
    size_t labelLines;
    long pageLength;
  } cases[] = {
      {"45", "9", 45, 9, 72},
      // The second label of a row is cut at column 96.
      {"60", "9", 60, 9, 72},
      // Only the reference, the name and the street line.
      {"45", "3", 45, 3, 24},
      {"96", "1", 96, 1, 8},
      // The reference with its 7 blanks is longer than the label: its end stays.
      {"10", "5", 10, 5, 40},
      {"1", "100", 1, 100, 800},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.width) + " x " + c.lines);
    ReopenSpool();
    app::SelectionFieldValues fields = DefaultFields();
    fields[2] = "4";
    fields[3] = "1";
    fields[4] = "4";
    fields[5] = "2";
    fields[11] = "E";
    fields[12] = c.width;
    fields[13] = c.lines;
    EXPECT_EQ(Run(fields).status, app::kLetterOk);
    const std::vector<std::string> first = Label45("H004001", "Ona Riera", "1r        ");
    const std::vector<std::string> second = Label45("H004002", "Mart\xA1 Bosch", "2n        ");
    Lines expected{"DEVICETEST", Page(c.pageLength), Command("@e")};
    for (size_t i = 0; i < c.labelLines; ++i) {
      std::string row;
      if (i < 5) {
        for (const std::vector<std::string>* label : {&first, &second}) {
          // The 45-column texts recut to this width: the reference keeps its place
          // 7 columns before the edge, the other lines are cut on the right.
          std::string line = (*label)[i];
          std::string text = line;
          if (i == 0) {
            text = line.substr(line.find_first_not_of(' '));
            text = text.size() > c.labelWidth ? text.substr(text.size() - c.labelWidth)
                                              : Pad("", c.labelWidth - text.size()) + text;
          } else {
            text = Pad(line.substr(0, line.find_last_not_of(' ') + 1), c.labelWidth);
            text.resize(c.labelWidth);
          }
          row += text;
        }
      }
      Append(expected, LabelLine(row, c.labelWidth));
    }
    EXPECT_EQ(SpoolLines(), expected);
  }
}

TEST_F(LetterRunTest, SixteenLabelsOfNineLinesMakeAPageOfEightRows) {
  std::string owners, receipts;
  for (int owner = 1; owner <= 17; ++owner) {
    owners += "7," + std::to_string(owner) + ",Owner*" + std::to_string(owner) + ",u,,,\n";
    receipts += "7," + std::to_string(owner) + ",2025-01-01,1.00,P\n";
  }
  print::ResetSpool();
  int16_t status = 0;
  records::ResetRecordManager(status);
  records::ResetRecordAccessState();
  InstallData("7,Carrer Set 7,08007 Barcelona,Barcelona\n", owners, receipts);
  OpenSpool();
  app::SelectionFieldValues fields = DefaultFields();
  fields[2] = "7";
  fields[4] = "7";
  fields[11] = "E";
  EXPECT_EQ(Run(fields).status, app::kLetterOk);
  // Rows of 9 lines, 4 spool lines each; a page line before rows 1 and 9.
  const Lines spool = SpoolLines();
  std::vector<size_t> pages;
  for (size_t i = 0; i < spool.size(); ++i) {
    if (spool[i].rfind("PAGE", 0) == 0) pages.push_back(i);
  }
  const size_t row = 9 * 4;
  EXPECT_EQ(pages, (std::vector<size_t>{1, 3 + 8 * row}));
  EXPECT_EQ(spool[1], Page(72));
  EXPECT_EQ(spool[3 + 8 * row], Page(72));
  EXPECT_EQ(spool[4 + 8 * row], Command("@e"));
  EXPECT_EQ(spool.size(), 1 + 2 + 8 * row + 2 + row);
}

TEST_F(LetterRunTest, LabelGeometryOutsideTheRowIsRefused) {
  const struct {
    const char* width;
    const char* lines;
  } cases[] = {{"0", "9"}, {"-5", "9"}, {"97", "9"}, {"45", "0"}, {"45", "101"}, {"45", "-1"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.width) + " x " + c.lines);
    ReopenSpool();
    app::SelectionFieldValues fields = DefaultFields();
    fields[11] = "E";
    fields[12] = c.width;
    fields[13] = c.lines;
    const app::LetterRunResult result = Run(fields);
    EXPECT_EQ(result.status, app::kBadLabelGeometry);
    EXPECT_EQ(result.counts.ownersRead, 0);
    EXPECT_EQ(SpoolLines(), Lines{"DEVICETEST"});
  }
  // Letters do not use the label geometry.
  ReopenSpool();
  app::SelectionFieldValues fields = DefaultFields();
  fields[12] = "0";
  fields[13] = "500";
  EXPECT_EQ(Run(fields).status, app::kLetterOk);
}

}  // namespace
