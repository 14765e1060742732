// Rows read ahead by the record manager: reads answered from them give what a query
// gives at every step; another program's write is seen once they are older than the
// read-ahead age, a write of this process at once. Both engines (PostgreSQL when
// ZUR_TEST_PG names a server).

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/record_file_spec.h"
#include "platform/record_manager.h"
#include "platform/record_status.h"
#include "platform/record_store.h"
#include "tests/support/child_process.h"
#include "tests/support/postgres.h"
#include "tests/support/record_engine_test.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace platform;
using testing_support::ChildProcess;
using testing_support::RecordEngine;
using testing_support::TempDir;
using Clock = std::chrono::steady_clock;

// Records of 12 bytes: key 0 a 4-byte text at 1 (duplicates), key 1 a 2-byte binary
// number at 5 (duplicates), payload at 7.
constexpr uint32_t kLength = 12;

FileSpec Spec() {
  FileSpec spec;
  spec.recordLength = kLength;
  spec.pageSize = 512;
  spec.keys.push_back(KeySpec{{KeySegmentSpec{1, 4, kKeyDuplicates}}});
  spec.keys.push_back(KeySpec{{KeySegmentSpec{5, 2, kKeyBinary | kKeyDuplicates}}});
  return spec;
}

// Key 1 of two blanks, for records that travel to another program as an argument.
constexpr int kBlanks = 0x2020;

std::string Binary(int value) {
  return std::string{static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
}

std::string Rec(const std::string& key0, int key1, const std::string& payload) {
  std::string r = key0 + Binary(key1) + payload;
  r.resize(kLength, ' ');
  return r;
}

using Handle = testing_support::RecordHandle;

int16_t Create(const std::string& path) {
  std::string bytes = EncodeFileSpec(Spec());
  std::array<uint8_t, 256> name{};
  std::memcpy(name.data(), path.data(), path.size());
  uint32_t n = static_cast<uint32_t>(bytes.size());
  return BTRCALL(kOpCreate, nullptr, bytes.data(), &n, name.data(),
                 static_cast<uint8_t>(path.size()), 0);
}

struct Read {
  uint16_t op;
  int8_t keyNumber;
  std::string value;  // key 0: 4 characters; key 1: Binary(n)
};

Read Ge(const std::string& v) {
  return {kOpGetGreaterOrEqual, 0, v};
}
Read Gt(const std::string& v) {
  return {kOpGetGreater, 0, v};
}
Read Eq(const std::string& v) {
  return {kOpGetEqual, 0, v};
}
Read Le(const std::string& v) {
  return {kOpGetLessOrEqual, 0, v};
}
Read Lt(const std::string& v) {
  return {kOpGetLess, 0, v};
}
Read Next(int8_t keyNumber = 0) {
  return {kOpGetNext, keyNumber, ""};
}
Read Prev(int8_t keyNumber = 0) {
  return {kOpGetPrevious, keyNumber, ""};
}
Read First() {
  return {kOpGetFirst, 0, ""};
}
Read Last() {
  return {kOpGetLast, 0, ""};
}

std::vector<Read> Repeat(int n, const Read& r) {
  return std::vector<Read>(static_cast<size_t>(n), r);
}

std::vector<Read> Join(std::initializer_list<std::vector<Read>> parts) {
  std::vector<Read> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

class ReadAhead : public testing_support::RecordEngineTest {
 protected:
  ReadAhead() : RecordEngineTest(300) {}

  // Gives the record whose key 0 is "0050" a key image with a stray fifth byte: it
  // still sorts between 0040 and 0060 but no longer has the shape of an image.
  void DamageImage(const std::string& path) {
    if (GetParam() == RecordEngine::kSqlite) {
      ASSERT_EQ(
          std::system(
              ("sqlite3 '" + path +
               "' \"UPDATE records SET k0 = CAST(k0 || x'00' AS BLOB) WHERE k0 = x'30303530'\"")
                  .c_str()),
          0);
      return;
    }
    std::string error;
    const std::string schema = RecordFileSchema(RecordFileKey(path, ""));
    ASSERT_TRUE(testing_support::PgQuery(engine->conninfo(),
                                         "UPDATE " + schema +
                                             ".records SET k0 = k0 || '\\x00'::bytea WHERE k0 "
                                             "= '\\x30303530'::bytea",
                                         &error)
                    .has_value())
        << error;
  }

  TempDir dir;
};

INSTANTIATE_TEST_SUITE_P(Engines, ReadAhead,
                         ::testing::Values(RecordEngine::kSqlite, RecordEngine::kPostgres),
                         testing_support::RecordEngineName);

// 60 records: key 0 values 0010, 0020, ... 0200, three records each; key 1 values
// scattered over 0 .. 49 with duplicates, byte order unlike numeric order.
std::string FillSixty(const std::string& path) {
  EXPECT_EQ(Create(path), 0);
  Handle h;
  EXPECT_EQ(h.Open(path), 0);
  for (int i = 0; i < 60; ++i) {
    char key0[8];
    std::snprintf(key0, sizeof key0, "%04d", (i / 3 + 1) * 10);
    EXPECT_EQ(h.Insert(Rec(key0, (i * 37) % 50 * 300, "#" + std::to_string(i))), 0);
  }
  BTRCALL(kOpReset, nullptr, nullptr, nullptr, nullptr, 0, 0);
  return path;
}

std::vector<std::string> RunReads(const std::string& path, const std::vector<Read>& reads,
                                  int age) {
  BTRCALL(kOpReset, nullptr, nullptr, nullptr, nullptr, 0, 0);
  SetRecordManagerReadAheadAge(age);
  Handle h;
  EXPECT_EQ(h.Open(path), 0);
  std::vector<std::string> results;
  for (const Read& r : reads) results.push_back(h.Get(r.op, r.keyNumber, r.value));
  return results;
}

TEST_P(ReadAhead, ReadsAnsweredFromRowsReadAheadMatchReadsThatQuery) {
  const std::string path = FillSixty(dir / "sixty.dat");
  struct Case {
    const char* name;
    std::vector<Read> reads;
  } cases[] = {
      {"seeks ahead of, behind and between the rows walked",
       Join({{Ge("0010")},
             Repeat(3, Next()),
             {Ge("0030"), Next(), Ge("0020"), Ge("0015"), Eq("0040"), Eq("0045"), Next(),
              Gt("0050"), Next(), Ge("0005"), Ge("0900"), Next()}})},
      {"greater at the edges of a run of duplicates",
       Join({{Ge("0010")},
             Repeat(3, Next()),
             {Gt("0020"), Gt("0010"), Ge("0020"), Eq("0020"), Next(), Next(), Next(), Gt("0030"),
              Eq("0030"), Gt("0200"), Eq("0200"), Next()}})},
      {"backwards", Join({{Le("0200")},
                          Repeat(4, Prev()),
                          {Le("0190"), Lt("0190"), Le("0185"), Prev(), Lt("0010"), Le("0010"),
                           Prev(), Next(), Lt("0011"), Le("0009")}})},
      {"from either end", Join({{First()},
                                Repeat(20, Next()),
                                {Ge("0010"), Ge("0060"), Gt("0070"), Eq("0070")},
                                {Last()},
                                Repeat(10, Prev()),
                                {Le("0200"), Lt("0200"), Ge("0100"), Next()}})},
      {"turning back and forth",
       {Ge("0050"), Next(), Prev(), Prev(), Next(), Le("0050"), Next(), Ge("0050"), Prev(),
        Lt("0050"), Gt("0040"), Prev()}},
      {"a walk past the end and back",
       Join({{First()}, Repeat(65, Next()), {Ge("0100"), Prev(), Le("0100"), Next()}})},
      {"the binary key", Join({{{kOpGetGreaterOrEqual, 1, Binary(3000)}},
                               Repeat(5, Next(1)),
                               {{kOpGetGreaterOrEqual, 1, Binary(6000)},
                                {kOpGetEqual, 1, Binary(6300)},
                                {kOpGetEqual, 1, Binary(6301)},
                                {kOpGetGreater, 1, Binary(6000)},
                                {kOpGetLessOrEqual, 1, Binary(9000)},
                                Next(1),
                                {kOpGetLess, 1, Binary(300)},
                                Ge("0100"),
                                Next(),
                                Next(1)}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Reading ahead off: every read is a query of its own.
    const std::vector<std::string> queried = RunReads(path, c.reads, 0);
    // Rows young for the whole sequence: every read they can answer is answered.
    const std::vector<std::string> served = RunReads(path, c.reads, 600000);
    ASSERT_EQ(served.size(), queried.size());
    for (size_t i = 0; i < served.size(); ++i) EXPECT_EQ(served[i], queried[i]) << "read " << i;
  }
}

TEST_P(ReadAhead, ADamagedRecordIsReportedByTheReadThatReachesIt) {
  // Records 0010 .. 0100; the key image of 0050 gets a stray fifth byte, so that it
  // still sorts between 0040 and 0060 but no longer has the shape of an image.
  struct Case {
    const char* name;
    std::vector<Read> reads;
    std::vector<std::string> statuses;  // of each read
  } cases[] = {
      {"walking onto it", Join({{Ge("0010")}, Repeat(4, Next())}), {"0", "0", "0", "0", "2"}},
      {"seeking onto it",
       {Ge("0010"), Ge("0041"), Gt("0040"), Ge("0060"), Prev()},
       {"0", "2", "2", "0", "2"}},
      {"equal finds no such key",
       {Ge("0010"), Eq("0050"), Eq("0040"), Next()},
       {"0", "4", "0", "2"}},
      {"backwards onto it",
       Join({{Le("0100")}, Repeat(5, Prev())}),
       {"0", "0", "0", "0", "0", "2"}},
      {"around it",
       {Ge("0010"), Ge("0060"), Next(), Le("0040"), Prev(), Lt("0060")},
       {"0", "0", "0", "0", "0", "2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const int age : {0, 600000}) {
      SCOPED_TRACE("read-ahead age " + std::to_string(age));
      const std::string path = dir / "damaged.dat";
      BTRCALL(kOpReset, nullptr, nullptr, nullptr, nullptr, 0, 0);
      std::remove(path.c_str());
      ASSERT_EQ(Create(path), 0);
      {
        Handle writer;
        ASSERT_EQ(writer.Open(path), 0);
        for (int k = 10; k <= 100; k += 10) {
          char key0[8];
          std::snprintf(key0, sizeof key0, "%04d", k);
          ASSERT_EQ(writer.Insert(Rec(key0, kBlanks, "ok")), 0);
        }
      }
      BTRCALL(kOpReset, nullptr, nullptr, nullptr, nullptr, 0, 0);
      DamageImage(path);
      if (HasFatalFailure()) return;
      const std::vector<std::string> results = RunReads(path, c.reads, age);
      ASSERT_EQ(results.size(), c.statuses.size());
      for (size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i].substr(0, results[i].find('|')), c.statuses[i]) << "read " << i;
      }
    }
  }
}

// Waits until `age` milliseconds (and a margin) have passed since `since`.
void WaitPast(Clock::time_point since, int age) {
  const Clock::time_point until = since + std::chrono::milliseconds(age + 20);
  while (Clock::now() < until) std::this_thread::sleep_until(until);
}

TEST_P(ReadAhead, WritesAreSeenByTheNextReadOnceTheRowsAreTooOldOrAtOnceFromThisProcess) {
  struct Case {
    const char* name;
    Read first;   // reads ahead rows that do not hold 0015 yet
    Read second;  // must find 0015
    bool thisProcess;
  } cases[] = {
      {"equal", Ge("0010"), Eq("0015"), false},
      {"greater or equal", Ge("0010"), Ge("0011"), false},
      {"greater", Ge("0010"), Gt("0010"), false},
      {"next", Ge("0010"), Next(), false},
      {"less or equal", Le("0030"), Le("0019"), false},
      {"previous", Le("0020"), Prev(), false},
      {"equal, this process", Ge("0010"), Eq("0015"), true},
      {"greater, this process", Ge("0010"), Gt("0010"), true},
      {"next, this process", Ge("0010"), Next(), true},
      {"previous, this process", Le("0020"), Prev(), true},
  };
  const int age = 100;
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir / ("f" + std::to_string(++n) + ".dat");
    ASSERT_EQ(Create(path), 0);
    {
      Handle writer;
      ASSERT_EQ(writer.Open(path), 0);
      for (const char* k : {"0010", "0020", "0030", "0040"}) {
        ASSERT_EQ(writer.Insert(Rec(k, kBlanks, "old")), 0);
      }
    }
    BTRCALL(kOpReset, nullptr, nullptr, nullptr, nullptr, 0, 0);
    // This process's writes must be seen without waiting, however young the rows.
    SetRecordManagerReadAheadAge(c.thisProcess ? 600000 : age);
    Handle reader;
    ASSERT_EQ(reader.Open(path), 0);
    const Clock::time_point readAt = Clock::now();
    ASSERT_EQ(reader.Get(c.first.op, c.first.keyNumber, c.first.value).substr(0, 1), "0");
    const std::string inserted = Rec("0015", kBlanks, "new");
    if (c.thisProcess) {
      Handle other;
      ASSERT_EQ(other.Open(path), 0);
      ASSERT_EQ(other.Insert(inserted), 0);
    } else {
      ChildProcess child({RECORD_LOCK_HOLDER, "insert", path, inserted});
      child.CloseInput();
      ASSERT_EQ(child.Wait(20000), 0);
      WaitPast(readAt, age);
    }
    EXPECT_EQ(reader.Get(c.second.op, c.second.keyNumber, c.second.value), "0|" + inserted);
    BTRCALL(kOpReset, nullptr, nullptr, nullptr, nullptr, 0, 0);
  }
}

}  // namespace
