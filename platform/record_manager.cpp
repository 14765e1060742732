#include "platform/record_manager.h"

#include <time.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/env.h"
#include "platform/record_file_spec.h"
#include "platform/record_status.h"
#include "platform/record_store.h"

namespace platform {
namespace {

constexpr char kSignature[4] = {'Z', 'R', 'P', 'B'};
constexpr size_t kMaxOpenFiles = 1024;
constexpr size_t kMaxReadAhead = 256;
// Rows a keyed read fetches at the start of a walk; a walk that goes on reads more.
constexpr size_t kFirstReadAhead = 16;

uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
int64_t NowMilliseconds() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

struct Key {
  KeySpec spec;
  size_t length = 0;
  bool modifiable = false;
};

using Row = StoredRow;

struct OpenFile {
  uint32_t serial = 0;
  std::unique_ptr<RecordStore> store;
  bool readOnly = false;
  FileSpec spec;
  std::string specBytes;  // EncodeFileSpec(spec), record count 0
  std::vector<Key> keys;

  // The current position: the record's position and its image in the key of the
  // position. A deleted record keeps both so that Next/Previous go on from it.
  int64_t currentPos = 0;
  int currentKey = -1;
  std::string currentImage;
  bool currentDeleted = false;

  // Rows read ahead by the last read that ran a query, in the order of its key and
  // direction, served to the following reads while nothing was written and they are
  // young enough: to Get Next/Previous when the position is among them, and to a
  // keyed read whose answer is among them (see AnswerFromReadAhead).
  std::vector<Row> ahead;
  size_t aheadCount = 0;
  size_t aheadNext = 0;
  int aheadDirection = 0;
  int aheadKey = -1;
  uint64_t aheadGeneration = 0;
  int64_t aheadTime = 0;
  size_t aheadSize = 1;
  // What is known of the rows that come before ahead[0] in the walk's direction:
  // their images fall short of aheadBound (below it going forward, above it going
  // backward), or reach it at most when aheadBoundInclusive; with aheadFromEnd there
  // are none.
  std::string aheadBound;
  bool aheadBoundInclusive = false;
  bool aheadFromEnd = false;
  // The last operation on the file was a write: reads and writes take turns (as when
  // a file is emptied record by record), so a keyed read fetches only its answer.
  bool wroteLast = false;

  bool inTransaction = false;

  // Scratch space reused by every call, so that steps and inserts do not allocate.
  std::vector<std::string> images;
  std::string keyValue;
  std::string searchImage;
};

struct ManagerState {
  std::vector<std::unique_ptr<OpenFile>> files;
  uint32_t nextSerial = 1;
  bool transactionActive = false;
  // Changes with every write of this process; read-ahead rows of an older
  // generation are never served.
  uint64_t writeGeneration = 1;
  int busyTimeout = 2000;
  int readAheadAge = 50;
  // Where files are opened and created, when set by the program instead of the
  // environment (ZURDB, ZURROOT).
  std::optional<std::string> database;
  std::optional<std::string> root;
};

ManagerState& State() {
  static ManagerState state;
  return state;
}

// ---------------------------------------------------------------------------------
// Keys and images

void KeyValueOf(const Key& key, const uint8_t* record, uint8_t* out) {
  size_t at = 0;
  for (const KeySegmentSpec& s : key.spec.segments) {
    std::memcpy(out + at, record + s.position - 1, s.length);
    at += s.length;
  }
}

// The image of a key value: bytes whose plain order is the key's order.
void ImageOf(const OpenFile& f, const Key& key, const uint8_t* keyValue, std::string& out) {
  out.resize(key.length);
  size_t at = 0;
  for (const KeySegmentSpec& s : key.spec.segments) {
    for (size_t i = 0; i < s.length; ++i) {
      uint8_t b;
      if (s.flags & kKeyBinary) {
        b = keyValue[at + s.length - 1 - i];
      } else if ((s.flags & kKeyAlternate) && f.spec.alternate) {
        b = f.spec.alternate->table[keyValue[at + i]];
      } else {
        b = keyValue[at + i];
      }
      if (s.flags & kKeyDescending) b = static_cast<uint8_t>(255 - b);
      out[at + i] = static_cast<char>(b);
    }
    at += s.length;
  }
}

void ImagesOfRecord(OpenFile& f, const uint8_t* record) {
  f.images.resize(f.keys.size());
  for (size_t k = 0; k < f.keys.size(); ++k) {
    f.keyValue.resize(f.keys[k].length);
    KeyValueOf(f.keys[k], record, reinterpret_cast<uint8_t*>(f.keyValue.data()));
    ImageOf(f, f.keys[k], reinterpret_cast<const uint8_t*>(f.keyValue.data()), f.images[k]);
  }
}

// ---------------------------------------------------------------------------------
// Position blocks and the table of open files

OpenFile* FileOf(const void* positionBlock) {
  if (positionBlock == nullptr) return nullptr;
  const auto* b = static_cast<const uint8_t*>(positionBlock);
  if (std::memcmp(b, kSignature, 4) != 0) return nullptr;
  const uint32_t index = Get32(b + 4);
  const uint32_t serial = Get32(b + 8);
  ManagerState& st = State();
  if (index >= st.files.size() || !st.files[index] || st.files[index]->serial != serial) {
    return nullptr;
  }
  return st.files[index].get();
}

void MirrorPosition(const OpenFile& f, uint8_t* block) {
  const int16_t key = static_cast<int16_t>(f.currentKey);
  block[12] = static_cast<uint8_t>(key & 0xFF);
  block[13] = static_cast<uint8_t>((key >> 8) & 0xFF);
  const uint64_t pos = static_cast<uint64_t>(f.currentPos);
  for (int i = 0; i < 8; ++i) block[16 + i] = static_cast<uint8_t>(pos >> (8 * i));
}

void ForgetReadAhead(OpenFile& f) {
  f.aheadCount = 0;
  f.aheadNext = 0;
  f.aheadDirection = 0;
  f.aheadSize = 1;
}

// ---------------------------------------------------------------------------------
// Reading rows

// Hands a row to the caller: data (up to the buffer's length), the key value of the
// key in the key buffer, and the row becomes the current position.
int16_t Deliver(OpenFile& f, uint8_t* block, const Row& row, int key, uint8_t* data,
                uint32_t dataCap, uint32_t* dataLength, uint8_t* keyBuffer) {
  const uint32_t length = f.spec.recordLength;
  const uint32_t copied = dataCap < length ? dataCap : length;
  if (copied > 0) std::memcpy(data, row.data.data(), copied);
  if (dataLength != nullptr) *dataLength = copied;
  KeyValueOf(f.keys[key], reinterpret_cast<const uint8_t*>(row.data.data()), keyBuffer);
  f.currentPos = row.pos;
  f.currentKey = key;
  f.currentImage = row.image;
  f.currentDeleted = false;
  MirrorPosition(f, block);
  return copied < length ? kStatusDataBufferTooShort : kStatusSuccess;
}

// ---------------------------------------------------------------------------------
// Transactions

int16_t JoinTransaction(OpenFile& f) {
  if (!State().transactionActive || f.inTransaction) return kStatusSuccess;
  const int16_t status = f.store->JoinTransaction();
  if (status != kStatusSuccess) return status;
  f.inTransaction = true;
  return kStatusSuccess;
}

int16_t FinishTransactions(bool commit) {
  ManagerState& st = State();
  if (!st.transactionActive) return kStatusNoTransaction;
  int16_t status = kStatusSuccess;
  for (auto& f : st.files) {
    if (!f || !f->inTransaction) continue;
    const int16_t fileStatus = f->store->FinishTransaction(commit);
    if (status == kStatusSuccess) status = fileStatus;
    f->inTransaction = false;
  }
  st.transactionActive = false;
  ++st.writeGeneration;
  return status;
}

// ---------------------------------------------------------------------------------
// Open

std::string NameFromKeyBuffer(const uint8_t* key, uint8_t keyCap) {
  std::string name;
  for (size_t i = 0; i < keyCap && key[i] != 0; ++i) name.push_back(static_cast<char>(key[i]));
  return name;
}

// The connection string of the database files live in; empty for SQLite files.
std::string DatabaseSetting() {
  const ManagerState& st = State();
  return st.database ? *st.database : GetEnv("ZURDB");
}

std::string RootSetting() {
  const ManagerState& st = State();
  return st.root ? *st.root : GetEnv("ZURROOT");
}

void ReleaseUnusedConnections() {
  if (!State().transactionActive) ReleasePostgresConnections();
}

int16_t Open(uint8_t* block, const uint8_t* key, uint8_t keyCap, int8_t mode) {
  if (block == nullptr) return kStatusInvalidOperation;
  bool readOnly;
  if (mode == kOpenNormal || mode == -1) {
    readOnly = false;
  } else if (mode == kOpenReadOnly) {
    readOnly = true;
  } else {
    return kStatusInvalidOperation;
  }
  const std::string name = NameFromKeyBuffer(key, keyCap);
  if (name.empty()) return kStatusInvalidFileName;
  ManagerState& st = State();
  size_t index = 0;
  while (index < st.files.size() && st.files[index]) ++index;
  if (index >= kMaxOpenFiles) return kStatusHandleTableFull;

  auto f = std::make_unique<OpenFile>();
  f->readOnly = readOnly;
  const std::string database = DatabaseSetting();
  int16_t status;
  if (database.empty()) {
    status = OpenSqliteStore(name, readOnly, st.busyTimeout, f->store, f->spec);
  } else {
    status = OpenPostgresStore(database, RecordFileKey(name, RootSetting()), readOnly,
                               st.busyTimeout, f->store, f->spec);
  }
  if (status != kStatusSuccess) {
    f.reset();
    ReleaseUnusedConnections();
    return status;
  }
  for (const KeySpec& k : f->spec.keys) {
    Key k2;
    k2.spec = k;
    k2.length = k.Length();
    k2.modifiable = (k.segments.front().flags & kKeyModifiable) != 0;
    f->keys.push_back(std::move(k2));
  }
  f->specBytes = EncodeFileSpec(f->spec);
  f->serial = st.nextSerial++;
  if (st.nextSerial == 0) st.nextSerial = 1;
  std::memset(block, 0, kPositionBlockSize);
  std::memcpy(block, kSignature, 4);
  Put32(block + 4, static_cast<uint32_t>(index));
  Put32(block + 8, f->serial);
  MirrorPosition(*f, block);
  if (index == st.files.size()) st.files.emplace_back();
  st.files[index] = std::move(f);
  return kStatusSuccess;
}

// ---------------------------------------------------------------------------------
// Create

bool StoreIsOpen(const std::string& engineName) {
  for (const auto& f : State().files) {
    if (f && f->store->Holds(engineName)) return true;
  }
  return false;
}

int16_t Create(const uint8_t* data, uint32_t dataCap, const uint8_t* key, uint8_t keyCap,
               int8_t keyNumber) {
  const std::string name = NameFromKeyBuffer(key, keyCap);
  if (name.empty()) return kStatusInvalidFileName;
  FileSpec spec;
  int16_t status = DecodeFileSpec(data, dataCap, spec);
  if (status != kStatusSuccess) return status;
  const bool replace = keyNumber != kCreateNoReplace;
  const std::string database = DatabaseSetting();
  if (database.empty()) return CreateSqliteStore(name, spec, replace, StoreIsOpen);
  status = CreatePostgresStore(database, RecordFileKey(name, RootSetting()), spec, replace,
                               State().busyTimeout, StoreIsOpen);
  ReleaseUnusedConnections();
  return status;
}

// ---------------------------------------------------------------------------------
// Reads

int16_t CheckKey(const OpenFile& f, int8_t keyNumber, uint8_t keyCap) {
  if (keyNumber < 0 || static_cast<size_t>(keyNumber) >= f.keys.size()) {
    return kStatusInvalidKeyNumber;
  }
  if (keyCap < f.keys[keyNumber].length) return kStatusKeyBufferTooShort;
  return kStatusSuccess;
}

// Runs a query of the key and keeps up to `want` of its rows in f.ahead; n tells how
// many. A damaged row or a failure ends the rows kept before it, so that it is
// reported only to the read that reaches it; when it comes first, the rows read ahead
// are forgotten and its status returned.
int16_t ReadAhead(OpenFile& f, RowQuery query, const std::string& image, int64_t pos, int keyNumber,
                  size_t want, size_t& n) {
  const int16_t status = f.store->Query(keyNumber, query, image, pos, want, f.ahead, n);
  if (n > 0) return kStatusSuccess;
  if (status != kStatusSuccess) ForgetReadAhead(f);
  return status;
}

// Keeps the n rows just read as the rows read ahead of a walk.
void KeepReadAhead(OpenFile& f, size_t n, size_t want, int direction, int keyNumber, int64_t now) {
  f.aheadCount = n;
  f.aheadNext = 1;
  f.aheadDirection = direction;
  f.aheadKey = keyNumber;
  f.aheadGeneration = State().writeGeneration;
  f.aheadTime = now;
  f.aheadSize = want;
}

bool ReadAheadServes(const OpenFile& f, int direction, int keyNumber, int64_t now) {
  const ManagerState& st = State();
  return st.readAheadAge > 0 && f.aheadCount > 0 && f.aheadDirection == direction &&
         f.aheadKey == keyNumber && f.aheadGeneration == st.writeGeneration &&
         now - f.aheadTime <= st.readAheadAge;
}

// Whether the rows read ahead hold the answer of a keyed read for f.searchImage, and
// where. They are consecutive in the key's order as the query found them, so when
// every row before them is known to fall short of the answer, the answer is the first
// of them that reaches the searched image (Equal, Greater or Equal, Less or Equal) or
// passes it (Greater, Less), if any does.
bool AnswerFromReadAhead(const OpenFile& f, uint16_t op, int direction, int keyNumber, int64_t now,
                         size_t& at) {
  if (!ReadAheadServes(f, direction, keyNumber, now)) return false;
  const std::string& search = f.searchImage;
  const bool passes = op == kOpGetGreater || op == kOpGetLess;
  // 1 when a lies beyond b in the walk's direction, 0 when equal, -1 when short of it.
  auto beyond = [direction](const std::string& a, const std::string& b) {
    const int c = a.compare(b);
    const int sign = c < 0 ? -1 : (c > 0 ? 1 : 0);
    return direction > 0 ? sign : -sign;
  };
  if (!f.aheadFromEnd) {
    const int bound = beyond(f.aheadBound, search);
    const bool covered = (passes || !f.aheadBoundInclusive) ? bound <= 0 : bound < 0;
    if (!covered) return false;
  }
  const Row* first = f.ahead.data();
  const Row* last = first + f.aheadCount;
  const Row* hit = std::partition_point(first, last, [&](const Row& row) {
    const int c = beyond(row.image, search);
    return passes ? c <= 0 : c < 0;
  });
  if (hit == last) return false;
  at = static_cast<size_t>(hit - first);
  return true;
}

int16_t GetKeyed(OpenFile& f, uint8_t* block, uint16_t op, uint8_t* data, uint32_t dataCap,
                 uint32_t* dataLength, uint8_t* key, uint8_t keyCap, int8_t keyNumber) {
  int16_t status = CheckKey(f, keyNumber, keyCap);
  if (status != kStatusSuccess) return status;
  const Key& k = f.keys[keyNumber];
  RowQuery which;
  int direction = 1;
  switch (op) {
    case kOpGetEqual:
      which = RowQuery::kEqual;
      break;
    case kOpGetGreater:
      which = RowQuery::kGreater;
      break;
    case kOpGetGreaterOrEqual:
      which = RowQuery::kGreaterOrEqual;
      break;
    case kOpGetLess:
      which = RowQuery::kLess;
      direction = -1;
      break;
    case kOpGetLessOrEqual:
      which = RowQuery::kLessOrEqual;
      direction = -1;
      break;
    case kOpGetFirst:
      which = RowQuery::kFirst;
      break;
    default:
      which = RowQuery::kLast;
      direction = -1;
      break;
  }
  const bool fromEnd = which == RowQuery::kFirst || which == RowQuery::kLast;
  const int64_t now = NowMilliseconds();
  if (!fromEnd) {
    ImageOf(f, k, key, f.searchImage);
    size_t at = 0;
    if (AnswerFromReadAhead(f, op, direction, keyNumber, now, at)) {
      if (op == kOpGetEqual && f.ahead[at].image != f.searchImage) return kStatusKeyNotFound;
      f.aheadNext = at + 1;
      return Deliver(f, block, f.ahead[at], keyNumber, data, dataCap, dataLength, key);
    }
  }

  // The answer and, read ahead in the same query, the rows that follow it (for Get
  // Equal, those of the same key value). A walk of this key and direction that goes
  // on keeps its pace.
  const ManagerState& st = State();
  size_t want = 1;
  if (st.readAheadAge > 0 && !f.wroteLast) {
    const bool goesOn =
        f.aheadCount > 0 && f.aheadKey == keyNumber && f.aheadDirection == direction;
    want = goesOn && f.aheadSize > kFirstReadAhead ? f.aheadSize : kFirstReadAhead;
  }
  size_t n = 0;
  status = ReadAhead(f, which, f.searchImage, 0, keyNumber, want, n);
  if (status != kStatusSuccess) return status;
  if (n == 0) {
    ForgetReadAhead(f);
    return op == kOpGetEqual ? kStatusKeyNotFound : kStatusEndOfFile;
  }
  KeepReadAhead(f, n, want, direction, keyNumber, now);
  f.aheadFromEnd = fromEnd;
  if (!fromEnd) {
    // Rows before the first found fall short of the searched image, or reach it at
    // most when the read had to pass it.
    f.aheadBound = f.searchImage;
    f.aheadBoundInclusive = op == kOpGetGreater || op == kOpGetLess;
  }
  return Deliver(f, block, f.ahead[0], keyNumber, data, dataCap, dataLength, key);
}

int16_t Step(OpenFile& f, uint8_t* block, int direction, uint8_t* data, uint32_t dataCap,
             uint32_t* dataLength, uint8_t* key, uint8_t keyCap, int8_t keyNumber) {
  int16_t status = CheckKey(f, keyNumber, keyCap);
  if (status != kStatusSuccess) return status;
  if (f.currentPos == 0 || f.currentKey < 0) return kStatusInvalidPositioning;
  if (f.currentKey != keyNumber) return kStatusDifferentKeyNumber;
  ManagerState& st = State();
  const int64_t now = NowMilliseconds();

  const bool sameWalk = f.aheadDirection == direction && f.aheadKey == keyNumber &&
                        f.aheadCount > 0 && !f.currentDeleted &&
                        f.ahead[f.aheadNext - 1].pos == f.currentPos &&
                        f.aheadGeneration == st.writeGeneration;
  if (sameWalk && f.aheadNext < f.aheadCount && now - f.aheadTime <= st.readAheadAge) {
    const Row& row = f.ahead[f.aheadNext++];
    return Deliver(f, block, row, keyNumber, data, dataCap, dataLength, key);
  }

  // Read the next rows from the current position; a walk that goes on reads more.
  size_t want = 1;
  if (st.readAheadAge > 0 && sameWalk && f.aheadNext == f.aheadCount) {
    want = f.aheadSize * 2 > kMaxReadAhead ? kMaxReadAhead : f.aheadSize * 2;
  }
  size_t n = 0;
  status = ReadAhead(f, direction > 0 ? RowQuery::kNext : RowQuery::kPrevious, f.currentImage,
                     f.currentPos, keyNumber, want, n);
  if (status != kStatusSuccess) return status;
  if (n == 0) {
    ForgetReadAhead(f);
    return kStatusEndOfFile;
  }
  KeepReadAhead(f, n, want, direction, keyNumber, now);
  // The rows before the first found are the position and those before it.
  f.aheadFromEnd = false;
  f.aheadBound = f.currentImage;
  f.aheadBoundInclusive = true;
  return Deliver(f, block, f.ahead[0], keyNumber, data, dataCap, dataLength, key);
}

int16_t GetDirect(OpenFile& f, uint8_t* block, uint8_t* data, uint32_t dataCap,
                  uint32_t* dataLength, uint8_t* key, uint8_t keyCap, int8_t keyNumber) {
  if (dataCap < 4) return kStatusDataBufferTooShort;
  int16_t status = CheckKey(f, keyNumber, keyCap);
  if (status != kStatusSuccess) return status;
  const int64_t pos = Get32(data);
  if (pos < 1 || pos > kMaxRecordPosition) return kStatusInvalidRecordAddress;
  std::vector<Row> rows;
  size_t n = 0;
  status = f.store->Query(keyNumber, RowQuery::kAt, std::string(), pos, 1, rows, n);
  if (status == kStatusSuccess && n == 0) status = kStatusInvalidRecordAddress;
  if (status != kStatusSuccess) return status;
  const Row& row = rows[0];
  ForgetReadAhead(f);
  return Deliver(f, block, row, keyNumber, data, dataCap, dataLength, key);
}

int16_t GetPosition(OpenFile& f, uint8_t* data, uint32_t dataCap, uint32_t* dataLength) {
  if (f.currentPos == 0 || f.currentDeleted) return kStatusInvalidPositioning;
  if (dataCap < 4) return kStatusDataBufferTooShort;
  Put32(data, static_cast<uint32_t>(f.currentPos));
  if (dataLength != nullptr) *dataLength = 4;
  return kStatusSuccess;
}

int16_t RecordCount(OpenFile& f, int64_t& count) {
  return f.store->Count(State().writeGeneration, count);
}

int16_t Stat(OpenFile& f, uint8_t* data, uint32_t dataCap, uint32_t* dataLength) {
  int64_t count = 0;
  int16_t status = RecordCount(f, count);
  if (status != kStatusSuccess) return status;
  const size_t size = f.specBytes.size();
  const uint32_t copied = dataCap < size ? dataCap : static_cast<uint32_t>(size);
  if (copied > 0) std::memcpy(data, f.specBytes.data(), copied);
  // The record count sits at offset 6.
  uint8_t countBytes[4];
  Put32(countBytes, static_cast<uint32_t>(count > 0xFFFFFFFF ? 0xFFFFFFFF : count));
  for (uint32_t i = 0; i < 4; ++i) {
    if (6 + i < copied) data[6 + i] = countBytes[i];
  }
  if (dataLength != nullptr) *dataLength = copied;
  return copied < size ? kStatusDataBufferTooShort : kStatusSuccess;
}

// ---------------------------------------------------------------------------------
// Writes

int16_t Insert(OpenFile& f, uint8_t* block, const uint8_t* data, uint32_t dataCap, uint8_t* key,
               uint8_t keyCap, int8_t keyNumber) {
  if (f.readOnly) return kStatusAccessDenied;
  int16_t status = CheckKey(f, keyNumber, keyCap);
  if (status != kStatusSuccess) return status;
  if (dataCap != f.spec.recordLength) return kStatusDataBufferTooShort;
  status = JoinTransaction(f);
  if (status != kStatusSuccess) return status;
  ImagesOfRecord(f, data);
  int64_t pos = 0;
  status = f.store->Insert(data, f.images, pos);
  if (status != kStatusSuccess) return status;
  ++State().writeGeneration;
  ForgetReadAhead(f);
  f.wroteLast = true;
  f.currentPos = pos;
  f.currentKey = keyNumber;
  f.currentImage = f.images[keyNumber];
  f.currentDeleted = false;
  MirrorPosition(f, block);
  KeyValueOf(f.keys[keyNumber], data, key);
  return kStatusSuccess;
}

int16_t Update(OpenFile& f, uint8_t* block, const uint8_t* data, uint32_t dataCap,
               int8_t keyNumber) {
  if (f.readOnly) return kStatusAccessDenied;
  if (keyNumber < 0 || static_cast<size_t>(keyNumber) >= f.keys.size()) {
    return kStatusInvalidKeyNumber;
  }
  if (f.currentPos == 0 || f.currentDeleted) return kStatusInvalidPositioning;
  if (dataCap != f.spec.recordLength) return kStatusDataBufferTooShort;
  int16_t status = JoinTransaction(f);
  if (status != kStatusSuccess) return status;

  // The record as stored now, to see which keys would change.
  std::string old;
  bool found = false;
  status = f.store->ReadData(f.currentPos, old, found);
  if (status == kStatusSuccess && !found) status = kStatusInvalidPositioning;
  if (status != kStatusSuccess) return status;

  for (const Key& k : f.keys) {
    if (k.modifiable) continue;
    for (const KeySegmentSpec& s : k.spec.segments) {
      if (std::memcmp(old.data() + s.position - 1, data + s.position - 1, s.length) != 0) {
        return kStatusKeyNotModifiable;
      }
    }
  }
  ImagesOfRecord(f, data);
  bool changed = false;
  status = f.store->Update(f.currentPos, data, f.images, changed);
  if (status != kStatusSuccess) return status;
  if (!changed) return kStatusInvalidPositioning;
  ++State().writeGeneration;
  ForgetReadAhead(f);
  f.wroteLast = true;
  f.currentKey = keyNumber;
  f.currentImage = f.images[keyNumber];
  MirrorPosition(f, block);
  return kStatusSuccess;
}

int16_t Delete(OpenFile& f) {
  if (f.readOnly) return kStatusAccessDenied;
  if (f.currentPos == 0 || f.currentDeleted) return kStatusInvalidPositioning;
  int16_t status = JoinTransaction(f);
  if (status != kStatusSuccess) return status;
  bool changed = false;
  status = f.store->Delete(f.currentPos, changed);
  if (status != kStatusSuccess) return status;
  if (!changed) return kStatusInvalidPositioning;
  ++State().writeGeneration;
  ForgetReadAhead(f);
  f.wroteLast = true;
  f.currentDeleted = true;
  return kStatusSuccess;
}

int16_t Close(OpenFile& f, uint8_t* block) {
  if (f.inTransaction) return kStatusNotInTransaction;
  ManagerState& st = State();
  const uint32_t index = Get32(block + 4);
  st.files[index].reset();
  ReleaseUnusedConnections();
  std::memset(block, 0, kPositionBlockSize);
  return kStatusSuccess;
}

int16_t Reset() {
  ManagerState& st = State();
  if (st.transactionActive) FinishTransactions(false);
  st.files.clear();
  ReleasePostgresConnections();
  ++st.writeGeneration;
  return kStatusSuccess;
}

}  // namespace

int16_t BTRCALL(uint16_t operation, void* positionBlock, void* dataBuffer, uint32_t* dataLength,
                void* keyBuffer, uint8_t keyLength, int8_t keyNumber) {
  if (operation >= 500) return kStatusInvalidOperation;
  const uint16_t op = operation % 100;
  auto* block = static_cast<uint8_t*>(positionBlock);
  auto* data = static_cast<uint8_t*>(dataBuffer);
  const uint32_t dataCap = (data != nullptr && dataLength != nullptr) ? *dataLength : 0;
  auto* key = static_cast<uint8_t*>(keyBuffer);
  const uint8_t keyCap = key != nullptr ? keyLength : 0;

  switch (op) {
    case kOpOpen:
      return Open(block, key, keyCap, keyNumber);
    case kOpCreate:
      return Create(data, dataCap, key, keyCap, keyNumber);
    case kOpReset:
      return Reset();
    case kOpBeginTransaction:
      if (State().transactionActive) return kStatusTransactionActive;
      State().transactionActive = true;
      return kStatusSuccess;
    case kOpEndTransaction:
      return FinishTransactions(true);
    case kOpAbortTransaction:
      return FinishTransactions(false);
    default:
      break;
  }

  OpenFile* f = FileOf(block);
  if (f == nullptr) {
    if (op == kOpClose || (op >= kOpInsert && op <= kOpStat) || op == kOpGetPosition ||
        op == kOpGetDirect) {
      return kStatusFileNotOpen;
    }
    return kStatusInvalidOperation;
  }
  const bool isRead = (op >= kOpGetEqual && op <= kOpGetLast) || op == kOpGetDirect ||
                      op == kOpGetPosition || op == kOpStat;
  int16_t status;
  switch (op) {
    case kOpClose:
      return Close(*f, block);
    case kOpInsert:
      return Insert(*f, block, data, dataCap, key, keyCap, keyNumber);
    case kOpUpdate:
      return Update(*f, block, data, dataCap, keyNumber);
    case kOpDelete:
      return Delete(*f);
    case kOpGetNext:
    case kOpGetPrevious:
      status = Step(*f, block, op == kOpGetNext ? 1 : -1, data, dataCap, dataLength, key, keyCap,
                    keyNumber);
      break;
    case kOpGetEqual:
    case kOpGetGreater:
    case kOpGetGreaterOrEqual:
    case kOpGetLess:
    case kOpGetLessOrEqual:
    case kOpGetFirst:
    case kOpGetLast:
      status = GetKeyed(*f, block, op, data, dataCap, dataLength, key, keyCap, keyNumber);
      break;
    case kOpStat:
      status = Stat(*f, data, dataCap, dataLength);
      break;
    case kOpGetPosition:
      status = GetPosition(*f, data, dataCap, dataLength);
      break;
    case kOpGetDirect:
      status = GetDirect(*f, block, data, dataCap, dataLength, key, keyCap, keyNumber);
      break;
    default:
      return kStatusInvalidOperation;
  }
  // A read that failed hands back no data.
  if (isRead && status != kStatusSuccess && status != kStatusDataBufferTooShort &&
      dataLength != nullptr) {
    *dataLength = 0;
  }
  if (isRead) f->wroteLast = false;
  return status;
}

void SetRecordManagerBusyTimeout(int milliseconds) {
  State().busyTimeout = milliseconds < 0 ? 0 : milliseconds;
  for (auto& f : State().files) {
    if (f) f->store->SetBusyTimeout(State().busyTimeout);
  }
}

void SetRecordManagerReadAheadAge(int milliseconds) {
  State().readAheadAge = milliseconds < 0 ? 0 : milliseconds;
}

}  // namespace platform

namespace platform {

void SetRecordManagerDatabase(const char* connection) {
  if (connection == nullptr) {
    State().database.reset();
  } else {
    State().database = connection;
  }
}

void SetRecordManagerRoot(const char* root) {
  if (root == nullptr) {
    State().root.reset();
  } else {
    State().root = root;
  }
}

std::string RecordManagerConnectionError() {
  return PostgresConnectionError();
}

}  // namespace platform
