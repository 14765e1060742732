// zurdata: the CSV form of each record (both ways), and the program itself run on a
// temporary installation: init, import (all or nothing), export, stat.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/packed_digits.h"
#include "records/record_layouts.h"
#include "tests/support/temp_dir.h"
#include "tools/zurdata/record_rows.h"

namespace {

using namespace zurdata;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST(ZurdataRows, AmountsInAndOut) {
  struct Case {
    const char* text;
    bool ok;
    int32_t cents;
    const char* canonical;
  } cases[] = {
      {"0", true, 0, "0.00"},
      {"-12.5", true, -1250, "-12.50"},
      {"1234.56", true, 123456, "1234.56"},
      {"0.05", true, 5, "0.05"},
      {"-0.01", true, -1, "-0.01"},
      {"21474836.47", true, INT32_MAX, "21474836.47"},
      {"-21474836.48", true, INT32_MIN, "-21474836.48"},
      {"21474836.48", false, 0, ""},
      {"1.234", false, 0, ""},
      {"1.", false, 0, ""},
      {".5", false, 0, ""},
      {"+5", false, 0, ""},
      {"1,50", false, 0, ""},
      {"", false, 0, ""},
      {"-", false, 0, ""},
      {"12 ", false, 0, ""},
      {"99999999999", false, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    int32_t cents = 7;
    EXPECT_EQ(ParseAmount(c.text, cents), c.ok);
    if (c.ok) {
      EXPECT_EQ(cents, c.cents);
      EXPECT_EQ(FormatAmount(cents), c.canonical);
    }
  }
}

TEST(ZurdataRows, RecordsHoldTheFieldsAtTheirOffsets) {
  std::string record, reason;
  ASSERT_TRUE(RowToRecord(Kind::kOwners,
                          {"12", "0", "GARCIA PUIG*JOAN", "3r 2a", "C. Major, 1", "", "Girona"},
                          record, reason))
      << reason;
  ASSERT_EQ(record.size(), 428u);
  EXPECT_EQ(record.substr(0, 4), platform::PackDigits("00120000"));
  EXPECT_EQ(record.substr(4, 4), "    ");
  EXPECT_EQ(record.substr(8, 30), "GARCIA PUIG*JOAN              ");
  EXPECT_EQ(record.substr(38, 10), "3r 2a     ");
  EXPECT_EQ(record.substr(48, 11), "C. Major, 1");
  EXPECT_EQ(record.substr(78, 20), std::string(20, ' '));  // not a field: blanks
  EXPECT_EQ(record.substr(128, 6), "Girona");
  EXPECT_EQ(record.find_first_not_of(' ', 158), std::string::npos);

  ASSERT_TRUE(
      RowToRecord(Kind::kReceipts, {"12", "3", "2024-02-29", "-12.5", "P"}, record, reason));
  ASSERT_EQ(record.size(), 24u);
  EXPECT_EQ(record.substr(4, 4), platform::PackDigits("20240229"));
  EXPECT_EQ(records::FieldInt32(record, records::ReceiptRecord::amount), -1250);
  EXPECT_EQ(record[21], 'P');
  EXPECT_EQ(record.substr(8, 5), "     ");

  ASSERT_TRUE(RowToRecord(Kind::kReceipts, {"1", "1", "", "1", "D"}, record, reason));
  EXPECT_EQ(record.substr(4, 4), std::string(4, '\x80'));  // the empty date

  ASSERT_TRUE(
      RowToRecord(Kind::kProperties, {"9999", "Av. Àngel Guimerà, 4", "", ""}, record, reason));
  EXPECT_EQ(record.substr(0, 2), platform::PackDigits("9999"));
  EXPECT_EQ(record.substr(6, 9), "Av. \xB7ngel");  // CP850 bytes
}

TEST(ZurdataRows, RowsGoInAndComeBackCanonical) {
  struct Case {
    Kind kind;
    std::vector<std::string> in;
    std::vector<std::string> out;
  } cases[] = {
      {Kind::kTexts,
       {"CARTA1", "Carta de morosos", "COBR"},
       {"CARTA1", "Carta de morosos", "COBR"}},
      {Kind::kTexts, {"  X", "trailing   ", ""}, {"  X", "trailing", ""}},
      {Kind::kProperties,
       {"0042", "C. Àngel, 3", "17001 Girona", ""},
       {"42", "C. Àngel, 3", "17001 Girona", ""}},
      {Kind::kOwners,
       {"0", "0", "PONS*ANNA", "", "", "", ""},
       {"0", "0", "PONS*ANNA", "", "", "", ""}},
      {Kind::kReceipts,
       {"7", "12", "1999-12-31", "5", "p"},
       {"7", "12", "1999-12-31", "5.00", "p"}},
  };
  for (const Case& c : cases) {
    std::string record, reason;
    ASSERT_TRUE(RowToRecord(c.kind, c.in, record, reason)) << reason;
    std::vector<std::string> back;
    ASSERT_TRUE(RecordToRow(c.kind, record, back, reason)) << reason;
    EXPECT_EQ(back, c.out);
  }
}

TEST(ZurdataRows, BadFieldsAreRefusedWithTheirReason) {
  struct Case {
    Kind kind;
    std::vector<std::string> row;
    const char* reason;
  } cases[] = {
      {Kind::kTexts, {"", "x", "g"}, "code: empty"},
      {Kind::kTexts, {"TOOLONGCODE", "x", "g"}, "code: longer than 8 characters"},
      {Kind::kTexts,
       {"A", "snow \u2603", "g"},
       "description: character U+2603 is not in code page 850"},
      {Kind::kTexts, {"A", "bad \xC3", "g"}, "description: not valid UTF-8"},
      {Kind::kTexts, {"A", "line\nbreak", "g"}, "description: control character"},
      {Kind::kProperties, {"10000", "", "", ""}, "property: not a whole number 0 .. 9999"},
      {Kind::kProperties, {"-1", "", "", ""}, "property: not a whole number 0 .. 9999"},
      {Kind::kProperties, {" 1", "", "", ""}, "property: not a whole number 0 .. 9999"},
      {Kind::kOwners, {"1", "x", "", "", "", "", ""}, "owner: not a whole number 0 .. 9999"},
      {Kind::kOwners,
       {"1", "1", std::string(31, 'N'), "", "", "", ""},
       "name: longer than 30 characters"},
      {Kind::kReceipts, {"1", "1", "2023-02-29", "1", "P"}, "date: not a date YYYY-MM-DD"},
      {Kind::kReceipts, {"1", "1", "2024-13-01", "1", "P"}, "date: not a date YYYY-MM-DD"},
      {Kind::kReceipts, {"1", "1", "24-01-01", "1", "P"}, "date: not a date YYYY-MM-DD"},
      {Kind::kReceipts,
       {"1", "1", "2024-01-01", "1.999", "P"},
       "amount: not an amount in euros like -12.5 or 1234.56"},
      {Kind::kReceipts, {"1", "1", "2024-01-01", "1", "PD"}, "state: not one letter"},
      {Kind::kReceipts, {"1", "1", "2024-01-01", "1", "1"}, "state: not one letter"},
  };
  for (const Case& c : cases) {
    std::string record, reason;
    EXPECT_FALSE(RowToRecord(c.kind, c.row, record, reason)) << c.reason;
    EXPECT_EQ(reason, c.reason);
  }
  // A record whose packed fields hold something else cannot be exported.
  std::vector<std::string> fields;
  std::string reason;
  EXPECT_FALSE(RecordToRow(Kind::kReceipts, std::string(24, 'A'), fields, reason));
  EXPECT_EQ(reason, "property: not packed digits");
}

// The program, run as a user would.
class Zurdata : public ::testing::Test {
 protected:
  struct Result {
    int code;
    std::string out, err;
  };
  Result Run(const std::string& args) {
    const std::string cmd = std::string(ZURDATA_PATH) + " --root '" + dir.path() + "' " + args +
                            " >'" + dir / "out.txt" + "' 2>'" + dir / "err.txt" + "'";
    const int status = std::system(cmd.c_str());
    return Result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, *ReadFile(dir / "out.txt"),
                  *ReadFile(dir / "err.txt")};
  }
  void SetUp() override { ASSERT_EQ(Run("init").code, 0); }

  TempDir dir;
};

TEST_F(Zurdata, InitWritesBlocksAndCreatesOnlyMissingFiles) {
  EXPECT_TRUE(ReadFile(dir / "ddf/CobramH.xdf").has_value());
  EXPECT_TRUE(ReadFile(dir / "DADES/Textos.dat").has_value());
  WriteFile(dir / "t.csv", "code,description,group\nA,a,G\n");
  ASSERT_EQ(Run("import texts '" + dir / "t.csv" + "'").code, 0);
  Result again = Run("init");
  EXPECT_EQ(again.code, 0);
  EXPECT_NE(again.out.find("DADES\\Textos.dat: exists"), std::string::npos);
  EXPECT_EQ(Run("export texts").out, "code,description,group\nA,a,G\n");
  // The creation block: its length, then the file description (record length 24).
  const std::string block = *ReadFile(dir / "ddf/CobramH.xdf");
  EXPECT_EQ(static_cast<size_t>(static_cast<uint8_t>(block[0])), block.size() - 2);
  EXPECT_EQ(static_cast<uint8_t>(block[2]), 24);
}

TEST_F(Zurdata, ExportGivesBackTheCanonicalCsvOfEveryKind) {
  struct Case {
    const char* kind;
    std::string csv;
  } cases[] = {
      {"texts",
       "code,description,group\nAVIS,\"Avís, amb coma\",G2\nCARTA1,\"Diu \"\"hola\"\"\",G1\n"},
      {"properties",
       "property,address1,address2,address3\n0,C. Àngel Guimerà 3,17001 Girona,\n"
       "12,\"Rbla. Nova, 1\",,Catalunya\n"},
      {"owners",
       "property,owner,name,unit,mail1,mail2,mail3\n1,0,PONS*ANNA,Baixos,,,\n"
       "1,2,GARCIA PUIG*JOAN,1r 1a,Apartat 12,08001 Barcelona,\n2,1,ÑANDÚ*ÇÈ,,,,\n"},
      {"receipts",
       "property,owner,date,amount,state\n1,0,,0.00,X\n1,2,2023-12-31,-12.50,D\n"
       "1,2,2024-01-31,1234.56,P\n1,2,2024-01-31,0.01,P\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    WriteFile(dir / "in.csv", c.csv);
    Result r = Run(std::string("import ") + c.kind + " '" + dir / "in.csv" + "'");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Run(std::string("export ") + c.kind).out, c.csv);
    ASSERT_EQ(Run(std::string("export ") + c.kind + " '" + dir / "back.csv" + "'").code, 0);
    EXPECT_EQ(*ReadFile(dir / "back.csv"), c.csv);
  }
  // Input in other shapes comes back canonical: CR LF, a byte order mark, blank
  // lines, short amounts, leading zeros, quotes where none are needed.
  WriteFile(dir / "in.csv",
            "\xEF\xBB\xBFproperty,owner,date,amount,state\r\n\r\n0007,\"3\",2024-05-01,2.5,P\r\n");
  ASSERT_EQ(Run("import receipts --replace '" + dir / "in.csv" + "'").code, 0);
  EXPECT_EQ(Run("export receipts").out,
            "property,owner,date,amount,state\n7,3,2024-05-01,2.50,P\n");
}

TEST_F(Zurdata, ABadLineStopsTheImportAndNothingIsStored) {
  WriteFile(dir / "old.csv", "property,owner,date,amount,state\n9,9,2020-01-01,1.00,P\n");
  ASSERT_EQ(Run("import receipts '" + dir / "old.csv" + "'").code, 0);
  const std::string header = "property,owner,date,amount,state\n";
  const std::string good = "1,1,2024-01-01,1,P\n";
  struct Case {
    std::string csv;
    std::string message;  // after "FILE:"
  } cases[] = {
      {header + good + "1,2,2024-01-01,1,PP\n", "3: state: not one letter"},
      {header + good + "1,2,2024-01-01,1\n", "3: expected 5 fields, found 4"},
      {header + "\n\n" + good + "1,2,2024-02-30,1,P\n", "5: date: not a date YYYY-MM-DD"},
      {"property,owner,amount,date,state\n" + good,
       "1: header must be: property,owner,date,amount,state"},
      {"", "1: empty file: no header"},
      {header + good + "\"1,2,2024-01-01,1,P\n",
       "3: quoted field not closed at the end of the file"},
      {header + good + "1,2\"x\",2024-01-01,1,P\n", "3: badly quoted field"},
      {header + "1,1,2024-01-01,1,\"multi\nline\"\n" + "1,2,2024-01-01,1,Q\n1,3,x,1,P\n",
       "2: state: not one letter"},
      {header + "1,1,2024-01-01,1,\"P\"\n1,3,\"2024-\n01-01\",1,P\n",
       "3: date: not a date YYYY-MM-DD"},
      {header + good + "9,9,2020-01-01,1.00,P\n", ""},  // duplicates are allowed in receipts
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    WriteFile(dir / "new.csv", c.csv);
    Result r = Run("import receipts --replace '" + dir / "new.csv" + "'");
    if (c.message.empty()) {
      EXPECT_EQ(r.code, 0) << r.err;
      ASSERT_EQ(Run("import receipts --replace '" + dir / "old.csv" + "'").code, 0);
      continue;
    }
    EXPECT_NE(r.code, 0);
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), dir / "new.csv" + ":" + c.message);
    // Neither the replace nor any line before the bad one was stored.
    EXPECT_EQ(Run("export receipts").out, header + "9,9,2020-01-01,1.00,P\n");
  }
  // A duplicate on a unique key.
  WriteFile(dir / "t.csv", "code,description,group\nA,one,G\nB,two,G\nA,three,G\n");
  Result r = Run("import texts '" + dir / "t.csv" + "'");
  EXPECT_NE(r.code, 0);
  EXPECT_EQ(r.err.substr(0, r.err.find('\n')),
            dir / "t.csv" + ":4: a record with the same key is already in the file");
  EXPECT_EQ(Run("export texts").out, "code,description,group\n");
  // A file that cannot be read.
  r = Run("import texts '" + dir / "missing.csv" + "'");
  EXPECT_NE(r.code, 0);
  EXPECT_NE(r.err.find("missing.csv"), std::string::npos);
}

TEST_F(Zurdata, OptionsAndStat) {
  Result r = Run("--version");
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "0.1.0\n");
  r = Run("--help");
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("import"), std::string::npos);
  EXPECT_NE(r.out.find("property,owner,date,amount,state"), std::string::npos);
  EXPECT_NE(Run("import letters x.csv").code, 0);
  EXPECT_NE(Run("").code, 0);

  WriteFile(dir / "o.csv", "property,owner,name,unit,mail1,mail2,mail3\n1,1,A,,,,\n1,2,B,,,,\n");
  ASSERT_EQ(Run("import owners '" + dir / "o.csv" + "'").code, 0);
  r = Run("stat owners");
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("record length: 428"), std::string::npos);
  EXPECT_NE(r.out.find("records: 2"), std::string::npos);
  EXPECT_NE(r.out.find("key 1: 30 bytes, duplicates"), std::string::npos);

  // The record files are plain SQLite databases the shell can inspect.
  const std::string cmd = "sqlite3 '" + dir / "DADES/PropietH.dat" +
                          "' 'SELECT count(*) FROM records' >'" + dir / "sq.txt" + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_EQ(*ReadFile(dir / "sq.txt"), "2\n");

  // A root without record files.
  TempDir empty;
  const std::string missing =
      std::string(ZURDATA_PATH) + " --root '" + empty.path() + "' export texts >/dev/null 2>&1";
  EXPECT_NE(std::system(missing.c_str()), 0);
}

}  // namespace
