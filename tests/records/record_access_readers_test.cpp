// Two readers of the receipts file, each a process of its own walking it through the
// record access layer as the module does, while zurdata replaces the whole file on a
// third, three times over: every walk sees every receipt whole and in key order, and
// each import all or nothing; nothing hangs. On PostgreSQL the two readers log in as
// two different users of the server.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/postgres.h"
#include "tests/support/temp_dir.h"

namespace {

using testing_support::ChildProcess;
using testing_support::RecordEngine;
using testing_support::TempDir;

constexpr int kReceipts = 5000;

// Receipt i belongs to property i / 100, owner i % 100; its amount tells both, and its
// state is the letter of the import that wrote it.
std::string ReceiptsCsv(char letter) {
  std::string csv = "property,owner,date,amount,state\n";
  for (int i = 0; i < kReceipts; ++i) {
    const int property = i / 100, owner = i % 100;
    csv += std::to_string(property) + "," + std::to_string(owner) + ",2024-01-" +
           (owner % 28 < 9 ? "0" : "") + std::to_string(owner % 28 + 1) + "," +
           std::to_string(property) + "." + (owner < 10 ? "0" : "") + std::to_string(owner) + "," +
           letter + "\n";
  }
  return csv;
}

class RecordAccessReaders : public ::testing::TestWithParam<RecordEngine> {
 protected:
  void SetUp() override { ZUR_USE_RECORD_ENGINE(engine, GetParam()); }
  void TearDown() override {
    engine.reset();
    if (!readerRole.empty()) {
      testing_support::PgQuery(testing_support::TestPostgres(),
                               "DROP ROLE IF EXISTS " + readerRole);
    }
  }

  int Zurdata(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {ZURDATA_PATH, "--root", dir.path()};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess child(argv, dir / "zurdata.txt");
    child.CloseInput();
    return child.Wait(120000);
  }

  // The connection of the second reader: on PostgreSQL another login of the server,
  // with the rights of the first.
  std::string SecondReaderConnection() {
    if (GetParam() != RecordEngine::kPostgres) return "";
    readerRole = "zur_reader_" + std::to_string(::getpid());
    std::string error;
    EXPECT_TRUE(testing_support::PgQuery(engine->conninfo(),
                                         "CREATE ROLE " + readerRole +
                                             " LOGIN; DO $$ BEGIN EXECUTE format('GRANT %I TO " +
                                             readerRole + "', current_user); END $$",
                                         &error)
                    .has_value())
        << error;
    return testing_support::WithParameter(engine->conninfo(), "user", readerRole);
  }

  TempDir dir;
  std::unique_ptr<testing_support::EngineScope> engine;
  std::string readerRole;
};

INSTANTIATE_TEST_SUITE_P(Engines, RecordAccessReaders,
                         ::testing::Values(RecordEngine::kSqlite, RecordEngine::kPostgres),
                         testing_support::RecordEngineName);

TEST_P(RecordAccessReaders, TwoReadersSeeEachImportWholeOrNotAtAll) {
  ASSERT_EQ(Zurdata({"init"}), 0);
  for (char letter : {'A', 'B', 'C', 'D'}) {
    testing_support::WriteFile(dir / (std::string(1, letter) + ".csv"), ReceiptsCsv(letter));
  }
  ASSERT_EQ(Zurdata({"import", "receipts", dir / "A.csv"}), 0);

  const std::string second = SecondReaderConnection();
  const std::string count = std::to_string(kReceipts);
  std::vector<std::string> first = {RECEIPT_READER, dir.path(), dir / "ready1", dir / "stop",
                                    count};
  std::vector<std::string> other = {RECEIPT_READER, dir.path(), dir / "ready2", dir / "stop",
                                    count};
  if (!second.empty()) other.push_back(second);
  ChildProcess reader1(first, dir / "reader1.txt");
  ChildProcess reader2(other, dir / "reader2.txt");
  ASSERT_TRUE(testing_support::WaitForFile(dir / "ready1", 60000))
      << testing_support::ReadFile(dir / "reader1.txt").value_or("");
  ASSERT_TRUE(testing_support::WaitForFile(dir / "ready2", 60000))
      << testing_support::ReadFile(dir / "reader2.txt").value_or("");

  for (const char* letter : {"B", "C", "D"}) {
    SCOPED_TRACE(letter);
    EXPECT_EQ(Zurdata({"import", "receipts", "--replace", dir / (std::string(letter) + ".csv")}), 0)
        << testing_support::ReadFile(dir / "zurdata.txt").value_or("");
  }
  testing_support::WriteFile(dir / "stop", "");
  const int code1 = reader1.Wait(60000), code2 = reader2.Wait(60000);
  const std::string out1 = testing_support::ReadFile(dir / "reader1.txt").value_or("");
  const std::string out2 = testing_support::ReadFile(dir / "reader2.txt").value_or("");
  std::printf("reader 1: %sreader 2: %s", out1.c_str(), out2.c_str());
  EXPECT_EQ(code1, 0) << out1;
  EXPECT_EQ(code2, 0) << out2;
  // Both read while the imports ran (they saw more than the first import), and both
  // end on the last one.
  for (const std::string& out : {out1, out2}) {
    SCOPED_TRACE(out);
    const size_t letters = out.find("letters ");
    ASSERT_NE(letters, std::string::npos);
    const std::string seen = out.substr(letters + 8, out.find('\n', letters) - letters - 8);
    EXPECT_GE(seen.size(), 2u);
    EXPECT_EQ(seen.back(), 'D');
  }
}

}  // namespace
