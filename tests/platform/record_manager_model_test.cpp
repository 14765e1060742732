// Random sequences of operations run against the record manager and against a plain
// std::map model, compared after every step. Two handles share one file, so the
// writes of one must be seen by the reads (and the read-ahead) of the other. A second
// mix writes seldom, so that reads are answered from rows read ahead long ago.
// A failure prints the random start value; ZUR_MODEL_START=<n> replays that sequence.
// Both engines run the sequences (PostgreSQL when ZUR_TEST_PG names a server).

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/env.h"
#include "platform/record_file_spec.h"
#include "platform/record_manager.h"
#include "platform/record_status.h"
#include "tests/support/postgres.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace platform;

// Records of 12 bytes: key 0 (unique, not modifiable) at 0..2, key 1 (duplicates,
// modifiable) at 3..4, payload at 5..11.
constexpr size_t kLength = 12;

struct Cursor {
  int64_t pos = 0;
  int key = -1;
  std::string image;
  bool deleted = false;
};

struct Model {
  std::map<int64_t, std::string> records;
  std::array<Cursor, 2> cursors;

  static std::string KeyOf(int key, const std::string& rec) {
    return key == 0 ? rec.substr(0, 3) : rec.substr(3, 2);
  }
  std::vector<std::pair<std::string, int64_t>> Order(int key) const {
    std::vector<std::pair<std::string, int64_t>> v;
    for (const auto& [pos, rec] : records) v.emplace_back(KeyOf(key, rec), pos);
    std::sort(v.begin(), v.end());
    return v;
  }
  int16_t Land(int h, int key, int64_t pos, std::string& out) {
    cursors[h] = Cursor{pos, key, KeyOf(key, records[pos]), false};
    out = records[pos];
    return 0;
  }

  int16_t Insert(int h, int key, const std::string& rec, std::string& out) {
    for (const auto& [pos, r] : records) {
      if (KeyOf(0, r) == KeyOf(0, rec)) return kStatusDuplicateKey;
    }
    const int64_t pos = records.empty() ? 1 : records.rbegin()->first + 1;
    records[pos] = rec;
    return Land(h, key, pos, out);
  }
  int16_t Update(int h, int key, const std::string& rec) {
    Cursor& c = cursors[h];
    if (c.pos == 0 || c.deleted) return kStatusInvalidPositioning;
    auto it = records.find(c.pos);
    if (it == records.end()) return kStatusInvalidPositioning;
    if (KeyOf(0, it->second) != KeyOf(0, rec)) return kStatusKeyNotModifiable;
    it->second = rec;
    c.key = key;
    c.image = KeyOf(key, rec);
    return 0;
  }
  int16_t Delete(int h) {
    Cursor& c = cursors[h];
    if (c.pos == 0 || c.deleted) return kStatusInvalidPositioning;
    if (records.erase(c.pos) == 0) return kStatusInvalidPositioning;
    c.deleted = true;
    return 0;
  }
  int16_t Get(int h, uint16_t op, int key, const std::string& value, std::string& out) {
    auto order = Order(key);
    auto land = [&](const std::pair<std::string, int64_t>& e) {
      return Land(h, key, e.second, out);
    };
    switch (op) {
      case kOpGetEqual:
        for (auto& e : order) {
          if (e.first == value) return land(e);
        }
        return kStatusKeyNotFound;
      case kOpGetGreater:
      case kOpGetGreaterOrEqual:
        for (auto& e : order) {
          if (op == kOpGetGreater ? e.first > value : e.first >= value) return land(e);
        }
        return kStatusEndOfFile;
      case kOpGetLess:
      case kOpGetLessOrEqual:
        for (auto it = order.rbegin(); it != order.rend(); ++it) {
          if (op == kOpGetLess ? it->first < value : it->first <= value) return land(*it);
        }
        return kStatusEndOfFile;
      case kOpGetFirst:
        return order.empty() ? kStatusEndOfFile : land(order.front());
      case kOpGetLast:
        return order.empty() ? kStatusEndOfFile : land(order.back());
      default: {  // Next or Previous
        Cursor& c = cursors[h];
        if (c.pos == 0) return kStatusInvalidPositioning;
        if (c.key != key) return kStatusDifferentKeyNumber;
        const std::pair<std::string, int64_t> here{c.image, c.pos};
        if (op == kOpGetNext) {
          for (auto& e : order) {
            if (e > here) return land(e);
          }
        } else {
          for (auto it = order.rbegin(); it != order.rend(); ++it) {
            if (*it < here) return land(*it);
          }
        }
        return kStatusEndOfFile;
      }
    }
  }
  int16_t Position(int h, int32_t& pos) const {
    const Cursor& c = cursors[h];
    if (c.pos == 0 || c.deleted) return kStatusInvalidPositioning;
    pos = static_cast<int32_t>(c.pos);
    return 0;
  }
  int16_t Direct(int h, int key, int32_t pos, std::string& out) {
    if (pos < 1 || records.find(pos) == records.end()) return kStatusInvalidRecordAddress;
    return Land(h, key, pos, out);
  }
};

struct Engine {
  std::array<std::array<uint8_t, kPositionBlockSize>, 2> blocks{};
  std::array<uint8_t, 1536> data{};
  std::array<uint8_t, 256> key{};
  uint32_t length = 0;

  int16_t Call(int h, uint16_t op, int keyNumber, std::string& out) {
    int16_t s = BTRCALL(op, blocks[h].data(), data.data(), &length, key.data(), 255,
                        static_cast<int8_t>(keyNumber));
    out.assign(reinterpret_cast<char*>(data.data()), length);
    return s;
  }
};

// readsPerWrite: 0 for the even mix; otherwise about that many reads between writes.
void RunSequence(uint32_t start, int steps, const std::string& path, int readsPerWrite = 0) {
  SCOPED_TRACE("random start value " + std::to_string(start) +
               " (replay with ZUR_MODEL_START=" + std::to_string(start) + ")");
  BTRCALL(kOpReset, nullptr, nullptr, nullptr, nullptr, 0, 0);
  FileSpec spec;
  spec.recordLength = kLength;
  spec.pageSize = 512;
  spec.keys.push_back(KeySpec{{KeySegmentSpec{1, 3, 0}}});
  spec.keys.push_back(KeySpec{{KeySegmentSpec{4, 2, kKeyDuplicates | kKeyModifiable}}});
  std::string bytes = EncodeFileSpec(spec);
  std::array<uint8_t, 256> name{};
  std::memcpy(name.data(), path.data(), path.size());
  uint32_t n = static_cast<uint32_t>(bytes.size());
  ASSERT_EQ(BTRCALL(kOpCreate, nullptr, bytes.data(), &n, name.data(),
                    static_cast<uint8_t>(path.size()), 0),
            0);
  Engine engine;
  for (auto& b : engine.blocks) {
    ASSERT_EQ(BTRCALL(kOpOpen, b.data(), nullptr, nullptr, name.data(),
                      static_cast<uint8_t>(path.size()), 0),
              0);
  }
  Model model;
  std::mt19937 rng(start);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto key0 = [&] { return std::string(1, 'a') + char('0' + pick(0, 4)) + char('0' + pick(0, 9)); };
  auto key1 = [&] { return std::string(1, char('A' + pick(0, 3))) + char('0' + pick(0, 1)); };
  auto record = [&](const std::string& k0) {
    std::string r = k0 + key1() + "pay" + std::to_string(pick(1000, 9999));
    r.resize(kLength, ' ');
    return r;
  };

  for (int step = 0; step < steps; ++step) {
    const int h = pick(0, 1);
    const int k = pick(0, 1);
    const int what = readsPerWrite > 0 && pick(0, readsPerWrite) != 0 ? pick(6, 16) : pick(0, 16);
    std::string got, want;
    int16_t engineStatus, modelStatus;
    std::string label;
    if (what <= 3) {
      // Insert, mostly new keys, sometimes one that is there already.
      std::string rec = record(key0());
      label = "insert " + rec;
      std::memcpy(engine.data.data(), rec.data(), kLength);
      engine.length = kLength;
      engineStatus = engine.Call(h, kOpInsert, k, got);
      modelStatus = model.Insert(h, k, rec, want);
      got.clear();
      want.clear();
    } else if (what == 4) {
      auto current = model.records.find(model.cursors[h].pos);
      std::string k0 = current != model.records.end() ? Model::KeyOf(0, current->second) : key0();
      if (pick(0, 4) == 0) k0 = key0();  // sometimes a key 0 change, refused
      std::string rec = record(k0);
      label = "update " + rec;
      std::memcpy(engine.data.data(), rec.data(), kLength);
      engine.length = kLength;
      engineStatus = engine.Call(h, kOpUpdate, k, got);
      modelStatus = model.Update(h, k, rec);
      got.clear();
    } else if (what == 5) {
      label = "delete";
      engineStatus = engine.Call(h, kOpDelete, 0, got);
      modelStatus = model.Delete(h);
      got.clear();
    } else if (what == 6) {
      label = "position";
      engine.length = 1536;
      engineStatus = engine.Call(h, kOpGetPosition, 0, got);
      int32_t pos = 0;
      modelStatus = model.Position(h, pos);
      if (modelStatus == 0) want.assign(reinterpret_cast<char*>(&pos), 4);
      if (engineStatus != 0) got.clear();
    } else if (what == 7) {
      const int32_t pos = pick(0, static_cast<int>(model.records.size()) + 3);
      label = "direct " + std::to_string(pos);
      std::memcpy(engine.data.data(), &pos, 4);
      engine.length = 1536;
      engineStatus = engine.Call(h, kOpGetDirect, k, got);
      modelStatus = model.Direct(h, k, pos, want);
    } else {
      static const uint16_t ops[] = {kOpGetEqual, kOpGetGreater,     kOpGetGreaterOrEqual,
                                     kOpGetLess,  kOpGetLessOrEqual, kOpGetFirst,
                                     kOpGetLast,  kOpGetNext,        kOpGetPrevious};
      const uint16_t op = what >= 12 ? static_cast<uint16_t>(what % 2 ? kOpGetNext : kOpGetPrevious)
                                     : ops[pick(0, 8)];
      const std::string value = k == 0 ? key0() : key1();
      label = "get " + std::to_string(op) + " key " + std::to_string(k) + " " + value;
      engine.key.fill(0);
      std::memcpy(engine.key.data(), value.data(), value.size());
      engine.length = 1536;
      engineStatus = engine.Call(h, op, k, got);
      modelStatus = model.Get(h, op, k, value, want);
    }
    ASSERT_EQ(engineStatus, modelStatus) << "step " << step << " handle " << h << ": " << label;
    if (modelStatus == 0) {
      ASSERT_EQ(got, want) << "step " << step << " handle " << h << ": " << label;
    }
  }
  BTRCALL(kOpReset, nullptr, nullptr, nullptr, nullptr, 0, 0);
}

using testing_support::RecordEngine;

class RecordManagerModel : public ::testing::TestWithParam<RecordEngine> {
 protected:
  void SetUp() override { ZUR_USE_RECORD_ENGINE(engine, GetParam()); }
  void TearDown() override { engine.reset(); }
  std::unique_ptr<testing_support::EngineScope> engine;
};

INSTANTIATE_TEST_SUITE_P(Engines, RecordManagerModel,
                         ::testing::Values(RecordEngine::kSqlite, RecordEngine::kPostgres),
                         testing_support::RecordEngineName);

TEST_P(RecordManagerModel, RandomSequencesMatchTheModel) {
  testing_support::TempDir dir;
  const std::string fixed = GetEnv("ZUR_MODEL_START");
  if (!fixed.empty()) {
    RunSequence(static_cast<uint32_t>(std::stoul(fixed)), 3000, dir / "model.dat");
    return;
  }
  const uint32_t base = static_cast<uint32_t>(
      std::chrono::steady_clock::now().time_since_epoch().count() & 0x7FFFFFFF);
  for (uint32_t i = 0; i < 6; ++i) {
    RunSequence(base + i, 1500, dir / ("model" + std::to_string(i) + ".dat"));
    if (HasFatalFailure()) return;
  }
}

TEST_P(RecordManagerModel, ReadMostlySequencesMatchTheModel) {
  testing_support::TempDir dir;
  SetRecordManagerReadAheadAge(600000);
  const std::string fixed = GetEnv("ZUR_MODEL_START");
  if (!fixed.empty()) {
    RunSequence(static_cast<uint32_t>(std::stoul(fixed)), 3000, dir / "model.dat", 40);
  } else {
    const uint32_t base = static_cast<uint32_t>(
        std::chrono::steady_clock::now().time_since_epoch().count() & 0x7FFFFFFF);
    for (uint32_t i = 0; i < 4 && !HasFatalFailure(); ++i) {
      RunSequence(base + i, 2000, dir / ("model" + std::to_string(i) + ".dat"), 40);
    }
  }
  SetRecordManagerReadAheadAge(50);
}

}  // namespace
