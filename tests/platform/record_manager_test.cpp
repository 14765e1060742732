// The record manager's operations, edge by edge: each read at the start, middle and
// end of a file, duplicates, an empty file, Create and Stat, collating, buffers that
// are too short, writes, transactions and damaged files. Every case runs on both
// engines (SQLite files, and PostgreSQL when ZUR_TEST_PG names a server); the cases
// about the bytes of damaged files run on SQLite files only.

#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/stat.h>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/record_file_spec.h"
#include "platform/record_manager.h"
#include "platform/record_status.h"
#include "platform/record_store.h"
#include "tests/support/postgres.h"
#include "tests/support/record_engine_test.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace platform;
using testing_support::RecordEngine;
using testing_support::TempDir;
using testing_support::WriteFile;

// One open record file, called the way the record access layer calls: a 1536-byte
// data buffer and a 256-byte key buffer.
struct File {
  std::array<uint8_t, kPositionBlockSize> block{};
  std::array<uint8_t, 1536> data{};
  std::array<uint8_t, 256> key{};
  uint32_t dataLength = 0;
  std::string record;   // what the last call returned in the data buffer
  std::string keyBack;  // the key buffer's first keyBytes bytes after the call

  int16_t Open(const std::string& path, int8_t mode = kOpenNormal) {
    block.fill(0);
    key.fill(0);
    std::memcpy(key.data(), path.data(), path.size());
    return BTRCALL(kOpOpen, block.data(), data.data(), &dataLength, key.data(),
                   static_cast<uint8_t>(path.size()), mode);
  }

  // A read; `keyIn` goes into the key buffer first.
  int16_t Get(uint16_t op, int8_t keyNumber, const std::string& keyIn = "", uint32_t length = 1536,
              uint8_t keyLength = 255) {
    key.fill(0);
    std::memcpy(key.data(), keyIn.data(), keyIn.size());
    data.fill(' ');
    dataLength = length;
    int16_t status =
        BTRCALL(op, block.data(), data.data(), &dataLength, key.data(), keyLength, keyNumber);
    record.assign(reinterpret_cast<char*>(data.data()), dataLength);
    keyBack.assign(reinterpret_cast<char*>(key.data()), keyIn.size());
    return status;
  }

  int16_t Insert(const std::string& rec, int8_t keyNumber = 0) {
    std::memcpy(data.data(), rec.data(), rec.size());
    dataLength = static_cast<uint32_t>(rec.size());
    return BTRCALL(kOpInsert, block.data(), data.data(), &dataLength, key.data(), 255, keyNumber);
  }

  int16_t Update(const std::string& rec, int8_t keyNumber = 0) {
    std::memcpy(data.data(), rec.data(), rec.size());
    dataLength = static_cast<uint32_t>(rec.size());
    return BTRCALL(kOpUpdate, block.data(), data.data(), &dataLength, key.data(), 255, keyNumber);
  }

  int16_t Delete() {
    dataLength = 0;
    return BTRCALL(kOpDelete, block.data(), data.data(), &dataLength, key.data(), 255, 0);
  }

  int16_t Stat(std::string& reply, uint32_t length = 1536) {
    data.fill(0);
    dataLength = length;
    int16_t status = BTRCALL(kOpStat, block.data(), data.data(), &dataLength, key.data(), 255, 0);
    reply.assign(reinterpret_cast<char*>(data.data()), dataLength);
    return status;
  }

  int32_t Position() {
    dataLength = 1536;
    if (BTRCALL(kOpGetPosition, block.data(), data.data(), &dataLength, key.data(), 0, 0) != 0) {
      return 0;
    }
    int32_t pos;
    std::memcpy(&pos, data.data(), 4);
    return pos;
  }

  int16_t GetDirect(int32_t pos, int8_t keyNumber = 0) {
    std::memcpy(data.data(), &pos, 4);
    dataLength = 1536;
    int16_t status =
        BTRCALL(kOpGetDirect, block.data(), data.data(), &dataLength, key.data(), 255, keyNumber);
    record.assign(reinterpret_cast<char*>(data.data()), dataLength);
    return status;
  }

  int16_t Close() { return BTRCALL(kOpClose, block.data(), nullptr, nullptr, nullptr, 0, 0); }
};

int16_t Create(const std::string& path, const FileSpec& spec, int8_t mode = kCreateNoReplace) {
  std::string bytes = EncodeFileSpec(spec);
  bytes.resize(1536, ' ');
  std::array<uint8_t, 256> key{};
  std::memcpy(key.data(), path.data(), path.size());
  uint32_t length = static_cast<uint32_t>(bytes.size());
  return BTRCALL(kOpCreate, nullptr, bytes.data(), &length, key.data(),
                 static_cast<uint8_t>(path.size()), mode);
}

int16_t Transaction(uint16_t op) {
  return BTRCALL(op, nullptr, nullptr, nullptr, nullptr, 0, 0);
}

KeySegmentSpec Segment(uint16_t position, uint16_t length, uint16_t flags = 0) {
  return KeySegmentSpec{position, length, flags};
}

// Records of 16 bytes: a 4-byte key text at 1, a 4-byte text at 5 (a second key in
// some files), 8 bytes of payload.
FileSpec SmallSpec(uint16_t key0Flags = 0) {
  FileSpec spec;
  spec.recordLength = 16;
  spec.pageSize = 512;
  spec.keys.push_back(KeySpec{{Segment(1, 4, key0Flags)}});
  return spec;
}

std::string Rec(const std::string& k, const std::string& payload = "", const std::string& k2 = "") {
  std::string r(16, ' ');
  r.replace(0, std::min<size_t>(4, k.size()), k.substr(0, 4));
  r.replace(4, std::min<size_t>(4, k2.size()), k2.substr(0, 4));
  r.replace(8, std::min<size_t>(8, payload.size()), payload.substr(0, 8));
  return r;
}

class RecordManager : public testing_support::RecordEngineTest {
 protected:
  RecordManager() : RecordEngineTest(200) {}

  // A file holding records with the given 4-byte keys, in that order of insertion.
  File Filled(const std::vector<std::string>& keys, const FileSpec& spec = SmallSpec()) {
    const std::string path = dir / "f.dat";
    EXPECT_EQ(Create(path, spec), 0);
    File f;
    EXPECT_EQ(f.Open(path), 0);
    int n = 0;
    for (const std::string& k : keys) EXPECT_EQ(f.Insert(Rec(k, "#" + std::to_string(++n))), 0);
    return f;
  }

  TempDir dir;
};

INSTANTIATE_TEST_SUITE_P(Engines, RecordManager,
                         ::testing::Values(RecordEngine::kSqlite, RecordEngine::kPostgres),
                         testing_support::RecordEngineName);

// What only SQLite files have: their bytes on disk.
class SqliteRecordFiles : public RecordManager {};
INSTANTIATE_TEST_SUITE_P(Engines, SqliteRecordFiles, ::testing::Values(RecordEngine::kSqlite),
                         testing_support::RecordEngineName);

// What only files in a database have: schemas, a server, names relative to the root.
class PostgresRecordFiles : public RecordManager {
 protected:
  // Runs SQL on the test's database; fails the test when the server refuses it.
  void Sql(const std::string& sql) {
    std::string error;
    ASSERT_TRUE(testing_support::PgQuery(engine->conninfo(), sql, &error).has_value()) << error;
  }
  static std::string Schema(const std::string& path) {
    return RecordFileSchema(RecordFileKey(path, ""));
  }
};
INSTANTIATE_TEST_SUITE_P(Engines, PostgresRecordFiles, ::testing::Values(RecordEngine::kPostgres),
                         testing_support::RecordEngineName);

TEST_P(RecordManager, CreateAndStatGiveBackTheFileDescription) {
  FileSpec spec;
  spec.recordLength = 64;
  spec.pageSize = 1024;
  spec.fileFlags = 0x0002;
  spec.keys.push_back(KeySpec{{Segment(1, 8, kKeyModifiable)}});
  spec.keys.push_back(KeySpec{{Segment(49, 8, kKeyAlternate), Segment(1, 8, kKeyAlternate)}});
  spec.keys.push_back(KeySpec{{Segment(10, 2, kKeyBinary | kKeyDuplicates)}});
  AlternateSequence upper;
  upper.name = "UPPER";
  for (int c = 0; c < 256; ++c) upper.table[c] = static_cast<uint8_t>(std::toupper(c));
  spec.alternate = upper;
  ASSERT_EQ(Create(dir / "s.dat", spec), 0);

  File f;
  ASSERT_EQ(f.Open(dir / "s.dat"), 0);
  std::string record(64, ' ');
  ASSERT_EQ(f.Insert(record), 0);
  std::string reply;
  ASSERT_EQ(f.Stat(reply), 0);
  EXPECT_EQ(reply, EncodeFileSpec(spec, 1));
  // The layout the record access layer reads: lengths at 0, 2, 4; the second key's
  // first segment flags "another segment follows"; the sequence after the segments.
  EXPECT_EQ(static_cast<uint8_t>(reply[0]), 64);
  EXPECT_EQ(static_cast<uint8_t>(reply[3]), 4);  // 1024
  EXPECT_EQ(static_cast<uint8_t>(reply[4]), 3);
  EXPECT_EQ(static_cast<uint8_t>(reply[6]), 1);  // one record
  EXPECT_EQ(static_cast<uint8_t>(reply[16 + 16 + 4]), kKeySegmented | kKeyAlternate);
  EXPECT_EQ(static_cast<uint8_t>(reply[16 + 4 * 16]), kAlternateSequenceSignature);
  EXPECT_EQ(reply.substr(16 + 4 * 16 + 1, 8), "UPPER   ");
  EXPECT_EQ(static_cast<uint8_t>(reply[16 + 4 * 16 + 9 + 'a']), 'A');

  // Too short a buffer: 22 and no byte written past it.
  f.data.fill(0xEE);
  f.dataLength = 10;
  EXPECT_EQ(BTRCALL(kOpStat, f.block.data(), f.data.data(), &f.dataLength, f.key.data(), 255, 0),
            kStatusDataBufferTooShort);
  EXPECT_EQ(f.dataLength, 10u);
  EXPECT_EQ(f.data[10], 0xEE);
  EXPECT_EQ(std::memcmp(f.data.data(), reply.data(), 6), 0);
}

TEST_P(RecordManager, CreateRefusesBadFileDescriptions) {
  struct Case {
    const char* what;
    std::function<void(FileSpec&)> change;
    int16_t status;
  } cases[] = {
      {"page size", [](FileSpec& s) { s.pageSize = 1000; }, kStatusInvalidPageSize},
      {"page size too big", [](FileSpec& s) { s.pageSize = 8192; }, kStatusInvalidPageSize},
      {"record too short", [](FileSpec& s) { s.recordLength = 3; }, kStatusInvalidRecordLength},
      {"record too long", [](FileSpec& s) { s.recordLength = 507; }, kStatusInvalidRecordLength},
      {"no key", [](FileSpec& s) { s.keys.clear(); }, kStatusInvalidKeyCount},
      {"position 0", [](FileSpec& s) { s.keys[0].segments[0].position = 0; },
       kStatusInvalidKeyPosition},
      {"past the record", [](FileSpec& s) { s.keys[0].segments[0].position = 14; },
       kStatusInvalidKeyPosition},
      {"empty segment", [](FileSpec& s) { s.keys[0].segments[0].length = 0; },
       kStatusInvalidKeyLength},
      {"null key flag", [](FileSpec& s) { s.keys[0].segments[0].flags = 0x08; },
       kStatusInconsistentKeyFlags},
      {"binary and alternate",
       [](FileSpec& s) { s.keys[0].segments[0].flags = kKeyBinary | kKeyAlternate; },
       kStatusInconsistentKeyFlags},
      {"segments disagree on duplicates",
       [](FileSpec& s) { s.keys[0].segments.push_back(Segment(5, 2, kKeyDuplicates)); },
       kStatusInconsistentKeyFlags},
      {"alternate without a sequence",
       [](FileSpec& s) { s.keys[0].segments[0].flags = kKeyAlternate; },
       kStatusInvalidAlternateSequence},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FileSpec spec = SmallSpec();
    c.change(spec);
    EXPECT_EQ(Create(dir / "bad.dat", spec), c.status);
    EXPECT_FALSE(testing_support::ReadFile(dir / "bad.dat").has_value());
    File f;
    EXPECT_EQ(f.Open(dir / "bad.dat"), kStatusFileNotFound);
  }

  // A key longer than 255 bytes.
  FileSpec longKey;
  longKey.recordLength = 400;
  longKey.pageSize = 512;
  longKey.keys.push_back(KeySpec{{Segment(1, 200), Segment(201, 100)}});
  EXPECT_EQ(Create(dir / "bad.dat", longKey), kStatusInvalidKeyLength);

  // An alternate sequence without its signature.
  FileSpec alt = SmallSpec(kKeyAlternate);
  alt.alternate = AlternateSequence{};
  std::string bytes = EncodeFileSpec(alt);
  bytes[32] = 0;
  std::array<uint8_t, 256> key{};
  const std::string path = dir / "bad.dat";
  std::memcpy(key.data(), path.data(), path.size());
  uint32_t length = static_cast<uint32_t>(bytes.size());
  EXPECT_EQ(BTRCALL(kOpCreate, nullptr, bytes.data(), &length, key.data(),
                    static_cast<uint8_t>(path.size()), -1),
            kStatusInvalidAlternateSequence);
  // A data buffer cut inside the segment descriptions.
  length = 20;
  EXPECT_EQ(BTRCALL(kOpCreate, nullptr, bytes.data(), &length, key.data(),
                    static_cast<uint8_t>(path.size()), -1),
            kStatusDataBufferTooShort);
}

TEST_P(RecordManager, CreateDoesNotReplaceUnlessAsked) {
  File f = Filled({"AAAA"});
  ASSERT_EQ(f.Close(), 0);
  EXPECT_EQ(Create(dir / "f.dat", SmallSpec()), kStatusFileExists);
  ASSERT_EQ(f.Open(dir / "f.dat"), 0);
  EXPECT_EQ(f.Get(kOpGetFirst, 0), 0);
  // Replacing a file that is open here is refused; closed, it is made anew.
  EXPECT_EQ(Create(dir / "f.dat", SmallSpec(), 0), kStatusFileLocked);
  ASSERT_EQ(f.Close(), 0);
  EXPECT_EQ(Create(dir / "f.dat", SmallSpec(), 0), 0);
  ASSERT_EQ(f.Open(dir / "f.dat"), 0);
  EXPECT_EQ(f.Get(kOpGetFirst, 0), kStatusEndOfFile);
  // A missing folder cannot hold a new file (a database has no folders).
  if (GetParam() == RecordEngine::kSqlite) {
    EXPECT_EQ(Create(dir / "none/x.dat", SmallSpec()), kStatusCreateIoError);
  }
}

TEST_P(RecordManager, EveryReadAtTheStartMiddleAndEnd) {
  File f = Filled({"0020", "0010", "0030"});
  struct Case {
    uint16_t op;
    std::string key;
    int16_t status;
    std::string found;  // key of the record reached
  } cases[] = {
      {kOpGetEqual, "0010", 0, "0010"},
      {kOpGetEqual, "0020", 0, "0020"},
      {kOpGetEqual, "0030", 0, "0030"},
      {kOpGetEqual, "0015", kStatusKeyNotFound, ""},
      {kOpGetEqual, "0040", kStatusKeyNotFound, ""},
      {kOpGetGreaterOrEqual, "0000", 0, "0010"},
      {kOpGetGreaterOrEqual, "0020", 0, "0020"},
      {kOpGetGreaterOrEqual, "0025", 0, "0030"},
      {kOpGetGreaterOrEqual, "0031", kStatusEndOfFile, ""},
      {kOpGetGreater, "0010", 0, "0020"},
      {kOpGetGreater, "0030", kStatusEndOfFile, ""},
      {kOpGetLessOrEqual, "0009", kStatusEndOfFile, ""},
      {kOpGetLessOrEqual, "0020", 0, "0020"},
      {kOpGetLessOrEqual, "9999", 0, "0030"},
      {kOpGetLess, "0010", kStatusEndOfFile, ""},
      {kOpGetLess, "0011", 0, "0010"},
      {kOpGetLess, "0030", 0, "0020"},
      {kOpGetFirst, "", 0, "0010"},
      {kOpGetLast, "", 0, "0030"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.op) + " " + c.key);
    // Lock biases are accepted on every read.
    for (uint16_t bias : {0, 100, 200, 300, 400}) {
      EXPECT_EQ(f.Get(c.op + bias, 0, c.key.empty() ? "????" : c.key), c.status);
      if (c.status == 0) {
        EXPECT_EQ(f.record.substr(0, 4), c.found);
        EXPECT_EQ(f.keyBack, c.found);  // the key buffer gets the record's key
        EXPECT_EQ(f.record.size(), 16u);
      } else {
        EXPECT_EQ(f.dataLength, 0u);
      }
    }
  }
}

TEST_P(RecordManager, EmptyFile) {
  File f = Filled({});
  for (uint16_t op : {kOpGetGreater, kOpGetGreaterOrEqual, kOpGetLess, kOpGetLessOrEqual,
                      kOpGetFirst, kOpGetLast}) {
    EXPECT_EQ(f.Get(op, 0, "0000"), kStatusEndOfFile) << op;
  }
  EXPECT_EQ(f.Get(kOpGetEqual, 0, "0000"), kStatusKeyNotFound);
  EXPECT_EQ(f.Get(kOpGetNext, 0), kStatusInvalidPositioning);
  EXPECT_EQ(f.Get(kOpGetPrevious, 0), kStatusInvalidPositioning);
  EXPECT_EQ(f.Position(), 0);
  std::string reply;
  ASSERT_EQ(f.Stat(reply), 0);
  EXPECT_EQ(reply.substr(6, 4), std::string(4, '\0'));
}

TEST_P(RecordManager, StepsStopAtBothEndsAndKeepThePosition) {
  File f = Filled({"0010", "0020", "0030"});
  // Insert moved to the record inserted: the last one.
  EXPECT_EQ(f.Get(kOpGetNext, 0), kStatusEndOfFile);
  // A freshly opened file has no position.
  ASSERT_EQ(f.Close(), 0);
  ASSERT_EQ(f.Open(dir / "f.dat"), 0);
  EXPECT_EQ(f.Get(kOpGetNext, 0), kStatusInvalidPositioning);
  EXPECT_EQ(f.Get(kOpGetPrevious, 0), kStatusInvalidPositioning);

  ASSERT_EQ(f.Get(kOpGetFirst, 0), 0);
  EXPECT_EQ(f.Get(kOpGetPrevious, 0), kStatusEndOfFile);
  EXPECT_EQ(f.dataLength, 0u);
  ASSERT_EQ(f.Get(kOpGetNext, 0), 0);  // still on the first: the next is the second
  EXPECT_EQ(f.record.substr(0, 4), "0020");

  ASSERT_EQ(f.Get(kOpGetLast, 0), 0);
  EXPECT_EQ(f.Get(kOpGetNext, 0), kStatusEndOfFile);
  EXPECT_EQ(f.Get(kOpGetNext, 0), kStatusEndOfFile);
  ASSERT_EQ(f.Get(kOpGetPrevious, 0), 0);
  EXPECT_EQ(f.record.substr(0, 4), "0020");

  // A failed keyed read leaves the position where it was.
  ASSERT_EQ(f.Get(kOpGetEqual, 0, "0010"), 0);
  EXPECT_EQ(f.Get(kOpGetEqual, 0, "0015"), kStatusKeyNotFound);
  EXPECT_EQ(f.keyBack, "0015");  // the key buffer is left as it was
  ASSERT_EQ(f.Get(kOpGetNext, 0), 0);
  EXPECT_EQ(f.record.substr(0, 4), "0020");
  EXPECT_EQ(f.Get(kOpGetGreater, 0, "0099"), kStatusEndOfFile);
  ASSERT_EQ(f.Get(kOpGetPrevious, 0), 0);
  EXPECT_EQ(f.record.substr(0, 4), "0010");
}

TEST_P(RecordManager, StepsFollowTheKeyOfThePosition) {
  FileSpec spec = SmallSpec();
  spec.keys.push_back(KeySpec{{Segment(5, 4, kKeyDuplicates)}});
  ASSERT_EQ(Create(dir / "two.dat", spec), 0);
  File f;
  ASSERT_EQ(f.Open(dir / "two.dat"), 0);
  ASSERT_EQ(f.Insert(Rec("0001", "", "ZZZZ")), 0);
  ASSERT_EQ(f.Insert(Rec("0002", "", "AAAA")), 0);
  ASSERT_EQ(f.Get(kOpGetFirst, 1), 0);
  EXPECT_EQ(f.record.substr(0, 4), "0002");
  EXPECT_EQ(f.Get(kOpGetNext, 0), kStatusDifferentKeyNumber);
  ASSERT_EQ(f.Get(kOpGetNext, 1), 0);
  EXPECT_EQ(f.record.substr(0, 4), "0001");
  EXPECT_EQ(f.Get(kOpGetFirst, 2), kStatusInvalidKeyNumber);
  EXPECT_EQ(f.Get(kOpGetFirst, -1), kStatusInvalidKeyNumber);
}

TEST_P(RecordManager, DuplicatesKeepTheOrderOfInsertion) {
  File f = Filled({"0005", "0005", "0003", "0005"}, SmallSpec(kKeyDuplicates));
  // In key order: 0003 (#3), then the three 0005 in insertion order (#1, #2, #4).
  auto at = [&](const char* payload) { return f.record.substr(8, 2) == payload; };
  ASSERT_EQ(f.Get(kOpGetFirst, 0), 0);
  EXPECT_TRUE(at("#3"));
  std::vector<std::string> walk;
  while (f.Get(kOpGetNext, 0) == 0) walk.push_back(f.record.substr(8, 2));
  EXPECT_EQ(walk, (std::vector<std::string>{"#1", "#2", "#4"}));

  ASSERT_EQ(f.Get(kOpGetEqual, 0, "0005"), 0);
  EXPECT_TRUE(at("#1"));
  ASSERT_EQ(f.Get(kOpGetLessOrEqual, 0, "0005"), 0);
  EXPECT_TRUE(at("#4"));
  ASSERT_EQ(f.Get(kOpGetPrevious, 0), 0);
  EXPECT_TRUE(at("#2"));
  ASSERT_EQ(f.Get(kOpGetLess, 0, "0005"), 0);
  EXPECT_TRUE(at("#3"));
  ASSERT_EQ(f.Get(kOpGetGreater, 0, "0003"), 0);
  EXPECT_TRUE(at("#1"));
  ASSERT_EQ(f.Get(kOpGetLast, 0), 0);
  EXPECT_TRUE(at("#4"));
}

TEST_P(RecordManager, DuplicateOnAUniqueKeyIsRefusedAndNothingStored) {
  File f = Filled({"0001", "0002"});
  EXPECT_EQ(f.Insert(Rec("0001", "again")), kStatusDuplicateKey);
  std::string reply;
  ASSERT_EQ(f.Stat(reply), 0);
  EXPECT_EQ(static_cast<uint8_t>(reply[6]), 2);
  ASSERT_EQ(f.Get(kOpGetEqual, 0, "0001"), 0);
  EXPECT_EQ(f.record.substr(8, 2), "#1");
}

TEST_P(RecordManager, KeyImagesOrderBinaryAlternateAndDescendingSegments) {
  struct Case {
    const char* what;
    uint16_t flags;
    std::vector<std::string> keys;      // inserted
    std::vector<std::string> expected;  // in key order
  } cases[] = {
      // Little-endian 1, 256, 2, 513: numeric order.
      {"binary",
       kKeyBinary,
       {std::string("\x01\x00\x00\x00", 4), std::string("\x00\x01\x00\x00", 4),
        std::string("\x02\x00\x00\x00", 4), std::string("\x01\x02\x00\x00", 4)},
       {std::string("\x01\x00\x00\x00", 4), std::string("\x02\x00\x00\x00", 4),
        std::string("\x00\x01\x00\x00", 4), std::string("\x01\x02\x00\x00", 4)}},
      {"plain", 0, {"b   ", "B   ", "a   ", "A   "}, {"A   ", "B   ", "a   ", "b   "}},
      // Through the upper-case sequence a and A are the same value: insertion order.
      {"alternate",
       kKeyAlternate | kKeyDuplicates,
       {"b   ", "A   ", "a   ", "B   "},
       {"A   ", "a   ", "b   ", "B   "}},
      {"descending", kKeyDescending, {"0002", "0003", "0001"}, {"0003", "0002", "0001"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FileSpec spec = SmallSpec(c.flags);
    if (c.flags & kKeyAlternate) {
      AlternateSequence upper;
      upper.name = "UPPER";
      for (int b = 0; b < 256; ++b) upper.table[b] = static_cast<uint8_t>(std::toupper(b));
      spec.alternate = upper;
    }
    BTRCALL(kOpReset, nullptr, nullptr, nullptr, nullptr, 0, 0);
    ASSERT_EQ(Create(dir / "f.dat", spec, 0), 0);
    File f;
    ASSERT_EQ(f.Open(dir / "f.dat"), 0);
    for (const std::string& k : c.keys) ASSERT_EQ(f.Insert(Rec(k)), 0);
    std::vector<std::string> walk;
    for (int16_t s = f.Get(kOpGetFirst, 0); s == 0; s = f.Get(kOpGetNext, 0)) {
      walk.push_back(f.record.substr(0, 4));
    }
    EXPECT_EQ(walk, c.expected);
    std::vector<std::string> back;
    for (int16_t s = f.Get(kOpGetLast, 0); s == 0; s = f.Get(kOpGetPrevious, 0)) {
      back.insert(back.begin(), f.record.substr(0, 4));
    }
    EXPECT_EQ(back, c.expected);
  }
  // Get Equal goes through the sequence too: "a" finds the first of A/a.
  ASSERT_EQ(Create(dir / "alt.dat",
                   [] {
                     FileSpec s = SmallSpec(kKeyAlternate | kKeyDuplicates);
                     AlternateSequence upper;
                     for (int b = 0; b < 256; ++b) {
                       upper.table[b] = static_cast<uint8_t>(std::toupper(b));
                     }
                     s.alternate = upper;
                     return s;
                   }()),
            0);
  File f;
  ASSERT_EQ(f.Open(dir / "alt.dat"), 0);
  ASSERT_EQ(f.Insert(Rec("Abc", "first")), 0);
  ASSERT_EQ(f.Insert(Rec("aBC", "second")), 0);
  ASSERT_EQ(f.Get(kOpGetEqual, 0, "ABC "), 0);
  EXPECT_EQ(f.record.substr(8, 5), "first");
  EXPECT_EQ(f.keyBack, "Abc ");  // the stored key, not its image
}

TEST_P(RecordManager, ShortBuffers) {
  File f = Filled({"0010", "0020", "0030"});
  // A data buffer shorter than the record: 22, its first bytes, and the position moves.
  ASSERT_EQ(f.Get(kOpGetEqual, 0, "0020", 6), kStatusDataBufferTooShort);
  EXPECT_EQ(f.record, "0020  ");
  EXPECT_EQ(f.data[6], ' ');  // nothing past the length given
  ASSERT_EQ(f.Get(kOpGetNext, 0), 0);
  EXPECT_EQ(f.record.substr(0, 4), "0030");
  // A key buffer shorter than the key: 21, nothing moves.
  EXPECT_EQ(f.Get(kOpGetFirst, 0, "", 1536, 3), kStatusKeyBufferTooShort);
  ASSERT_EQ(f.Get(kOpGetPrevious, 0), 0);
  EXPECT_EQ(f.record.substr(0, 4), "0020");
  // Writes take exactly one record.
  EXPECT_EQ(f.Insert(Rec("0040").substr(0, 15)), kStatusDataBufferTooShort);
  EXPECT_EQ(f.Insert(Rec("0040") + "x"), kStatusDataBufferTooShort);
  EXPECT_EQ(f.Get(kOpGetEqual, 0, "0040"), kStatusKeyNotFound);
  // Get Position needs 4 bytes.
  ASSERT_EQ(f.Get(kOpGetFirst, 0), 0);
  f.dataLength = 3;
  EXPECT_EQ(BTRCALL(kOpGetPosition, f.block.data(), f.data.data(), &f.dataLength, nullptr, 0, 0),
            kStatusDataBufferTooShort);
}

TEST_P(RecordManager, PositionsAndDirectReads) {
  File f = Filled({"0030", "0010", "0020"});
  ASSERT_EQ(f.Get(kOpGetEqual, 0, "0010"), 0);
  const int32_t pos = f.Position();
  EXPECT_EQ(pos, 2);  // the second record inserted
  ASSERT_EQ(f.Get(kOpGetLast, 0), 0);
  ASSERT_EQ(f.GetDirect(pos), 0);
  EXPECT_EQ(f.record.substr(0, 4), "0010");
  ASSERT_EQ(f.Get(kOpGetNext, 0), 0);  // the direct read set the position
  EXPECT_EQ(f.record.substr(0, 4), "0020");
  EXPECT_EQ(f.GetDirect(0), kStatusInvalidRecordAddress);
  EXPECT_EQ(f.GetDirect(99), kStatusInvalidRecordAddress);
  EXPECT_EQ(f.GetDirect(-5), kStatusInvalidRecordAddress);
  EXPECT_EQ(f.GetDirect(1, 3), kStatusInvalidKeyNumber);
}

TEST_P(RecordManager, UpdateAndDelete) {
  FileSpec spec = SmallSpec();  // key 0 may not change
  spec.keys.push_back(KeySpec{{Segment(5, 4, kKeyModifiable | kKeyDuplicates)}});
  ASSERT_EQ(Create(dir / "u.dat", spec), 0);
  File f;
  ASSERT_EQ(f.Open(dir / "u.dat"), 0);
  EXPECT_EQ(f.Update(Rec("0001")), kStatusInvalidPositioning);
  EXPECT_EQ(f.Delete(), kStatusInvalidPositioning);
  for (const char* k : {"0001", "0002", "0003"}) ASSERT_EQ(f.Insert(Rec(k, "", k)), 0);

  ASSERT_EQ(f.Get(kOpGetEqual, 0, "0002"), 0);
  EXPECT_EQ(f.Update(Rec("0002", "changed", "0002")), 0);
  EXPECT_EQ(f.Update(Rec("0009", "changed", "0002")), kStatusKeyNotModifiable);
  EXPECT_EQ(f.Update(Rec("0002", "changed", "0003")), 0);  // key 1 may change
  ASSERT_EQ(f.Get(kOpGetEqual, 0, "0002"), 0);
  EXPECT_EQ(f.record.substr(8, 7), "changed");

  ASSERT_EQ(f.Get(kOpGetEqual, 0, "0002"), 0);
  ASSERT_EQ(f.Delete(), 0);
  EXPECT_EQ(f.Delete(), kStatusInvalidPositioning);
  EXPECT_EQ(f.Position(), 0);
  ASSERT_EQ(f.Get(kOpGetNext, 0), 0);  // goes on from the deleted record
  EXPECT_EQ(f.record.substr(0, 4), "0003");
  ASSERT_EQ(f.Delete(), 0);
  ASSERT_EQ(f.Get(kOpGetPrevious, 0), 0);
  EXPECT_EQ(f.record.substr(0, 4), "0001");
  EXPECT_EQ(f.Get(kOpGetEqual, 0, "0002"), kStatusKeyNotFound);
  // A new record always takes a position above every record there is, so duplicates
  // stay in insertion order after deletes.
  ASSERT_EQ(f.Insert(Rec("0005", "new", "0001")), 0);
  EXPECT_EQ(f.Position(), 2);
  ASSERT_EQ(f.Get(kOpGetEqual, 1, "0001"), 0);
  EXPECT_EQ(f.record.substr(0, 4), "0001");
  ASSERT_EQ(f.Get(kOpGetNext, 1), 0);
  EXPECT_EQ(f.record.substr(0, 4), "0005");
  ASSERT_EQ(f.Get(kOpGetEqual, 0, "0001"), 0);
  ASSERT_EQ(f.Delete(), 0);
  ASSERT_EQ(f.Insert(Rec("0006", "", "0001")), 0);
  EXPECT_EQ(f.Position(), 3);
  ASSERT_EQ(f.Get(kOpGetLast, 1), 0);
  EXPECT_EQ(f.record.substr(0, 4), "0006");
}

TEST_P(RecordManager, ReadOnlyOpenRefusesWrites) {
  File f = Filled({"0001"});
  ASSERT_EQ(f.Close(), 0);
  ASSERT_EQ(f.Open(dir / "f.dat", kOpenReadOnly), 0);
  ASSERT_EQ(f.Get(kOpGetFirst, 0), 0);
  EXPECT_EQ(f.Insert(Rec("0002")), kStatusAccessDenied);
  EXPECT_EQ(f.Update(Rec("0001", "x")), kStatusAccessDenied);
  EXPECT_EQ(f.Delete(), kStatusAccessDenied);
  EXPECT_EQ(f.Open(dir / "f.dat", -7), kStatusInvalidOperation);
}

TEST_P(RecordManager, TransactionsCommitOrUndoEveryWrite) {
  File f = Filled({"0001"});
  EXPECT_EQ(Transaction(kOpEndTransaction), kStatusNoTransaction);
  EXPECT_EQ(Transaction(kOpAbortTransaction), kStatusNoTransaction);

  ASSERT_EQ(Transaction(kOpBeginTransaction), 0);
  EXPECT_EQ(Transaction(kOpBeginTransaction), kStatusTransactionActive);
  ASSERT_EQ(f.Insert(Rec("0002")), 0);
  ASSERT_EQ(f.Get(kOpGetEqual, 0, "0001"), 0);
  ASSERT_EQ(f.Delete(), 0);
  EXPECT_EQ(f.Close(), kStatusNotInTransaction);
  ASSERT_EQ(f.Get(kOpGetFirst, 0), 0);  // the transaction sees its own writes
  EXPECT_EQ(f.record.substr(0, 4), "0002");
  ASSERT_EQ(Transaction(kOpAbortTransaction), 0);
  ASSERT_EQ(f.Get(kOpGetFirst, 0), 0);
  EXPECT_EQ(f.record.substr(0, 4), "0001");
  EXPECT_EQ(f.Get(kOpGetNext, 0), kStatusEndOfFile);

  ASSERT_EQ(Transaction(kOpBeginTransaction + 200), 0);
  ASSERT_EQ(f.Insert(Rec("0003")), 0);
  ASSERT_EQ(Transaction(kOpEndTransaction), 0);
  ASSERT_EQ(f.Close(), 0);
  ASSERT_EQ(f.Open(dir / "f.dat"), 0);
  EXPECT_EQ(f.Get(kOpGetEqual, 0, "0003"), 0);

  // Reset undoes an open transaction and closes every file.
  ASSERT_EQ(Transaction(kOpBeginTransaction), 0);
  ASSERT_EQ(f.Insert(Rec("0004")), 0);
  ASSERT_EQ(BTRCALL(kOpReset, nullptr, nullptr, nullptr, nullptr, 0, 0), 0);
  EXPECT_EQ(f.Get(kOpGetFirst, 0), kStatusFileNotOpen);
  ASSERT_EQ(f.Open(dir / "f.dat"), 0);
  EXPECT_EQ(f.Get(kOpGetEqual, 0, "0004"), kStatusKeyNotFound);
  EXPECT_EQ(Transaction(kOpEndTransaction), kStatusNoTransaction);
}

TEST_P(RecordManager, PositionBlocksThatNameNoOpenFile) {
  File f = Filled({"0001"});
  File copy = f;
  ASSERT_EQ(f.Close(), 0);
  EXPECT_EQ(f.Get(kOpGetFirst, 0), kStatusFileNotOpen);
  EXPECT_EQ(copy.Get(kOpGetFirst, 0), kStatusFileNotOpen);  // a stale copy
  ASSERT_EQ(f.Open(dir / "f.dat"), 0);                      // same slot, new serial
  EXPECT_EQ(copy.Get(kOpGetFirst, 0), kStatusFileNotOpen);
  File garbage;
  garbage.block.fill(0xAB);
  EXPECT_EQ(garbage.Get(kOpGetFirst, 0), kStatusFileNotOpen);
  EXPECT_EQ(garbage.Close(), kStatusFileNotOpen);
  EXPECT_EQ(BTRCALL(kOpGetFirst, nullptr, nullptr, nullptr, nullptr, 0, 0), kStatusFileNotOpen);
  EXPECT_EQ(BTRCALL(99, f.block.data(), nullptr, nullptr, nullptr, 0, 0), kStatusInvalidOperation);
  EXPECT_EQ(BTRCALL(505, f.block.data(), nullptr, nullptr, nullptr, 0, 0), kStatusInvalidOperation);
  EXPECT_NE(RecordStatusText(kStatusKeyNotFound).find("not found"), std::string_view::npos);
  EXPECT_EQ(RecordStatusText(777), "unknown status 777");
}

TEST_P(SqliteRecordFiles, OpenGivesAStatusForEveryBadFile) {
  File good = Filled({"0001", "0002"});
  ASSERT_EQ(good.Close(), 0);
  const std::string valid = *testing_support::ReadFile(dir / "f.dat");

  // Many records, so that cutting the file in half loses pages.
  ASSERT_EQ(Create(dir / "big.dat", SmallSpec()), 0);
  File big;
  ASSERT_EQ(big.Open(dir / "big.dat"), 0);
  ASSERT_EQ(Transaction(kOpBeginTransaction), 0);
  for (int i = 0; i < 3000; ++i) {
    char k[5];
    std::snprintf(k, sizeof k, "%04d", i);
    ASSERT_EQ(big.Insert(Rec(k, "payload")), 0);
  }
  ASSERT_EQ(Transaction(kOpEndTransaction), 0);
  ASSERT_EQ(big.Close(), 0);
  const std::string bigBytes = *testing_support::ReadFile(dir / "big.dat");
  ASSERT_GT(bigBytes.size(), 8192u);

  WriteFile(dir / "text.dat", "just some text, not a record file\r\n");
  WriteFile(dir / "empty.dat", "");
  WriteFile(dir / "header.dat", valid.substr(0, 60));
  WriteFile(dir / "cut.dat", bigBytes.substr(0, bigBytes.size() / 2));
  WriteFile(dir / "noise.dat", std::string("SQLite format 3\0", 16) + std::string(4000, '\x5A'));
  ::mkdir((dir / "folder.dat").c_str(), 0755);
  // A database of someone else's.
  ASSERT_EQ(std::system(("sqlite3 '" + dir / "other.dat" +
                         "' 'CREATE TABLE t(x); INSERT INTO t VALUES(1);' 2>/dev/null")
                            .c_str()),
            0);
  // One of ours with an object added behind its back.
  WriteFile(dir / "trigger.dat", valid);
  ASSERT_EQ(std::system(("sqlite3 '" + dir / "trigger.dat" +
                         "' 'CREATE TRIGGER t AFTER INSERT ON records BEGIN DELETE FROM "
                         "records; END;' 2>/dev/null")
                            .c_str()),
            0);

  struct Case {
    const char* name;
    int16_t status;
  } cases[] = {
      {"missing.dat", kStatusFileNotFound},
      {"text.dat", kStatusNotARecordFile},
      {"empty.dat", kStatusNotARecordFile},
      {"header.dat", kStatusIoError},
      {"cut.dat", kStatusIoError},
      {"noise.dat", kStatusIoError},
      {"folder.dat", kStatusInvalidFileName},
      {"other.dat", kStatusNotARecordFile},
      {"trigger.dat", kStatusNotARecordFile},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    File f;
    EXPECT_EQ(f.Open(dir / c.name), c.status);
    EXPECT_EQ(f.Get(kOpGetFirst, 0), kStatusFileNotOpen);
  }
  // Opening never changed a file it refused.
  EXPECT_EQ(*testing_support::ReadFile(dir / "text.dat"), "just some text, not a record file\r\n");
  EXPECT_EQ(testing_support::ReadFile(dir / "empty.dat")->size(), 0u);
  File f;
  EXPECT_EQ(f.Open(""), kStatusInvalidFileName);
}

TEST_P(SqliteRecordFiles, TheShellSeesTheTables) {
  File f = Filled({"0001"});
  ASSERT_EQ(f.Close(), 0);
  FILE* p = ::popen(("sqlite3 '" + dir / "f.dat" + "' .tables").c_str(), "r");
  ASSERT_NE(p, nullptr);
  char line[256] = {};
  std::string out;
  while (std::fgets(line, sizeof line, p)) out += line;
  ASSERT_EQ(::pclose(p), 0);
  EXPECT_NE(out.find("key_segments"), std::string::npos);
  EXPECT_NE(out.find("meta"), std::string::npos);
  EXPECT_NE(out.find("records"), std::string::npos);
  // The file is still ours after the shell has looked at it.
  EXPECT_EQ(f.Open(dir / "f.dat"), 0);
}

TEST_P(PostgresRecordFiles, OpenGivesAStatusForEverySchemaNotLaidOutByCreate) {
  struct Case {
    const char* name;
    const char* change;  // SQL run on the file's schema, named $S
    int16_t status;
  } cases[] = {
      {"trigger.dat",
       "CREATE FUNCTION $S.f() RETURNS trigger LANGUAGE plpgsql AS 'BEGIN RETURN NULL; END'; "
       "CREATE TRIGGER t BEFORE INSERT ON $S.records FOR EACH ROW EXECUTE FUNCTION $S.f()",
       kStatusNotARecordFile},
      {"rule.dat", "CREATE RULE r AS ON INSERT TO $S.records DO INSTEAD NOTHING",
       kStatusNotARecordFile},
      {"column.dat", "ALTER TABLE $S.records ADD COLUMN extra integer", kStatusNotARecordFile},
      {"index.dat", "DROP INDEX $S.records_k0", kStatusNotARecordFile},
      {"records.dat", "DROP TABLE $S.records", kStatusNotARecordFile},
      {"meta.dat", "DELETE FROM $S.meta", kStatusNotARecordFile},
      {"twometa.dat", "INSERT INTO $S.meta SELECT * FROM $S.meta", kStatusNotARecordFile},
      {"name.dat", "UPDATE $S.meta SET name = 'another/file.dat'", kStatusNotARecordFile},
      {"format.dat", "UPDATE $S.meta SET format = 7", kStatusNotARecordFile},
      {"length.dat", "UPDATE $S.meta SET recordlength = 70000", kStatusNotARecordFile},
      {"segments.dat", "DELETE FROM $S.key_segments", kStatusNotARecordFile},
      {"segspec.dat", "UPDATE $S.key_segments SET spec = '\\x00'", kStatusNotARecordFile},
      {"position.dat",
       "ALTER TABLE $S.records DROP CONSTRAINT records_pos_check; "
       "UPDATE $S.records SET pos = 4294967296",
       kStatusNotARecordFile},
      {"empty.dat", "DROP TABLE $S.records, $S.meta, $S.key_segments", kStatusNotARecordFile},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir / c.name;
    ASSERT_EQ(Create(path, SmallSpec()), 0);
    File f;
    ASSERT_EQ(f.Open(path), 0);
    ASSERT_EQ(f.Insert(Rec("0001")), 0);
    ASSERT_EQ(f.Close(), 0);
    std::string sql = c.change;
    for (size_t at = sql.find("$S"); at != std::string::npos; at = sql.find("$S")) {
      sql.replace(at, 2, Schema(path));
    }
    Sql(sql);
    EXPECT_EQ(f.Open(path), c.status);
    EXPECT_EQ(f.Get(kOpGetFirst, 0), kStatusFileNotOpen);
  }
  // A schema of the same name made by someone else is not a record file either, and
  // Create does not take it over.
  Sql("CREATE SCHEMA " + Schema(dir / "other.dat") + "; CREATE TABLE " + Schema(dir / "other.dat") +
      ".t(x integer)");
  File f;
  EXPECT_EQ(f.Open(dir / "other.dat"), kStatusNotARecordFile);
  EXPECT_EQ(Create(dir / "other.dat", SmallSpec()), kStatusFileExists);
  EXPECT_EQ(f.Open(""), kStatusInvalidFileName);
}

TEST_P(PostgresRecordFiles, AServerThatCannotBeReachedGives20AtOpenAndCreate) {
  // The test's own server on a port nobody listens on, its database missing, a role
  // that does not exist, and a string that is no connection string.
  const std::string good = engine->conninfo();
  const std::string missingDatabase = testing_support::WithDatabase(good, "zur_no_such_db");
  const std::string cases[] = {
      "host=127.0.0.1 port=1 dbname=zur connect_timeout=5",
      missingDatabase,
      good + " user=zur_no_such_role",
      "this is = not a connection string",
  };
  for (const std::string& conninfo : cases) {
    SCOPED_TRACE(conninfo);
    SetRecordManagerDatabase(conninfo.c_str());
    File f;
    EXPECT_EQ(f.Open(dir / "f.dat"), kStatusManagerInactive);
    EXPECT_NE(RecordManagerConnectionError(), "");
    EXPECT_EQ(Create(dir / "f.dat", SmallSpec()), kStatusManagerInactive);
    EXPECT_EQ(f.Get(kOpGetFirst, 0), kStatusFileNotOpen);
  }
  EXPECT_NE(RecordStatusText(kStatusManagerInactive).find("server"), std::string_view::npos);
  // Back on the test's database, the same file is simply missing.
  SetRecordManagerDatabase(good.c_str());
  File f;
  EXPECT_EQ(f.Open(dir / "f.dat"), kStatusFileNotFound);
  SetRecordManagerDatabase(nullptr);
}

TEST_P(PostgresRecordFiles, AFileIsNamedByItsPathUnderTheRootWhicheverWayItIsWritten) {
  ::mkdir((dir / "DADES").c_str(), 0755);
  SetRecordManagerRoot(dir.path().c_str());
  ASSERT_EQ(Create(dir.path() + "DADES\\CobramH.dat", SmallSpec()), 0);
  File f;
  ASSERT_EQ(f.Open(dir / "dades/cobramh.dat"), 0);
  ASSERT_EQ(f.Insert(Rec("0001")), 0);
  ASSERT_EQ(f.Close(), 0);
  // The same file from another folder, by its name relative to the current folder.
  {
    testing_support::ScopedCurrentDir here(dir / "DADES");
    ASSERT_EQ(f.Open("COBRAMH.DAT"), 0);
    EXPECT_EQ(f.Get(kOpGetFirst, 0), 0);
    ASSERT_EQ(f.Close(), 0);
  }
  // Another installation root on the same database shares the file: the name is
  // relative to the root.
  TempDir other;
  SetRecordManagerRoot(other.path().c_str());
  ASSERT_EQ(f.Open(other.path() + "dades/CobramH.dat"), 0);
  EXPECT_EQ(f.Get(kOpGetFirst, 0), 0);
  EXPECT_EQ(f.record.substr(0, 4), "0001");
  ASSERT_EQ(f.Close(), 0);
  SetRecordManagerRoot(nullptr);
}

}  // namespace
