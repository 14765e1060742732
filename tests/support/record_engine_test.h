#pragma once
// What the record manager's suites share: a fixture that runs each test on one engine
// (SQLite files, or PostgreSQL when ZUR_TEST_PG names a server), and a handle that
// makes raw BTRCALLs on one open file.

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/record_manager.h"
#include "tests/support/postgres.h"

namespace testing_support {

// A suite parameterised over the engines. Every test starts with no file open and the
// busy timeout given, on a fresh engine scope (skipped when PostgreSQL has no server),
// and ends with the files closed and the manager's timeouts back at their defaults.
// A derived SetUp calls this one first and returns when the test IsSkipped() or has
// failed.
class RecordEngineTest : public ::testing::TestWithParam<RecordEngine> {
 protected:
  explicit RecordEngineTest(int busyTimeoutMilliseconds) : busyTimeout_(busyTimeoutMilliseconds) {}

  void SetUp() override {
    platform::BTRCALL(platform::kOpReset, nullptr, nullptr, nullptr, nullptr, 0, 0);
    platform::SetRecordManagerBusyTimeout(busyTimeout_);
    ZUR_USE_RECORD_ENGINE(engine, GetParam());
  }
  void TearDown() override {
    platform::BTRCALL(platform::kOpReset, nullptr, nullptr, nullptr, nullptr, 0, 0);
    platform::SetRecordManagerBusyTimeout(2000);
    platform::SetRecordManagerReadAheadAge(50);
    engine.reset();
  }

  std::unique_ptr<EngineScope> engine;

 private:
  int busyTimeout_;
};

// One open record file, reached with raw BTRCALLs: its position block, a 1536-byte
// data buffer and a 256-byte key buffer.
struct RecordHandle {
  std::array<uint8_t, platform::kPositionBlockSize> block{};
  std::array<uint8_t, 1536> data{};
  std::array<uint8_t, 256> key{};

  // Opens the file in normal mode.
  int16_t Open(const std::string& path) {
    block.fill(0);
    key.fill(0);
    std::memcpy(key.data(), path.data(), path.size());
    return platform::BTRCALL(platform::kOpOpen, block.data(), nullptr, nullptr, key.data(),
                             static_cast<uint8_t>(path.size()), 0);
  }
  // Inserts the record (its whole length).
  int16_t Insert(const std::string& rec) {
    std::memcpy(data.data(), rec.data(), rec.size());
    uint32_t n = static_cast<uint32_t>(rec.size());
    key.fill(0);
    return platform::BTRCALL(platform::kOpInsert, block.data(), data.data(), &n, key.data(), 255,
                             0);
  }
  // Reads the first record by key 0 into data.
  int16_t First() {
    uint32_t n = data.size();
    return platform::BTRCALL(platform::kOpGetFirst, block.data(), data.data(), &n, key.data(), 255,
                             0);
  }
  // A read with the key value given; "status|record" (the record only on success).
  std::string Get(uint16_t op, int8_t keyNumber, const std::string& value) {
    key.fill(0);
    std::memcpy(key.data(), value.data(), value.size());
    data.fill('.');
    uint32_t n = static_cast<uint32_t>(data.size());
    const int16_t status =
        platform::BTRCALL(op, block.data(), data.data(), &n, key.data(), 255, keyNumber);
    std::string out = std::to_string(status);
    if (status == 0) out += "|" + std::string(reinterpret_cast<char*>(data.data()), n);
    return out;
  }
};

}  // namespace testing_support
