// The record manager with the smallest buffers a caller may pass: a data buffer of
// length 0 may be null, and then nothing is read from it or written to it, whatever
// the operation. Each call gives a status and a length of 0, never a crash. Both
// engines (PostgreSQL when ZUR_TEST_PG names a server).

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/record_file_spec.h"
#include "platform/record_manager.h"
#include "platform/record_status.h"
#include "tests/support/postgres.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace platform;
using testing_support::RecordEngine;
using testing_support::TempDir;

class NullBufferTest : public ::testing::TestWithParam<RecordEngine> {
 protected:
  void SetUp() override {
    ZUR_USE_RECORD_ENGINE(engine_, GetParam());
    // 8-byte records, one unique key on the first 4 bytes, one record in the file.
    FileSpec spec;
    spec.recordLength = 8;
    spec.pageSize = 512;
    spec.keys.push_back({{{1, 4, 0}}});
    std::string bytes = EncodeFileSpec(spec);
    std::string name = path_;
    uint32_t length = static_cast<uint32_t>(bytes.size());
    ASSERT_EQ(BTRCALL(kOpCreate, block_.data(), bytes.data(), &length, name.data(),
                      static_cast<uint8_t>(name.size()), 0),
              kStatusSuccess);
    ASSERT_EQ(BTRCALL(kOpOpen, block_.data(), nullptr, nullptr, name.data(),
                      static_cast<uint8_t>(name.size()), kOpenNormal),
              kStatusSuccess);
    std::string record = "AAAArest";
    length = 8;
    std::array<char, 255> key{};
    ASSERT_EQ(BTRCALL(kOpInsert, block_.data(), record.data(), &length, key.data(), 255, 0),
              kStatusSuccess);
  }
  void TearDown() override {
    BTRCALL(kOpReset, nullptr, nullptr, nullptr, nullptr, 0, 0);
    engine_.reset();
  }

  TempDir dir_;
  std::string path_ = dir_ / "null.dat";
  std::array<uint8_t, kPositionBlockSize> block_{};
  std::unique_ptr<testing_support::EngineScope> engine_;
};

INSTANTIATE_TEST_SUITE_P(Engines, NullBufferTest,
                         ::testing::Values(RecordEngine::kSqlite, RecordEngine::kPostgres),
                         testing_support::RecordEngineName);

TEST_P(NullBufferTest, EveryOperationTakesANullDataBufferOfLengthZero) {
  struct Case {
    const char* name;
    uint16_t operation;
    int16_t status;
  };
  const Case cases[] = {
      // The file description does not fit: its first 0 bytes come back.
      {"stat", kOpStat, kStatusDataBufferTooShort},
      {"first", kOpGetFirst, kStatusDataBufferTooShort},
      {"last", kOpGetLast, kStatusDataBufferTooShort},
      {"equal", kOpGetEqual, kStatusDataBufferTooShort},
      {"position", kOpGetPosition, kStatusDataBufferTooShort},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::array<char, 255> key{};
    key.fill(0);
    key[0] = key[1] = key[2] = key[3] = 'A';
    uint32_t length = 0;
    EXPECT_EQ(BTRCALL(c.operation, block_.data(), nullptr, &length, key.data(), 255, 0), c.status);
    EXPECT_EQ(length, 0u);
  }
}

TEST_P(NullBufferTest, WritesWithANullDataBufferAreRefusedAndChangeNothing) {
  std::array<char, 255> key{};
  for (uint16_t operation : {kOpInsert, kOpUpdate, kOpGetDirect}) {
    SCOPED_TRACE(operation);
    uint32_t length = 0;
    EXPECT_NE(BTRCALL(operation, block_.data(), nullptr, &length, key.data(), 255, 0),
              kStatusSuccess);
  }
  std::array<char, 1536> spec{};
  uint32_t length = spec.size();
  ASSERT_EQ(BTRCALL(kOpStat, block_.data(), spec.data(), &length, key.data(), 255, 0),
            kStatusSuccess);
  EXPECT_EQ(static_cast<uint8_t>(spec[6]), 1);  // still one record
}

}  // namespace
