// The record manager beside another program: a file held locked gives 85 at open and
// 84 for a write after a bounded wait (never a hang), a writer does not hold up
// readers, and damaged files give a status when opened in a process of their own.
// The locking cases run on both engines (PostgreSQL when ZUR_TEST_PG names a server).

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "platform/record_file_spec.h"
#include "platform/record_manager.h"
#include "platform/record_status.h"
#include "tests/support/child_process.h"
#include "tests/support/postgres.h"
#include "tests/support/record_engine_test.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace platform;
using testing_support::ChildProcess;
using testing_support::ReadFile;
using testing_support::RecordEngine;
using testing_support::TempDir;
using testing_support::WaitForFile;
using testing_support::WriteFile;

using Handle = testing_support::RecordHandle;

class RecordManagerProcesses : public testing_support::RecordEngineTest {
 protected:
  RecordManagerProcesses() : RecordEngineTest(300) {}

  // One file of 8-byte records with a unique 4-byte key, holding "0001".
  void SetUp() override {
    RecordEngineTest::SetUp();
    if (IsSkipped() || HasFailure()) return;
    FileSpec spec;
    spec.recordLength = 8;
    spec.pageSize = 512;
    spec.keys.push_back(KeySpec{{KeySegmentSpec{1, 4, 0}}});
    std::string bytes = EncodeFileSpec(spec);
    std::array<uint8_t, 256> key{};
    std::memcpy(key.data(), path.data(), path.size());
    uint32_t n = static_cast<uint32_t>(bytes.size());
    ASSERT_EQ(BTRCALL(kOpCreate, nullptr, bytes.data(), &n, key.data(),
                      static_cast<uint8_t>(path.size()), -1),
              0);
    Handle h;
    ASSERT_EQ(h.Open(path), 0);
    ASSERT_EQ(h.Insert("0001    "), 0);
    BTRCALL(kOpReset, nullptr, nullptr, nullptr, nullptr, 0, 0);
  }

  TempDir dir;
  std::string path = dir / "f.dat";
};

INSTANTIATE_TEST_SUITE_P(Engines, RecordManagerProcesses,
                         ::testing::Values(RecordEngine::kSqlite, RecordEngine::kPostgres),
                         testing_support::RecordEngineName);

// The bytes of damaged files: SQLite files only.
class SqliteRecordFileProcesses : public RecordManagerProcesses {};
INSTANTIATE_TEST_SUITE_P(Engines, SqliteRecordFileProcesses,
                         ::testing::Values(RecordEngine::kSqlite),
                         testing_support::RecordEngineName);

TEST_P(RecordManagerProcesses, AFileHeldLockedGives85AtOpenUntilReleased) {
  ChildProcess holder({RECORD_LOCK_HOLDER, "exclusive", path, dir / "ready"});
  ASSERT_TRUE(WaitForFile(dir / "ready", 10000));
  Handle h;
  EXPECT_EQ(h.Open(path), kStatusFileLocked);
  EXPECT_EQ(h.First(), kStatusFileNotOpen);
  holder.CloseInput();
  ASSERT_EQ(holder.Wait(10000), 0);
  ASSERT_EQ(h.Open(path), 0);
  EXPECT_EQ(h.First(), 0);
}

TEST_P(RecordManagerProcesses, AWriterHoldsUpWritesNotReads) {
  Handle h;
  ASSERT_EQ(h.Open(path), 0);
  ChildProcess holder({RECORD_LOCK_HOLDER, "write", path, dir / "ready"});
  ASSERT_TRUE(WaitForFile(dir / "ready", 10000));
  EXPECT_EQ(h.First(), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(h.data.data()), 4), "0001");
  EXPECT_EQ(h.Insert("0002    "), kStatusRecordLocked);
  // Another handle opens fine while the write lock is held.
  Handle other;
  EXPECT_EQ(other.Open(path), 0);
  holder.CloseInput();
  ASSERT_EQ(holder.Wait(10000), 0);
  EXPECT_EQ(h.Insert("0002    "), 0);
}

TEST_P(RecordManagerProcesses, ATransactionHoldsUpAnotherProgramsWritesNotItsReads) {
  Handle h;
  ASSERT_EQ(h.Open(path), 0);
  ASSERT_EQ(BTRCALL(kOpBeginTransaction, nullptr, nullptr, nullptr, nullptr, 0, 0), 0);
  ASSERT_EQ(h.Insert("0002    "), 0);
  {
    // The other program waits its busy timeout, then gives up with 84 (exit code 4).
    ChildProcess writer({RECORD_LOCK_HOLDER, "insert", path, "0003    "});
    writer.CloseInput();
    EXPECT_EQ(writer.Wait(20000), 4);
    ChildProcess reader({RECORD_LOCK_HOLDER, "open", path}, dir / "status.txt");
    reader.CloseInput();
    EXPECT_EQ(reader.Wait(20000), 0);
    EXPECT_EQ(*ReadFile(dir / "status.txt"), "0\n");
  }
  ASSERT_EQ(BTRCALL(kOpEndTransaction, nullptr, nullptr, nullptr, nullptr, 0, 0), 0);
  ChildProcess writer({RECORD_LOCK_HOLDER, "insert", path, "0003    "});
  writer.CloseInput();
  EXPECT_EQ(writer.Wait(20000), 0);
}

TEST_P(SqliteRecordFileProcesses, DamagedFilesGiveAStatusInAProcessOfTheirOwn) {
  const std::string valid = *ReadFile(path);
  std::string big;  // a file of many pages, to be cut in half
  {
    FileSpec spec;
    spec.recordLength = 64;
    spec.pageSize = 512;
    spec.keys.push_back(KeySpec{{KeySegmentSpec{1, 8, 0}}});
    std::string bytes = EncodeFileSpec(spec);
    const std::string bigPath = dir / "big.dat";
    std::array<uint8_t, 256> key{};
    std::memcpy(key.data(), bigPath.data(), bigPath.size());
    uint32_t n = static_cast<uint32_t>(bytes.size());
    ASSERT_EQ(BTRCALL(kOpCreate, nullptr, bytes.data(), &n, key.data(),
                      static_cast<uint8_t>(bigPath.size()), -1),
              0);
    Handle h;
    ASSERT_EQ(h.Open(bigPath), 0);
    ASSERT_EQ(BTRCALL(kOpBeginTransaction, nullptr, nullptr, nullptr, nullptr, 0, 0), 0);
    for (int i = 0; i < 2000; ++i) {
      char rec[65];
      std::snprintf(rec, sizeof rec, "%08d%056d", i, i);
      ASSERT_EQ(h.Insert(std::string(rec, 64)), 0);
    }
    ASSERT_EQ(BTRCALL(kOpEndTransaction, nullptr, nullptr, nullptr, nullptr, 0, 0), 0);
    BTRCALL(kOpReset, nullptr, nullptr, nullptr, nullptr, 0, 0);
    big = *ReadFile(bigPath);
  }
  struct Case {
    const char* name;
    std::string bytes;
    int16_t status;
  } cases[] = {
      {"text.dat", "not a record file at all\r\n", kStatusNotARecordFile},
      {"empty.dat", "", kStatusNotARecordFile},
      {"cut.dat", big.substr(0, big.size() / 2), kStatusIoError},
      {"header.dat", valid.substr(0, 50), kStatusIoError},
      {"zeros.dat", std::string(8192, '\0'), kStatusNotARecordFile},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(dir / c.name, c.bytes);
    ChildProcess child({RECORD_LOCK_HOLDER, "open", dir / c.name}, dir / "status.txt");
    child.CloseInput();
    EXPECT_EQ(child.Wait(20000), 0);  // ended normally, not by a signal
    EXPECT_EQ(*ReadFile(dir / "status.txt"), std::to_string(c.status) + "\n");
  }
}

}  // namespace
