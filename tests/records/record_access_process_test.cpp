// The record access layer reading while another program (zurdata) imports into the
// same file: every record read is whole and the walk is in key order; nothing hangs.

#include <gtest/gtest.h>

#include <string>

#include "platform/packed_digits.h"
#include "platform/record_manager.h"
#include "platform/record_status.h"
#include "records/record_access.h"
#include "records/record_access_ui.h"
#include "records/record_layouts.h"
#include "session/session.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace records;
using testing_support::ChildProcess;
using testing_support::TempDir;

constexpr int kReceipts = 20000;

// Receipt i belongs to property i / 100, owner i % 100; its amount tells both, so a
// record mixed from two writes would show.
std::string ReceiptsCsv() {
  std::string csv = "property,owner,date,amount,state\n";
  for (int i = 0; i < kReceipts; ++i) {
    const int property = i / 100, owner = i % 100;
    csv += std::to_string(property) + "," + std::to_string(owner) + ",2024-01-" +
           (owner % 28 < 9 ? "0" : "") + std::to_string(owner % 28 + 1) + "," +
           std::to_string(property) + "." + (owner < 10 ? "0" : "") + std::to_string(owner) +
           ",P\n";
  }
  return csv;
}

TEST(RecordAccessProcesses, ReadsStayWholeWhileAnotherProgramImports) {
  TempDir dir;
  {
    ChildProcess init({ZURDATA_PATH, "--root", dir.path(), "init"});
    init.CloseInput();
    ASSERT_EQ(init.Wait(30000), 0);
  }
  testing_support::WriteFile(dir / "r.csv", ReceiptsCsv());
  {
    ChildProcess first({ZURDATA_PATH, "--root", dir.path(), "import", "receipts", dir / "r.csv"});
    first.CloseInput();
    ASSERT_EQ(first.Wait(60000), 0);
  }

  int16_t status = -1;
  ResetRecordAccessState();
  ResetRecordAccessUi();
  session::ResetSession();
  session::Session().rootDir = dir.path();
  ReceiptRecord::Buffer buffer{};
  OpenRecordFile(514, dir.path() + "DADES\\CobramH", buffer, status);
  ASSERT_EQ(status, 0);

  int walks = 0;
  for (int round = 0; round < 3; ++round) {
    ChildProcess writer(
        {ZURDATA_PATH, "--root", dir.path(), "import", "receipts", "--replace", dir / "r.csv"});
    writer.CloseInput();
    do {
      SeekRecord(514, 0, "", 1, status);
      std::string lastKey;
      int seen = 0;
      while (status == 0) {
        const std::string code(FieldText(buffer, ReceiptRecord::ownerCode));
        const std::string digits = platform::UnpackDigits(code);
        const int property = std::stoi(digits.substr(0, 4));
        const int owner = std::stoi(digits.substr(4, 4));
        ASSERT_EQ(FieldInt32(buffer, ReceiptRecord::amount), property * 100 + owner);
        ASSERT_EQ(FieldText(buffer, ReceiptRecord::state), "P");
        const std::string key = code + std::string(FieldText(buffer, ReceiptRecord::receiptDate));
        ASSERT_LE(lastKey, key);  // key order, never backwards
        lastKey = key;
        ++seen;
        StepRecord(514, 1, status);
      }
      ASSERT_EQ(status, platform::kStatusEndOfFile);
      ASSERT_GE(seen, kReceipts);  // the file is never seen half replaced
      ++walks;
    } while (writer.Running());
    ASSERT_EQ(writer.Wait(1000), 0);
  }
  EXPECT_GE(walks, 3);
  ResetRecordManager(status);
  session::ResetSession();
}

}  // namespace
