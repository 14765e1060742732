// Hostile record files for the record manager and the record access layer:
//   0  any bytes as a .dat file, opened and walked
//   1  a fuzzed creation block given to Create, the file then filled and walked
//   2  a sound record file whose rows another program damaged: any position, data of
//      any length and any key images, written past the file's own checks
//   3  a fuzzed creation block in ddf\ that the record access layer creates a
//      missing file from
// Every buffer is exactly as long as the length the call is given, so that a read or
// write past it is reported. A status, never a crash, hang or sanitizer report.

#include <fuzzer/FuzzedDataProvider.h>
#include <sqlite3.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/record_file_spec.h"
#include "platform/record_manager.h"
#include "platform/record_status.h"
#include "records/record_access.h"
#include "records/record_access_ui.h"
#include "session/session.h"

namespace {

using fuzz_support::Check;
using Block = std::array<uint8_t, platform::kPositionBlockSize>;

void RemoveDatabase(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) ::unlink((path + suffix).c_str());
}

// One call with a data buffer of exactly `length` bytes holding `in` (cut or
// zero-filled); the bytes returned are checked to fit.
int16_t Call(uint16_t op, Block& block, std::string& data, uint32_t length, std::string key,
             int8_t keyNumber) {
  std::vector<uint8_t> buffer(length);
  if (!buffer.empty() && !data.empty()) {
    std::memcpy(buffer.data(), data.data(), std::min<size_t>(length, data.size()));
  }
  std::vector<uint8_t> keyBuffer(key.begin(), key.end());
  uint32_t dataLength = length;
  const int16_t status =
      platform::BTRCALL(op, block.data(), buffer.empty() ? nullptr : buffer.data(), &dataLength,
                        keyBuffer.empty() ? nullptr : keyBuffer.data(),
                        static_cast<uint8_t>(keyBuffer.size()), keyNumber);
  Check(dataLength <= length);
  data.assign(reinterpret_cast<const char*>(buffer.data()), dataLength);
  return status;
}

// Walks and changes an open file with fuzzed buffers and keys.
void Exercise(Block& block, FuzzedDataProvider& in) {
  std::string data;
  Call(platform::kOpStat, block, data, 1536, std::string(255, '\0'), 0);
  const int keys = in.ConsumeIntegralInRange<int>(0, 4);
  for (int8_t k = -1; k <= keys; ++k) {
    const uint32_t length = in.ConsumeIntegralInRange<uint32_t>(0, 2000);
    const uint8_t keyLength = in.ConsumeIntegral<uint8_t>();
    int16_t status =
        Call(platform::kOpGetFirst, block, data, length, std::string(keyLength, 'k'), k);
    for (int i = 0; i < 64 && (status == 0 || status == 22); ++i) {
      status = Call(platform::kOpGetNext, block, data, length, std::string(keyLength, 'k'), k);
    }
    status = Call(platform::kOpGetLast, block, data, length, std::string(keyLength, 'k'), k);
    for (int i = 0; i < 8 && (status == 0 || status == 22); ++i) {
      status = Call(platform::kOpGetPrevious, block, data, length, std::string(keyLength, 'k'), k);
    }
    const std::string key = in.ConsumeRandomLengthString(300);
    const uint16_t ops[] = {platform::kOpGetEqual, platform::kOpGetGreater,
                            platform::kOpGetGreaterOrEqual, platform::kOpGetLess,
                            platform::kOpGetLessOrEqual};
    Call(ops[in.ConsumeIntegralInRange<size_t>(0, 4)], block, data, length, key, k);
    Call(platform::kOpGetNext, block, data, length, key, k);
  }
  std::string record = in.ConsumeRandomLengthString(600);
  const uint32_t recordLength = static_cast<uint32_t>(record.size());
  Call(platform::kOpInsert, block, record, recordLength, std::string(255, '\0'),
       in.ConsumeIntegralInRange<int8_t>(-1, 3));
  record = in.ConsumeRandomLengthString(600);
  Call(platform::kOpUpdate, block, record, static_cast<uint32_t>(record.size()),
       std::string(255, '\0'), 0);
  Call(platform::kOpGetPosition, block, data, 4, "", 0);
  std::string position = in.ConsumeBytesAsString(4);
  Call(platform::kOpGetDirect, block, position, in.ConsumeIntegralInRange<uint32_t>(0, 1000),
       std::string(255, '\0'), in.ConsumeIntegralInRange<int8_t>(-1, 3));
  if (in.ConsumeBool()) Call(platform::kOpDelete, block, data, 0, "", 0);
  Call(platform::kOpGetNext, block, data, 1536, std::string(255, '\0'), 0);
  Call(platform::kOpStat, block, data, in.ConsumeIntegralInRange<uint32_t>(0, 1536),
       std::string(255, '\0'), 0);
  Call(platform::kOpClose, block, data, 0, "", 0);
}

int16_t Open(Block& block, const std::string& path) {
  block.fill(0);
  std::string data;
  return Call(platform::kOpOpen, block, data, 0, path, platform::kOpenNormal);
}

// A creation block with fuzzed fields but mostly the right shape.
std::string ShapedSpec(FuzzedDataProvider& in) {
  platform::FileSpec spec;
  spec.recordLength = in.ConsumeIntegralInRange<uint16_t>(0, 600);
  spec.pageSize = static_cast<uint16_t>(512 * in.ConsumeIntegralInRange<int>(0, 9));
  const int keys = in.ConsumeIntegralInRange<int>(0, 4);
  for (int k = 0; k < keys; ++k) {
    platform::KeySpec key;
    const int segments = in.ConsumeIntegralInRange<int>(1, 3);
    const uint16_t shared =
        in.ConsumeIntegral<uint8_t>() & (platform::kKeyDuplicates | platform::kKeyModifiable);
    for (int s = 0; s < segments; ++s) {
      platform::KeySegmentSpec segment;
      segment.position = in.ConsumeIntegralInRange<uint16_t>(0, 620);
      segment.length = in.ConsumeIntegralInRange<uint16_t>(0, 260);
      segment.flags = static_cast<uint16_t>(
          shared | (in.ConsumeIntegral<uint8_t>() &
                    (platform::kKeyBinary | platform::kKeyAlternate | platform::kKeyDescending)));
      key.segments.push_back(segment);
    }
    spec.keys.push_back(key);
  }
  if (in.ConsumeBool()) {
    platform::AlternateSequence alternate;
    alternate.name = in.ConsumeRandomLengthString(10);
    const std::string table = in.ConsumeBytesAsString(256);
    std::memcpy(alternate.table.data(), table.data(), table.size());
    spec.alternate = alternate;
  }
  std::string bytes = platform::EncodeFileSpec(spec);
  if (in.ConsumeBool() && !bytes.empty()) {
    // A byte or two changed anywhere.
    for (int i = in.ConsumeIntegralInRange<int>(1, 2); i > 0; --i) {
      bytes[in.ConsumeIntegralInRange<size_t>(0, bytes.size() - 1)] = in.ConsumeIntegral<char>();
    }
  }
  return bytes;
}

void CreateAndExercise(const std::string& path, const std::string& spec, FuzzedDataProvider& in) {
  Block block{};
  std::string data = spec;
  std::string name = path;
  const int16_t status =
      Call(platform::kOpCreate, block, data, static_cast<uint32_t>(spec.size()), name, 0);
  if (status != platform::kStatusSuccess) return;
  Check(Open(block, path) == platform::kStatusSuccess);
  const int inserts = in.ConsumeIntegralInRange<int>(0, 8);
  for (int i = 0; i < inserts; ++i) {
    std::string record = in.ConsumeRandomLengthString(600);
    Call(platform::kOpInsert, block, record, static_cast<uint32_t>(record.size()),
         std::string(255, '\0'), 0);
  }
  Exercise(block, in);
}

void Exec(sqlite3* db, const std::string& sql) {
  sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
}

// A sound file of two keys (4 bytes unique at 1, 6 bytes with duplicates at 5) whose
// rows are then rewritten behind the record manager's back.
void DamagedRows(const std::string& path, FuzzedDataProvider& in) {
  platform::FileSpec spec;
  spec.recordLength = 24;
  spec.pageSize = 512;
  spec.keys.push_back({{{1, 4, 0}}});
  spec.keys.push_back({{{5, 6, platform::kKeyDuplicates | platform::kKeyModifiable}}});
  Block block{};
  std::string data = platform::EncodeFileSpec(spec);
  std::string name = path;
  Check(Call(platform::kOpCreate, block, data, static_cast<uint32_t>(data.size()), name, 0) == 0);
  sqlite3* db = nullptr;
  Check(sqlite3_open(path.c_str(), &db) == SQLITE_OK);
  Exec(db, "PRAGMA ignore_check_constraints=ON");
  sqlite3_stmt* s = nullptr;
  Check(sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO records(pos, data, k0, k1) VALUES (?,?,?,?)",
                           -1, &s, nullptr) == SQLITE_OK);
  const int rows = in.ConsumeIntegralInRange<int>(0, 12);
  for (int i = 0; i < rows; ++i) {
    const int64_t pos = in.ConsumeBool() ? in.ConsumeIntegral<int64_t>()
                                         : in.ConsumeIntegralInRange<int64_t>(0, 20);
    const std::string row = in.ConsumeRandomLengthString(64);
    const std::string k0 = in.ConsumeRandomLengthString(12);
    const std::string k1 = in.ConsumeRandomLengthString(12);
    sqlite3_bind_int64(s, 1, pos);
    if (in.ConsumeBool()) {
      sqlite3_bind_blob(s, 2, row.data(), static_cast<int>(row.size()), SQLITE_TRANSIENT);
    } else {
      sqlite3_bind_text(s, 2, row.data(), static_cast<int>(row.size()), SQLITE_TRANSIENT);
    }
    sqlite3_bind_blob(s, 3, k0.data(), static_cast<int>(k0.size()), SQLITE_TRANSIENT);
    sqlite3_bind_blob(s, 4, k1.data(), static_cast<int>(k1.size()), SQLITE_TRANSIENT);
    sqlite3_step(s);
    sqlite3_reset(s);
  }
  sqlite3_finalize(s);
  if (in.ConsumeBool())
    Exec(db, "UPDATE meta SET recordLength = " + std::to_string(in.ConsumeIntegral<int32_t>()));
  sqlite3_close(db);
  if (Open(block, path) == platform::kStatusSuccess) Exercise(block, in);
}

void IgnoreMessage(const std::string&) {}
void Nothing() {}
void NoSleep(long long) {}
double Half() {
  return 0.5;
}

void LayerCreates(const std::string& dir, const std::string& spec, FuzzedDataProvider& in) {
  records::RecordAccessUi& ui = records::RecordUi();
  ui.showOpenFailure = IgnoreMessage;
  ui.closeSequentialFiles = Nothing;
  ui.endModule = Nothing;
  ui.showLockNotice = IgnoreMessage;
  ui.removeLockNotice = Nothing;
  ui.sleepMilliseconds = NoSleep;
  ui.uniformRandom = Half;
  fuzz_support::MakeFolder(dir + "ddf");
  fuzz_support::MakeFolder(dir + "DADES");
  fuzz_support::WriteBytes(dir + "ddf/FUZZ.xdf", spec);
  RemoveDatabase(dir + "DADES/FUZZ.dat");
  session::Session().rootDir = dir;
  std::vector<char> buffer(in.ConsumeIntegralInRange<size_t>(1, 700));
  int16_t status = 0;
  records::OpenRecordFile(60, "DADES\\FUZZ", buffer, status);
  if (status == 0) {
    const int16_t key = in.ConsumeIntegralInRange<int16_t>(-1, 4);
    records::SeekRecord(60, key, in.ConsumeRandomLengthString(300),
                        in.ConsumeIntegralInRange<int16_t>(-1, 1), status);
    records::StepRecord(60, in.ConsumeIntegralInRange<int16_t>(-3, 3), status);
    records::KeyInRange(60, in.ConsumeIntegralInRange<int16_t>(-2, 2),
                        in.ConsumeRandomLengthString(20));
    records::RecordPosition(60, in.ConsumeIntegral<int32_t>());
    int16_t keyLength = 0, recordLength = 0;
    records::KeyInfo(60, key, keyLength, recordLength);
    Check(recordLength >= 0 && static_cast<size_t>(recordLength) <= buffer.size());
  }
  records::ResetRecordManager(status);
  records::ResetRecordAccessState();
  records::ResetRecordAccessUi();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  static const bool quick = [] {
    platform::SetRecordManagerBusyTimeout(10);
    return true;
  }();
  (void)quick;
  const std::string& dir = fuzz_support::PrivateDir();
  const std::string path = dir + "fuzz.dat";
  RemoveDatabase(path);
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: {
      const size_t options = in.ConsumeIntegralInRange<size_t>(0, 64);
      std::vector<uint8_t> rest = in.ConsumeBytes<uint8_t>(options);
      fuzz_support::WriteBytes(path, in.ConsumeRemainingBytesAsString());
      FuzzedDataProvider ops(rest.data(), rest.size());
      Block block{};
      if (Open(block, path) == platform::kStatusSuccess) Exercise(block, ops);
      break;
    }
    case 1: {
      const std::string spec =
          in.ConsumeBool() ? ShapedSpec(in) : in.ConsumeRandomLengthString(1600);
      CreateAndExercise(path, spec, in);
      break;
    }
    case 2:
      DamagedRows(path, in);
      break;
    default: {
      const std::string spec =
          in.ConsumeBool() ? ShapedSpec(in) : in.ConsumeRandomLengthString(1600);
      LayerCreates(dir, spec, in);
      break;
    }
  }
  Block reset{};
  std::string none;
  Call(platform::kOpReset, reset, none, 0, "", 0);
  RemoveDatabase(path);
  return 0;
}
