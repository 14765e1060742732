// The field file of one owner and its pending receipts: every field in order, the
// receipt list three to a line, the receipt states that count, and a file that
// cannot be written.

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "app/field_file.h"
#include "app/letter_selection.h"
#include "app/letter_state.h"
#include "app/pending_receipts.h"
#include "platform/packed_digits.h"
#include "session/session.h"
#include "tests/app/letter_fixture.h"

namespace {

using app::Letters;
using app_test::Pad;

// Name line and one-line value, as the field file holds them.
std::string Field(const std::string& name, const std::string& value) {
  return "\x7f" + name + "\r\n" + value + "\xff\r\n";
}

class FieldFileTest : public app_test::LetterFixture {
 protected:
  void SetUp() override {
    LetterFixture::SetUp();
    InstallData("1,\"Carrer Major, 12\",17001 Girona,Girona\n",
                "1,1,Serra Pujol*Anna,Baixos 1a,,,\n"
                "1,2,Font*Enric,2n 1a,\"Carrer Vidal, 105\",08016 Barcelona,Barcelona\n"
                "1,3,Mas*Pere,3r 1a,,,\n"
                "1,4,Puig*Laia,4t 1a,,,\n",
                // 1.1 has none; 1.2 three pending and a paid one; 1.3 four returned;
                // 1.4 one of each state.
                "1,2,2025-01-01,120.00,P\n"
                "1,2,2025-02-01,55.00,C\n"
                "1,2,2025-04-01,-20.50,P\n"
                "1,2,2025-07-01,1234.56,D\n"
                "1,3,2025-01-01,10.00,D\n"
                "1,3,2025-02-01,20.00,D\n"
                "1,3,2025-03-01,30.00,D\n"
                "1,3,2025-04-01,40.00,D\n"
                "1,4,2025-01-01,1.00,P\n"
                "1,4,2025-02-01,2.00,D\n"
                "1,4,2025-03-01,4.00,X\n"
                "1,4,2025-04-01,8.00,C\n");
    app::LetterSelection& s = Letters().selection;
    s.letterDate = platform::PackDigits("20260315");
    s.receiptState = "T";
  }

  // The owner's letter: address block, counting pass, field file.
  app::LetterProblem WriteFor(int owner) {
    ReadOwner(1, owner);
    app::BuildAddressBlock();
    app::PendingReceipts(nullptr);
    return app::WriteFieldFile();
  }

  // The field file from NUMREB on.
  std::string ReceiptFields() {
    const std::string bytes = FieldFileBytes();
    const size_t at = bytes.find("\x7fNUMREB");
    return at == std::string::npos ? bytes : bytes.substr(at);
  }
};

TEST_F(FieldFileTest, HoldsEveryFieldInOrder) {
  ASSERT_EQ(WriteFor(2).status, app::kLetterOk);
  const std::string expected =
      Field("MEM1", Pad("Finques Roca", 35)) +
      Field("MEM2", Pad("Administraci\xA2 de finques", 35)) +
      Field("MEM3", Pad("C. Diputaci\xA2, 212", 35)) + Field("MEM4", Pad("08011 Barcelona", 35)) +
      Field("MEM5", Pad("", 35)) + Field("MEM6", Pad("", 35)) + Field("MEM7", Pad("", 35)) +
      Field("MEM8", Pad("Barcelona", 35)) + Field("FEC0", "15/3/2026 ") +
      Field("FEC1", "15/mar/2026") + Field("FECHA", "15 de mar\x87 del 2026") +
      Field("FEC3", "quinze de mar\x87 del 2026") +
      Field("FEC4", "quinze de mar\x87 del dos mil vint-i-sis") +
      // The owner's own address; DES5 is still the unit's address in the property.
      Field("DES0", "H001002") + Field("DES1", "Enric Font") + Field("DES2", "Carrer Vidal, 105") +
      Field("DES3", Pad("08016 Barcelona", 30)) + Field("DES4", Pad("Barcelona", 30)) +
      Field("DES5", "Carrer Major, 12 2n 1a     ") +
      // The negative receipt lowers the total; the paid one does not count.
      Field("NUMREB", "   3") + Field("TOTPEN", "     1.334,06 ") +
      "\x7fRELPEN\r\n"
      "\x01          1/1/2025          120,00    1/4/2025           20,50-   "
      "1/7/2025        1.234,56    \r\n"
      "\xff\r\n";
  EXPECT_EQ(FieldFileBytes(), expected);
}

TEST_F(FieldFileTest, ReceiptListsThreeToALine) {
  const struct {
    int owner;
    std::string expected;
  } cases[] = {
      // No receipt: the list is the byte 1 and the closing byte 255 at once.
      {1,
       Field("NUMREB", "   0") + Field("TOTPEN", "         0,00 ") + "\x7fRELPEN\r\n\x01\xff\r\n"},
      {3, Field("NUMREB", "   4") + Field("TOTPEN", "       100,00 ") +
              "\x7fRELPEN\r\n"
              "\x01          1/1/2025           10,00    1/2/2025           20,00    "
              "1/3/2025           30,00    \r\n"
              "          1/4/2025           40,00    \xff\r\n"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(WriteFor(c.owner).status, app::kLetterOk);
    EXPECT_EQ(ReceiptFields(), c.expected) << "owner " << c.owner;
  }
}

TEST_F(FieldFileTest, ReceiptStateChoosesWhatCounts) {
  const struct {
    const char* state;
    int32_t count;
    double total;
  } cases[] = {
      {"T", 2, 300}, {"P", 1, 100}, {"D", 1, 200}, {"X", 1, 400}, {"C", 1, 800}, {"Z", 0, 0},
  };
  ReadOwner(1, 4);
  for (const auto& c : cases) {
    Letters().selection.receiptState = c.state;
    app::PendingReceipts(nullptr);
    EXPECT_EQ(Letters().pendingCount, c.count) << c.state;
    EXPECT_EQ(Letters().pendingTotal, c.total) << c.state;
  }
}

TEST_F(FieldFileTest, NextLetterReplacesTheFile) {
  ASSERT_EQ(WriteFor(3).status, app::kLetterOk);
  ASSERT_EQ(WriteFor(1).status, app::kLetterOk);
  const std::string bytes = FieldFileBytes();
  EXPECT_NE(bytes.find(Field("DES0", "H001001")), std::string::npos);
  EXPECT_EQ(bytes.find("H001003"), std::string::npos);
  EXPECT_EQ(bytes.substr(bytes.size() - 4), "\x01\xff\r\n");
}

TEST_F(FieldFileTest, ValuesAreWrittenUnquotedOnTheirOwnLine) {
  app::AddressBlock& block = Letters().addressBlock;
  ReadOwner(1, 1);
  app::PendingReceipts(nullptr);
  block = {"a,\"b\"", "", "line\r\nbreak", std::string("end\xff") + "\x1a" + "z", "\x7fMEM1"};
  ASSERT_EQ(app::WriteFieldFile().status, app::kLetterOk);
  const std::string bytes = FieldFileBytes();
  EXPECT_NE(bytes.find(Field("DES0", "a,\"b\"")), std::string::npos);
  EXPECT_NE(bytes.find("\x7f"
                       "DES1\r\n\xff\r\n"),
            std::string::npos);
  // Bytes that would end the line, the value or the file become blanks.
  EXPECT_NE(bytes.find(Field("DES2", "line  break")), std::string::npos);
  EXPECT_NE(bytes.find(Field("DES3", "end  z")), std::string::npos);
  EXPECT_NE(bytes.find(Field("DES4", " MEM1")), std::string::npos);
}

TEST_F(FieldFileTest, FileThatCannotBeWrittenIsReported) {
  ASSERT_EQ(::symlink("/dev/full", (work + "merge.tmp").c_str()), 0);
  app::LetterProblem problem = WriteFor(2);
  EXPECT_EQ(problem.status, app::kFieldFileNotWritten);
  EXPECT_EQ(problem.name, work + "merge.tmp");

  session::Session().workDir = root + "GONE/";
  problem = WriteFor(2);
  EXPECT_EQ(problem.status, app::kFieldFileNotWritten);
  EXPECT_EQ(problem.name, root + "GONE/merge.tmp");
}

}  // namespace
