#include "platform/record_manager.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/path.h"
#include "platform/record_file_spec.h"
#include "platform/record_status.h"

namespace platform {
namespace {

constexpr char kSignature[4] = {'Z', 'R', 'P', 'B'};
constexpr int kSchemaFormat = 1;
constexpr size_t kMaxOpenFiles = 1024;
constexpr size_t kMaxReadAhead = 256;
// Rows a keyed read fetches at the start of a walk; a walk that goes on reads more.
constexpr size_t kFirstReadAhead = 16;
constexpr int64_t kMaxPosition = 2147483647;
constexpr int kMaxBlobBytes = 1 << 16;

// What an operation was doing when SQLite answered: a busy database is a locked
// file while opening and a locked record otherwise; creating fails as a whole.
enum class Phase { kOpen, kAccess, kCreate };

// The one place where SQLite's result codes become record-manager statuses.
int16_t StatusFromSqlite(int rc, Phase phase) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return kStatusSuccess;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return phase == Phase::kOpen ? kStatusFileLocked : kStatusRecordLocked;
    case SQLITE_CONSTRAINT:
      if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY) {
        return kStatusDuplicateKey;
      }
      // The position check of the records table: no position number left.
      if (rc == SQLITE_CONSTRAINT_CHECK) return kStatusDiskFull;
      return kStatusIoError;
    case SQLITE_FULL:
      return phase == Phase::kCreate ? kStatusCreateIoError : kStatusDiskFull;
    case SQLITE_NOTADB:
      return kStatusNotARecordFile;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return kStatusAccessDenied;
    case SQLITE_ERROR:
    case SQLITE_SCHEMA:
      // Our own statements fail only on a database laid out otherwise.
      return phase == Phase::kCreate ? kStatusCreateIoError : kStatusNotARecordFile;
    default:  // SQLITE_CORRUPT, SQLITE_IOERR, SQLITE_CANTOPEN, SQLITE_NOMEM, ...
      return phase == Phase::kCreate ? kStatusCreateIoError : kStatusIoError;
  }
}

uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t GetBig32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
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

struct Row {
  int64_t pos = 0;
  std::string data;
  std::string image;
};

// Cached statements of one key, prepared at open.
enum KeyStatement {
  kSelEqual,
  kSelGreater,
  kSelGreaterOrEqual,
  kSelLess,
  kSelLessOrEqual,
  kSelFirst,
  kSelLast,
  kSelNext,
  kSelPrevious,
  kSelAt,
  kKeyStatementCount
};

struct OpenFile {
  uint32_t serial = 0;
  sqlite3* db = nullptr;
  std::string path;
  bool readOnly = false;
  FileSpec spec;
  std::string specBytes;  // EncodeFileSpec(spec), record count 0
  std::vector<Key> keys;
  std::vector<std::array<sqlite3_stmt*, kKeyStatementCount>> keyStatements;
  sqlite3_stmt* insert = nullptr;
  sqlite3_stmt* update = nullptr;
  sqlite3_stmt* erase = nullptr;
  sqlite3_stmt* dataAt = nullptr;
  sqlite3_stmt* count = nullptr;
  sqlite3_stmt* dataVersion = nullptr;

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

  int64_t cachedCount = -1;
  int64_t cachedCountVersion = 0;
  uint64_t cachedCountGeneration = 0;

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
};

ManagerState& State() {
  static ManagerState state;
  return state;
}

void Finalize(sqlite3_stmt*& s) {
  if (s != nullptr) sqlite3_finalize(s);
  s = nullptr;
}

void CloseFile(OpenFile& f) {
  for (auto& perKey : f.keyStatements) {
    for (sqlite3_stmt*& s : perKey) Finalize(s);
  }
  Finalize(f.insert);
  Finalize(f.update);
  Finalize(f.erase);
  Finalize(f.dataAt);
  Finalize(f.count);
  Finalize(f.dataVersion);
  if (f.db != nullptr) sqlite3_close_v2(f.db);
  f.db = nullptr;
}

int Prepare(sqlite3* db, const std::string& sql, sqlite3_stmt** stmt) {
  return sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, stmt, nullptr);
}

// ---------------------------------------------------------------------------------
// Schema

std::string KeyColumn(size_t k) {
  return "k" + std::to_string(k);
}

struct SchemaEntry {
  std::string type, name, table, sql;
  bool operator==(const SchemaEntry&) const = default;
};

// Every object Create makes, in name order; Open accepts a database only when its
// schema is exactly this (plus statistics tables an ANALYZE may add).
std::vector<SchemaEntry> ExpectedSchema(const FileSpec& spec) {
  std::vector<SchemaEntry> out;
  out.push_back({"table", "key_segments", "key_segments",
                 "CREATE TABLE key_segments(keyNumber INTEGER NOT NULL, segmentNumber INTEGER "
                 "NOT NULL, position INTEGER NOT NULL, length INTEGER NOT NULL, flags INTEGER "
                 "NOT NULL, spec BLOB NOT NULL)"});
  out.push_back({"table", "meta", "meta",
                 "CREATE TABLE meta(format INTEGER NOT NULL, recordLength INTEGER NOT NULL, "
                 "pageSize INTEGER NOT NULL, fileFlags INTEGER NOT NULL, keyCount INTEGER NOT "
                 "NULL, alternate BLOB)"});
  std::string records =
      "CREATE TABLE records(pos INTEGER PRIMARY KEY CHECK (pos BETWEEN 1 AND 2147483647), "
      "data BLOB NOT NULL CHECK (length(data) = " +
      std::to_string(spec.recordLength) + ")";
  for (size_t k = 0; k < spec.keys.size(); ++k) records += ", " + KeyColumn(k) + " BLOB NOT NULL";
  records += ")";
  out.push_back({"table", "records", "records", records});
  std::vector<SchemaEntry> indexes;
  for (size_t k = 0; k < spec.keys.size(); ++k) {
    const bool duplicates = (spec.keys[k].segments.front().flags & kKeyDuplicates) != 0;
    std::string name = "records_" + KeyColumn(k);
    indexes.push_back({"index", name, "records",
                       std::string(duplicates ? "CREATE INDEX " : "CREATE UNIQUE INDEX ") + name +
                           " ON records(" + KeyColumn(k) + ")"});
  }
  for (auto& e : indexes) out.push_back(e);
  std::sort(out.begin(), out.end(),
            [](const SchemaEntry& a, const SchemaEntry& b) { return a.name < b.name; });
  return out;
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

// Copies the row a select is on (pos, data, image) after checking it has the shape
// this file's records have.
int16_t ReadRow(const OpenFile& f, sqlite3_stmt* s, size_t imageLength, Row& row) {
  if (sqlite3_column_type(s, 0) != SQLITE_INTEGER || sqlite3_column_type(s, 1) != SQLITE_BLOB ||
      sqlite3_column_type(s, 2) != SQLITE_BLOB) {
    return kStatusIoError;
  }
  const int64_t pos = sqlite3_column_int64(s, 0);
  const void* data = sqlite3_column_blob(s, 1);
  const int dataBytes = sqlite3_column_bytes(s, 1);
  const void* image = sqlite3_column_blob(s, 2);
  const int imageBytes = sqlite3_column_bytes(s, 2);
  if (pos < 1 || pos > kMaxPosition || data == nullptr || image == nullptr ||
      dataBytes != f.spec.recordLength || static_cast<size_t>(imageBytes) != imageLength) {
    return kStatusIoError;
  }
  row.pos = pos;
  row.data.assign(static_cast<const char*>(data), static_cast<size_t>(dataBytes));
  row.image.assign(static_cast<const char*>(image), static_cast<size_t>(imageBytes));
  return kStatusSuccess;
}

// Runs a select of at most one row. found tells whether it gave one.
int16_t FetchOne(const OpenFile& f, sqlite3_stmt* s, size_t imageLength, Row& row, bool& found) {
  found = false;
  int rc = sqlite3_step(s);
  int16_t status = kStatusSuccess;
  if (rc == SQLITE_ROW) {
    status = ReadRow(f, s, imageLength, row);
    found = status == kStatusSuccess;
  } else if (rc != SQLITE_DONE) {
    status = StatusFromSqlite(rc, Phase::kAccess);
  }
  sqlite3_reset(s);
  return status;
}

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
  int rc = sqlite3_exec(f.db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return StatusFromSqlite(rc, Phase::kAccess);
  f.inTransaction = true;
  return kStatusSuccess;
}

int16_t FinishTransactions(bool commit) {
  ManagerState& st = State();
  if (!st.transactionActive) return kStatusNoTransaction;
  int16_t status = kStatusSuccess;
  for (auto& f : st.files) {
    if (!f || !f->inTransaction) continue;
    int rc = sqlite3_exec(f->db, commit ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
      if (status == kStatusSuccess) status = StatusFromSqlite(rc, Phase::kAccess);
      if (sqlite3_get_autocommit(f->db) == 0) {
        sqlite3_exec(f->db, "ROLLBACK", nullptr, nullptr, nullptr);
      }
    }
    f->inTransaction = false;
    f->cachedCount = -1;
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

// A database file shorter than its own header says was cut short. Only decided when
// no write-ahead log holds pages the file does not have yet.
bool LooksCutShort(const std::string& path, long long fileSize) {
  struct stat walInfo {};
  if (::stat((path + "-wal").c_str(), &walInfo) == 0 && walInfo.st_size > 0) return false;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  uint8_t header[100];
  ssize_t n = ::pread(fd, header, sizeof header, 0);
  ::close(fd);
  if (n != static_cast<ssize_t>(sizeof header)) return false;
  if (std::memcmp(header, "SQLite format 3", 16) != 0) return false;
  uint32_t pageSize = (static_cast<uint32_t>(header[16]) << 8) | header[17];
  if (pageSize == 1) pageSize = 65536;
  const uint32_t changeCounter = GetBig32(header + 24);
  const uint32_t pageCount = GetBig32(header + 28);
  const uint32_t validFor = GetBig32(header + 92);
  if (pageCount == 0 || changeCounter != validFor) return false;
  return static_cast<long long>(pageCount) * pageSize > fileSize;
}

int16_t LoadSchema(OpenFile& f) {
  sqlite3* db = f.db;
  sqlite3_stmt* s = nullptr;
  int16_t status = kStatusSuccess;

  // meta: one row.
  int rc = Prepare(db,
                   "SELECT format, recordLength, pageSize, fileFlags, keyCount, alternate "
                   "FROM meta",
                   &s);
  if (rc != SQLITE_OK) return StatusFromSqlite(rc, Phase::kOpen);
  std::string bytes(kFileSpecHeaderSize, '\0');
  int64_t keyCount = 0;
  std::string alternate;
  rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) {
    const int64_t format = sqlite3_column_int64(s, 0);
    const int64_t recordLength = sqlite3_column_int64(s, 1);
    const int64_t pageSize = sqlite3_column_int64(s, 2);
    const int64_t fileFlags = sqlite3_column_int64(s, 3);
    keyCount = sqlite3_column_int64(s, 4);
    if (format != kSchemaFormat || recordLength < 0 || recordLength > 0xFFFF || pageSize < 0 ||
        pageSize > 0xFFFF || fileFlags < 0 || fileFlags > 0xFFFF || keyCount < 1 ||
        keyCount > static_cast<int64_t>(kMaxKeys)) {
      status = kStatusNotARecordFile;
    } else {
      auto put16 = [&](size_t at, int64_t v) {
        bytes[at] = static_cast<char>(v & 0xFF);
        bytes[at + 1] = static_cast<char>((v >> 8) & 0xFF);
      };
      put16(0, recordLength);
      put16(2, pageSize);
      put16(4, keyCount);
      put16(10, fileFlags);
      if (sqlite3_column_type(s, 5) == SQLITE_BLOB) {
        const int n = sqlite3_column_bytes(s, 5);
        if (n != static_cast<int>(kAlternateSequenceSize)) {
          status = kStatusNotARecordFile;
        } else {
          alternate.assign(static_cast<const char*>(sqlite3_column_blob(s, 5)),
                           static_cast<size_t>(n));
        }
      } else if (sqlite3_column_type(s, 5) != SQLITE_NULL) {
        status = kStatusNotARecordFile;
      }
      if (status == kStatusSuccess) {
        rc = sqlite3_step(s);
        if (rc == SQLITE_ROW)
          status = kStatusNotARecordFile;
        else if (rc != SQLITE_DONE)
          status = StatusFromSqlite(rc, Phase::kOpen);
      }
    }
  } else {
    status = rc == SQLITE_DONE ? kStatusNotARecordFile : StatusFromSqlite(rc, Phase::kOpen);
  }
  sqlite3_finalize(s);
  s = nullptr;
  if (status != kStatusSuccess) return status;

  // key_segments: the raw specifications, in key and segment order.
  rc = Prepare(db,
               "SELECT keyNumber, segmentNumber, spec FROM key_segments "
               "ORDER BY keyNumber, segmentNumber",
               &s);
  if (rc != SQLITE_OK) return StatusFromSqlite(rc, Phase::kOpen);
  std::vector<int64_t> rowKeys;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    if (rowKeys.size() >= kMaxSegments || sqlite3_column_type(s, 2) != SQLITE_BLOB ||
        sqlite3_column_bytes(s, 2) != static_cast<int>(kKeySegmentSpecSize)) {
      status = kStatusNotARecordFile;
      break;
    }
    rowKeys.push_back(sqlite3_column_int64(s, 0));
    bytes.append(static_cast<const char*>(sqlite3_column_blob(s, 2)), kKeySegmentSpecSize);
  }
  if (status == kStatusSuccess && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    status = StatusFromSqlite(rc, Phase::kOpen);
  }
  sqlite3_finalize(s);
  s = nullptr;
  if (status != kStatusSuccess) return status;
  bytes += alternate;

  if (DecodeFileSpec(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), f.spec) !=
      kStatusSuccess) {
    return kStatusNotARecordFile;
  }
  // The rows' key numbers must match the segmentation the flags describe.
  size_t row = 0;
  for (size_t k = 0; k < f.spec.keys.size(); ++k) {
    for (size_t i = 0; i < f.spec.keys[k].segments.size(); ++i, ++row) {
      if (row >= rowKeys.size() || rowKeys[row] != static_cast<int64_t>(k)) {
        return kStatusNotARecordFile;
      }
    }
  }
  if (row != rowKeys.size() || f.spec.keys.size() != static_cast<size_t>(keyCount) ||
      (alternate.empty() != !f.spec.alternate)) {
    return kStatusNotARecordFile;
  }

  // The schema must be exactly what Create makes.
  rc = Prepare(db, "SELECT type, name, tbl_name, sql FROM sqlite_master ORDER BY name", &s);
  if (rc != SQLITE_OK) return StatusFromSqlite(rc, Phase::kOpen);
  std::vector<SchemaEntry> found;
  auto text = [&](int col) {
    const unsigned char* t = sqlite3_column_text(s, col);
    return t ? std::string(reinterpret_cast<const char*>(t)) : std::string();
  };
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    SchemaEntry e{text(0), text(1), text(2), text(3)};
    if (e.type == "table" && e.name.rfind("sqlite_stat", 0) == 0) continue;
    if (found.size() > 2 * kMaxKeys + 8) break;
    found.push_back(std::move(e));
  }
  if (rc != SQLITE_DONE && rc != SQLITE_ROW) status = StatusFromSqlite(rc, Phase::kOpen);
  sqlite3_finalize(s);
  if (status != kStatusSuccess) return status;
  if (found != ExpectedSchema(f.spec)) return kStatusNotARecordFile;

  for (const KeySpec& k : f.spec.keys) {
    Key key;
    key.spec = k;
    key.length = k.Length();
    key.modifiable = (k.segments.front().flags & kKeyModifiable) != 0;
    f.keys.push_back(std::move(key));
  }
  f.specBytes = EncodeFileSpec(f.spec);
  return kStatusSuccess;
}

int16_t PrepareStatements(OpenFile& f) {
  const size_t keyCount = f.keys.size();
  std::string columns;
  for (size_t k = 0; k < keyCount; ++k) columns += ", " + KeyColumn(k);
  struct Item {
    sqlite3_stmt** stmt;
    std::string sql;
  };
  std::vector<Item> items;
  std::string values = "?1";
  std::string sets = "data = ?1";
  for (size_t k = 0; k < keyCount; ++k) {
    values += ", ?" + std::to_string(k + 2);
    sets += ", " + KeyColumn(k) + " = ?" + std::to_string(k + 2);
  }
  items.push_back({&f.insert, "INSERT INTO records(data" + columns + ") VALUES (" + values + ")"});
  items.push_back(
      {&f.update, "UPDATE records SET " + sets + " WHERE pos = ?" + std::to_string(keyCount + 2)});
  items.push_back({&f.erase, "DELETE FROM records WHERE pos = ?1"});
  items.push_back({&f.dataAt, "SELECT data FROM records WHERE pos = ?1"});
  items.push_back({&f.count, "SELECT count(*) FROM records"});
  items.push_back({&f.dataVersion, "PRAGMA data_version"});

  f.keyStatements.assign(keyCount, {});
  for (size_t k = 0; k < keyCount; ++k) {
    const std::string c = KeyColumn(k);
    const std::string select = "SELECT pos, data, " + c + " FROM records ";
    const std::string up = " ORDER BY " + c + ", pos";
    const std::string down = " ORDER BY " + c + " DESC, pos DESC";
    auto& st = f.keyStatements[k];
    items.push_back({&st[kSelEqual], select + "WHERE " + c + " = ?1" + up + " LIMIT ?2"});
    items.push_back({&st[kSelGreater], select + "WHERE " + c + " > ?1" + up + " LIMIT ?2"});
    items.push_back({&st[kSelGreaterOrEqual], select + "WHERE " + c + " >= ?1" + up + " LIMIT ?2"});
    items.push_back({&st[kSelLess], select + "WHERE " + c + " < ?1" + down + " LIMIT ?2"});
    items.push_back({&st[kSelLessOrEqual], select + "WHERE " + c + " <= ?1" + down + " LIMIT ?2"});
    items.push_back({&st[kSelFirst], select + up + " LIMIT ?1"});
    items.push_back({&st[kSelLast], select + down + " LIMIT ?1"});
    items.push_back(
        {&st[kSelNext], select + "WHERE (" + c + ", pos) > (?1, ?2)" + up + " LIMIT ?3"});
    items.push_back(
        {&st[kSelPrevious], select + "WHERE (" + c + ", pos) < (?1, ?2)" + down + " LIMIT ?3"});
    items.push_back({&st[kSelAt], select + "WHERE pos = ?1"});
  }
  for (Item& item : items) {
    int rc = Prepare(f.db, item.sql, item.stmt);
    if (rc != SQLITE_OK) return StatusFromSqlite(rc, Phase::kOpen);
  }
  return kStatusSuccess;
}

int16_t CheckPositions(OpenFile& f) {
  sqlite3_stmt* s = nullptr;
  int rc = Prepare(f.db, "SELECT min(pos), max(pos) FROM records", &s);
  if (rc != SQLITE_OK) return StatusFromSqlite(rc, Phase::kOpen);
  int16_t status = kStatusSuccess;
  rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) {
    if (sqlite3_column_type(s, 0) != SQLITE_NULL &&
        (sqlite3_column_int64(s, 0) < 1 || sqlite3_column_int64(s, 1) > kMaxPosition)) {
      status = kStatusNotARecordFile;
    }
  } else {
    status = StatusFromSqlite(rc, Phase::kOpen);
  }
  sqlite3_finalize(s);
  return status;
}

int16_t ConfigureConnection(sqlite3* db) {
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, State().busyTimeout);
  sqlite3_limit(db, SQLITE_LIMIT_LENGTH, kMaxBlobBytes);
  sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
  return kStatusSuccess;
}

int16_t EnsureWal(OpenFile& f) {
  if (f.readOnly) return kStatusSuccess;
  sqlite3_stmt* s = nullptr;
  int rc = Prepare(f.db, "PRAGMA journal_mode", &s);
  if (rc != SQLITE_OK) return StatusFromSqlite(rc, Phase::kOpen);
  bool wal = false;
  rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) {
    const unsigned char* t = sqlite3_column_text(s, 0);
    wal = t != nullptr && std::strcmp(reinterpret_cast<const char*>(t), "wal") == 0;
  }
  sqlite3_finalize(s);
  if (rc != SQLITE_ROW) return StatusFromSqlite(rc, Phase::kOpen);
  if (wal) return kStatusSuccess;
  rc = sqlite3_exec(f.db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  return StatusFromSqlite(rc, Phase::kOpen);
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

  const std::string path = ResolvePath(name);
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    return (errno == EACCES) ? kStatusAccessDenied : kStatusFileNotFound;
  }
  if (!S_ISREG(info.st_mode)) return kStatusInvalidFileName;
  if (::access(path.c_str(), readOnly ? R_OK : (R_OK | W_OK)) != 0) return kStatusAccessDenied;
  if (info.st_size == 0) return kStatusNotARecordFile;
  if (LooksCutShort(path, info.st_size)) return kStatusIoError;

  auto f = std::make_unique<OpenFile>();
  f->path = path;
  f->readOnly = readOnly;
  const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) |
                    SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE;
  int rc = sqlite3_open_v2(path.c_str(), &f->db, flags, nullptr);
  int16_t status =
      rc == SQLITE_OK ? ConfigureConnection(f->db) : StatusFromSqlite(rc, Phase::kOpen);
  if (status == kStatusSuccess) status = LoadSchema(*f);
  if (status == kStatusSuccess) status = EnsureWal(*f);
  if (status == kStatusSuccess) status = PrepareStatements(*f);
  if (status == kStatusSuccess) status = CheckPositions(*f);
  if (status != kStatusSuccess) {
    CloseFile(*f);
    return status;
  }
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

bool PathIsOpen(const std::string& path) {
  struct stat target {};
  if (::stat(path.c_str(), &target) != 0) return false;
  for (const auto& f : State().files) {
    struct stat other {};
    if (f && ::stat(f->path.c_str(), &other) == 0 && other.st_dev == target.st_dev &&
        other.st_ino == target.st_ino) {
      return true;
    }
  }
  return false;
}

bool RemoveIfPresent(const std::string& path) {
  return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

int BuildDatabase(sqlite3* db, const FileSpec& spec) {
  int rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL; BEGIN", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return rc;
  for (const SchemaEntry& e : ExpectedSchema(spec)) {
    rc = sqlite3_exec(db, e.sql.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return rc;
  }
  sqlite3_stmt* s = nullptr;
  rc = Prepare(db,
               "INSERT INTO meta(format, recordLength, pageSize, fileFlags, keyCount, "
               "alternate) VALUES (?1, ?2, ?3, ?4, ?5, ?6)",
               &s);
  if (rc != SQLITE_OK) return rc;
  const std::string bytes = EncodeFileSpec(spec);
  sqlite3_bind_int(s, 1, kSchemaFormat);
  sqlite3_bind_int(s, 2, spec.recordLength);
  sqlite3_bind_int(s, 3, spec.pageSize);
  sqlite3_bind_int(s, 4, spec.fileFlags);
  sqlite3_bind_int(s, 5, static_cast<int>(spec.keys.size()));
  size_t segmentsEnd = kFileSpecHeaderSize;
  for (const KeySpec& k : spec.keys) segmentsEnd += k.segments.size() * kKeySegmentSpecSize;
  if (spec.alternate) {
    sqlite3_bind_blob(s, 6, bytes.data() + segmentsEnd, kAlternateSequenceSize, SQLITE_TRANSIENT);
  } else {
    sqlite3_bind_null(s, 6);
  }
  rc = sqlite3_step(s);
  sqlite3_finalize(s);
  if (rc != SQLITE_DONE) return rc;

  rc = Prepare(db,
               "INSERT INTO key_segments(keyNumber, segmentNumber, position, length, flags, "
               "spec) VALUES (?1, ?2, ?3, ?4, ?5, ?6)",
               &s);
  if (rc != SQLITE_OK) return rc;
  size_t at = kFileSpecHeaderSize;
  rc = SQLITE_DONE;
  for (size_t k = 0; k < spec.keys.size() && rc == SQLITE_DONE; ++k) {
    for (size_t i = 0; i < spec.keys[k].segments.size(); ++i) {
      const uint8_t* raw = reinterpret_cast<const uint8_t*>(bytes.data() + at);
      sqlite3_bind_int(s, 1, static_cast<int>(k));
      sqlite3_bind_int(s, 2, static_cast<int>(i));
      sqlite3_bind_int(s, 3, raw[0] | (raw[1] << 8));
      sqlite3_bind_int(s, 4, raw[2] | (raw[3] << 8));
      sqlite3_bind_int(s, 5, raw[4] | (raw[5] << 8));
      sqlite3_bind_blob(s, 6, raw, kKeySegmentSpecSize, SQLITE_TRANSIENT);
      rc = sqlite3_step(s);
      sqlite3_reset(s);
      if (rc != SQLITE_DONE) break;
      at += kKeySegmentSpecSize;
    }
  }
  sqlite3_finalize(s);
  if (rc != SQLITE_DONE) return rc;
  return sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
}

int16_t Create(const uint8_t* data, uint32_t dataCap, const uint8_t* key, uint8_t keyCap,
               int8_t keyNumber) {
  const std::string name = NameFromKeyBuffer(key, keyCap);
  if (name.empty()) return kStatusInvalidFileName;
  FileSpec spec;
  int16_t status = DecodeFileSpec(data, dataCap, spec);
  if (status != kStatusSuccess) return status;

  const std::string path = ResolvePath(name);
  const bool replace = keyNumber != kCreateNoReplace;
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0) {
    if (!replace) return kStatusFileExists;
    if (PathIsOpen(path)) return kStatusFileLocked;
    if (!RemoveIfPresent(path) || !RemoveIfPresent(path + "-wal") ||
        !RemoveIfPresent(path + "-shm")) {
      return kStatusCreateIoError;
    }
  }

  static unsigned counter = 0;
  const std::string temp =
      path + ".creating." + std::to_string(::getpid()) + "." + std::to_string(++counter);
  RemoveIfPresent(temp);
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(
      temp.c_str(), &db,
      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE,
      nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_extended_result_codes(db, 1);
    rc = BuildDatabase(db, spec);
  }
  const int closeRc = sqlite3_close(db);
  if (rc == SQLITE_OK) rc = closeRc;
  if (rc != SQLITE_OK) {
    status = StatusFromSqlite(rc, Phase::kCreate);
  } else if (replace) {
    if (::rename(temp.c_str(), path.c_str()) != 0) status = kStatusCreateIoError;
  } else if (::link(temp.c_str(), path.c_str()) != 0) {
    // link refuses to replace a file that appeared meanwhile.
    if (errno == EEXIST) {
      status = kStatusFileExists;
    } else if ((errno == EPERM || errno == ENOTSUP || errno == EXDEV) &&
               ::lstat(path.c_str(), &info) != 0 && ::rename(temp.c_str(), path.c_str()) == 0) {
      status = kStatusSuccess;
    } else {
      status = kStatusCreateIoError;
    }
  }
  RemoveIfPresent(temp);
  RemoveIfPresent(temp + "-wal");
  RemoveIfPresent(temp + "-shm");
  RemoveIfPresent(temp + "-journal");
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

// Runs a select already bound and keeps up to `want` of its rows in f.ahead; n tells
// how many. A damaged row or a failure ends the rows kept before it, so that it is
// reported only to the read that reaches it; when it comes first, the rows read ahead
// are forgotten and its status returned.
int16_t ReadAhead(OpenFile& f, sqlite3_stmt* s, int keyNumber, size_t want, size_t& n) {
  if (f.ahead.size() < want) f.ahead.resize(want);
  n = 0;
  int16_t status = kStatusSuccess;
  int rc = SQLITE_DONE;
  while (n < want && (rc = sqlite3_step(s)) == SQLITE_ROW) {
    status = ReadRow(f, s, f.keys[keyNumber].length, f.ahead[n]);
    if (status != kStatusSuccess) break;
    ++n;
  }
  if (status == kStatusSuccess && n < want && rc != SQLITE_DONE) {
    status = StatusFromSqlite(rc, Phase::kAccess);
  }
  sqlite3_reset(s);
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
  KeyStatement which;
  int direction = 1;
  switch (op) {
    case kOpGetEqual:
      which = kSelEqual;
      break;
    case kOpGetGreater:
      which = kSelGreater;
      break;
    case kOpGetGreaterOrEqual:
      which = kSelGreaterOrEqual;
      break;
    case kOpGetLess:
      which = kSelLess;
      direction = -1;
      break;
    case kOpGetLessOrEqual:
      which = kSelLessOrEqual;
      direction = -1;
      break;
    case kOpGetFirst:
      which = kSelFirst;
      break;
    default:
      which = kSelLast;
      direction = -1;
      break;
  }
  const bool fromEnd = which == kSelFirst || which == kSelLast;
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
  sqlite3_stmt* s = f.keyStatements[keyNumber][which];
  if (fromEnd) {
    sqlite3_bind_int64(s, 1, static_cast<int64_t>(want));
  } else {
    sqlite3_bind_blob(s, 1, f.searchImage.data(), static_cast<int>(f.searchImage.size()),
                      SQLITE_STATIC);
    sqlite3_bind_int64(s, 2, static_cast<int64_t>(want));
  }
  size_t n = 0;
  status = ReadAhead(f, s, keyNumber, want, n);
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
  sqlite3_stmt* s = f.keyStatements[keyNumber][direction > 0 ? kSelNext : kSelPrevious];
  sqlite3_bind_blob(s, 1, f.currentImage.data(), static_cast<int>(f.currentImage.size()),
                    SQLITE_STATIC);
  sqlite3_bind_int64(s, 2, f.currentPos);
  sqlite3_bind_int64(s, 3, static_cast<int64_t>(want));
  size_t n = 0;
  status = ReadAhead(f, s, keyNumber, want, n);
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
  if (pos < 1 || pos > kMaxPosition) return kStatusInvalidRecordAddress;
  sqlite3_stmt* s = f.keyStatements[keyNumber][kSelAt];
  sqlite3_bind_int64(s, 1, pos);
  Row row;
  bool found = false;
  status = FetchOne(f, s, f.keys[keyNumber].length, row, found);
  if (status == kStatusSuccess && !found) status = kStatusInvalidRecordAddress;
  if (status != kStatusSuccess) return status;
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
  ManagerState& st = State();
  int rc = sqlite3_step(f.dataVersion);
  const int64_t version = rc == SQLITE_ROW ? sqlite3_column_int64(f.dataVersion, 0) : -1;
  sqlite3_reset(f.dataVersion);
  if (rc != SQLITE_ROW) return StatusFromSqlite(rc, Phase::kAccess);
  if (f.cachedCount >= 0 && f.cachedCountVersion == version &&
      f.cachedCountGeneration == st.writeGeneration) {
    count = f.cachedCount;
    return kStatusSuccess;
  }
  rc = sqlite3_step(f.count);
  const int64_t n = rc == SQLITE_ROW ? sqlite3_column_int64(f.count, 0) : 0;
  sqlite3_reset(f.count);
  if (rc != SQLITE_ROW) return StatusFromSqlite(rc, Phase::kAccess);
  f.cachedCount = n;
  f.cachedCountVersion = version;
  f.cachedCountGeneration = st.writeGeneration;
  count = n;
  return kStatusSuccess;
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
  sqlite3_stmt* s = f.insert;
  sqlite3_bind_blob(s, 1, data, f.spec.recordLength, SQLITE_STATIC);
  for (size_t k = 0; k < f.keys.size(); ++k) {
    sqlite3_bind_blob(s, static_cast<int>(k + 2), f.images[k].data(),
                      static_cast<int>(f.images[k].size()), SQLITE_STATIC);
  }
  int rc = sqlite3_step(s);
  sqlite3_reset(s);
  sqlite3_clear_bindings(s);
  if (rc != SQLITE_DONE) return StatusFromSqlite(rc, Phase::kAccess);
  ++State().writeGeneration;
  ForgetReadAhead(f);
  f.wroteLast = true;
  f.currentPos = sqlite3_last_insert_rowid(f.db);
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
  sqlite3_bind_int64(f.dataAt, 1, f.currentPos);
  int rc = sqlite3_step(f.dataAt);
  std::string old;
  if (rc == SQLITE_ROW) {
    if (sqlite3_column_type(f.dataAt, 0) == SQLITE_BLOB &&
        sqlite3_column_bytes(f.dataAt, 0) == f.spec.recordLength) {
      old.assign(static_cast<const char*>(sqlite3_column_blob(f.dataAt, 0)), f.spec.recordLength);
    } else {
      status = kStatusIoError;
    }
  } else {
    status = rc == SQLITE_DONE ? kStatusInvalidPositioning : StatusFromSqlite(rc, Phase::kAccess);
  }
  sqlite3_reset(f.dataAt);
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
  sqlite3_stmt* s = f.update;
  sqlite3_bind_blob(s, 1, data, f.spec.recordLength, SQLITE_STATIC);
  for (size_t k = 0; k < f.keys.size(); ++k) {
    sqlite3_bind_blob(s, static_cast<int>(k + 2), f.images[k].data(),
                      static_cast<int>(f.images[k].size()), SQLITE_STATIC);
  }
  sqlite3_bind_int64(s, static_cast<int>(f.keys.size() + 2), f.currentPos);
  rc = sqlite3_step(s);
  sqlite3_reset(s);
  sqlite3_clear_bindings(s);
  if (rc != SQLITE_DONE) return StatusFromSqlite(rc, Phase::kAccess);
  if (sqlite3_changes(f.db) == 0) return kStatusInvalidPositioning;
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
  sqlite3_bind_int64(f.erase, 1, f.currentPos);
  int rc = sqlite3_step(f.erase);
  sqlite3_reset(f.erase);
  if (rc != SQLITE_DONE) return StatusFromSqlite(rc, Phase::kAccess);
  if (sqlite3_changes(f.db) == 0) return kStatusInvalidPositioning;
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
  CloseFile(f);
  st.files[index].reset();
  std::memset(block, 0, kPositionBlockSize);
  return kStatusSuccess;
}

int16_t Reset() {
  ManagerState& st = State();
  if (st.transactionActive) FinishTransactions(false);
  for (auto& f : st.files) {
    if (f) CloseFile(*f);
  }
  st.files.clear();
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
    if (f) sqlite3_busy_timeout(f->db, State().busyTimeout);
  }
}

void SetRecordManagerReadAheadAge(int milliseconds) {
  State().readAheadAge = milliseconds < 0 ? 0 : milliseconds;
}

}  // namespace platform
