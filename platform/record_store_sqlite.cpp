// The SQLite engine of the record manager: each record file is one SQLite database
// (the file keeps its own name, usually name.dat) holding
//   meta          record length, page size, file flags, alternate collating sequence
//   key_segments  the key segments as given at Create (decoded, and the raw 16 bytes)
//   records       pos INTEGER PRIMARY KEY, data and one key-image column k0, k1, ...
//                 per key, each with an index.
// The databases run in WAL mode, so a reader goes on while another program writes; a
// database another program holds locked gives 85 (open) or 84 (any other operation)
// after a bounded wait.

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/path.h"
#include "platform/record_status.h"
#include "platform/record_store.h"

namespace platform {
namespace {

constexpr int kSchemaFormat = 1;
constexpr int kMaxBlobBytes = 1 << 16;

uint32_t GetBig32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

void Finalize(sqlite3_stmt*& s) {
  if (s != nullptr) sqlite3_finalize(s);
  s = nullptr;
}

int Prepare(sqlite3* db, const std::string& sql, sqlite3_stmt** stmt) {
  return sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, stmt, nullptr);
}

int16_t StatusFromSqlite(int rc, Phase phase);

// Cached statements of one key, prepared at open; in the order of RowQuery.
using KeyStatements = std::array<sqlite3_stmt*, kRowQueryCount>;
constexpr size_t Slot(RowQuery query) {
  return static_cast<size_t>(query);
}

class SqliteFile final : public RecordStore {
 public:
  ~SqliteFile() override;
  int16_t Query(int key, RowQuery query, const std::string& image, int64_t pos, size_t want,
                std::vector<StoredRow>& rows, size_t& n) override;
  int16_t Insert(const uint8_t* record, const std::vector<std::string>& images,
                 int64_t& pos) override;
  int16_t ReadData(int64_t pos, std::string& data, bool& found) override;
  int16_t Update(int64_t pos, const uint8_t* record, const std::vector<std::string>& images,
                 bool& changed) override;
  int16_t Delete(int64_t pos, bool& changed) override;
  int16_t Count(uint64_t writeGeneration, int64_t& count) override;
  int16_t JoinTransaction() override;
  int16_t FinishTransaction(bool commit) override;
  void SetBusyTimeout(int milliseconds) override { sqlite3_busy_timeout(db, milliseconds); }
  bool Holds(const std::string& engineName) const override;

  sqlite3* db = nullptr;
  std::string path;
  bool readOnly = false;
  FileSpec spec;
  std::vector<KeyStatements> keyStatements;
  sqlite3_stmt* insert = nullptr;
  sqlite3_stmt* update = nullptr;
  sqlite3_stmt* erase = nullptr;
  sqlite3_stmt* dataAt = nullptr;
  sqlite3_stmt* count = nullptr;
  sqlite3_stmt* dataVersion = nullptr;

  int64_t cachedCount = -1;
  int64_t cachedCountVersion = 0;
  uint64_t cachedCountGeneration = 0;

 private:
  int16_t ReadRow(sqlite3_stmt* s, size_t imageLength, StoredRow& row) const;
  void BindImages(sqlite3_stmt* s, const uint8_t* record, const std::vector<std::string>& images);
};

SqliteFile::~SqliteFile() {
  for (auto& perKey : keyStatements) {
    for (sqlite3_stmt*& s : perKey) Finalize(s);
  }
  Finalize(insert);
  Finalize(update);
  Finalize(erase);
  Finalize(dataAt);
  Finalize(count);
  Finalize(dataVersion);
  if (db != nullptr) sqlite3_close_v2(db);
  db = nullptr;
}

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

int16_t LoadSchema(SqliteFile& f) {
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

  // key_segments: the raw descriptions, in key and segment order.
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

  return kStatusSuccess;
}

int16_t PrepareStatements(SqliteFile& f) {
  const size_t keyCount = f.spec.keys.size();
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
    items.push_back(
        {&st[Slot(RowQuery::kEqual)], select + "WHERE " + c + " = ?1" + up + " LIMIT ?2"});
    items.push_back(
        {&st[Slot(RowQuery::kGreater)], select + "WHERE " + c + " > ?1" + up + " LIMIT ?2"});
    items.push_back({&st[Slot(RowQuery::kGreaterOrEqual)],
                     select + "WHERE " + c + " >= ?1" + up + " LIMIT ?2"});
    items.push_back(
        {&st[Slot(RowQuery::kLess)], select + "WHERE " + c + " < ?1" + down + " LIMIT ?2"});
    items.push_back(
        {&st[Slot(RowQuery::kLessOrEqual)], select + "WHERE " + c + " <= ?1" + down + " LIMIT ?2"});
    items.push_back({&st[Slot(RowQuery::kFirst)], select + up + " LIMIT ?1"});
    items.push_back({&st[Slot(RowQuery::kLast)], select + down + " LIMIT ?1"});
    items.push_back({&st[Slot(RowQuery::kNext)],
                     select + "WHERE (" + c + ", pos) > (?1, ?2)" + up + " LIMIT ?3"});
    items.push_back({&st[Slot(RowQuery::kPrevious)],
                     select + "WHERE (" + c + ", pos) < (?1, ?2)" + down + " LIMIT ?3"});
    items.push_back({&st[Slot(RowQuery::kAt)], select + "WHERE pos = ?1"});
  }
  for (Item& item : items) {
    int rc = Prepare(f.db, item.sql, item.stmt);
    if (rc != SQLITE_OK) return StatusFromSqlite(rc, Phase::kOpen);
  }
  return kStatusSuccess;
}

int16_t CheckPositions(SqliteFile& f) {
  sqlite3_stmt* s = nullptr;
  int rc = Prepare(f.db, "SELECT min(pos), max(pos) FROM records", &s);
  if (rc != SQLITE_OK) return StatusFromSqlite(rc, Phase::kOpen);
  int16_t status = kStatusSuccess;
  rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) {
    if (sqlite3_column_type(s, 0) != SQLITE_NULL &&
        (sqlite3_column_int64(s, 0) < 1 || sqlite3_column_int64(s, 1) > kMaxRecordPosition)) {
      status = kStatusNotARecordFile;
    }
  } else {
    status = StatusFromSqlite(rc, Phase::kOpen);
  }
  sqlite3_finalize(s);
  return status;
}

int16_t ConfigureConnection(sqlite3* db, int busyTimeout) {
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, busyTimeout);
  sqlite3_limit(db, SQLITE_LIMIT_LENGTH, kMaxBlobBytes);
  sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
  return kStatusSuccess;
}

int16_t EnsureWal(SqliteFile& f) {
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

}  // namespace

int16_t OpenSqliteStore(const std::string& name, bool readOnly, int busyTimeout,
                        std::unique_ptr<RecordStore>& store, FileSpec& spec) {
  const std::string path = ResolvePath(name);
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    return (errno == EACCES) ? kStatusAccessDenied : kStatusFileNotFound;
  }
  if (!S_ISREG(info.st_mode)) return kStatusInvalidFileName;
  if (::access(path.c_str(), readOnly ? R_OK : (R_OK | W_OK)) != 0) return kStatusAccessDenied;
  if (info.st_size == 0) return kStatusNotARecordFile;
  if (LooksCutShort(path, info.st_size)) return kStatusIoError;

  auto f = std::make_unique<SqliteFile>();
  f->path = path;
  f->readOnly = readOnly;
  const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) |
                    SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE;
  int rc = sqlite3_open_v2(path.c_str(), &f->db, flags, nullptr);
  int16_t status = rc == SQLITE_OK ? ConfigureConnection(f->db, busyTimeout)
                                   : StatusFromSqlite(rc, Phase::kOpen);
  if (status == kStatusSuccess) status = LoadSchema(*f);
  if (status == kStatusSuccess) status = EnsureWal(*f);
  if (status == kStatusSuccess) status = PrepareStatements(*f);
  if (status == kStatusSuccess) status = CheckPositions(*f);
  if (status != kStatusSuccess) return status;  // the destructor closes the database
  spec = f->spec;
  store = std::move(f);
  return kStatusSuccess;
}

namespace {

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

}  // namespace

int16_t CreateSqliteStore(const std::string& name, const FileSpec& spec, bool replace,
                          const IsOpenHere& isOpen) {
  int16_t status = kStatusSuccess;
  const std::string path = ResolvePath(name);
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0) {
    if (!replace) return kStatusFileExists;
    if (isOpen(path)) return kStatusFileLocked;
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
// Reading and writing rows

namespace {

size_t KeyLength(const FileSpec& spec, int key) {
  return spec.keys[static_cast<size_t>(key)].Length();
}

}  // namespace

// Copies the row a select is on (pos, data, image) after checking it has the shape
// this file's records have.
int16_t SqliteFile::ReadRow(sqlite3_stmt* s, size_t imageLength, StoredRow& row) const {
  if (sqlite3_column_type(s, 0) != SQLITE_INTEGER || sqlite3_column_type(s, 1) != SQLITE_BLOB ||
      sqlite3_column_type(s, 2) != SQLITE_BLOB) {
    return kStatusIoError;
  }
  const int64_t pos = sqlite3_column_int64(s, 0);
  const void* data = sqlite3_column_blob(s, 1);
  const int dataBytes = sqlite3_column_bytes(s, 1);
  const void* image = sqlite3_column_blob(s, 2);
  const int imageBytes = sqlite3_column_bytes(s, 2);
  if (pos < 1 || pos > kMaxRecordPosition || data == nullptr || image == nullptr ||
      dataBytes != spec.recordLength || static_cast<size_t>(imageBytes) != imageLength) {
    return kStatusIoError;
  }
  row.pos = pos;
  row.data.assign(static_cast<const char*>(data), static_cast<size_t>(dataBytes));
  row.image.assign(static_cast<const char*>(image), static_cast<size_t>(imageBytes));
  return kStatusSuccess;
}

int16_t SqliteFile::Query(int key, RowQuery query, const std::string& image, int64_t pos,
                          size_t want, std::vector<StoredRow>& rows, size_t& n) {
  sqlite3_stmt* s = keyStatements[static_cast<size_t>(key)][Slot(query)];
  switch (query) {
    case RowQuery::kFirst:
    case RowQuery::kLast:
      sqlite3_bind_int64(s, 1, static_cast<int64_t>(want));
      break;
    case RowQuery::kNext:
    case RowQuery::kPrevious:
      sqlite3_bind_blob(s, 1, image.data(), static_cast<int>(image.size()), SQLITE_STATIC);
      sqlite3_bind_int64(s, 2, pos);
      sqlite3_bind_int64(s, 3, static_cast<int64_t>(want));
      break;
    case RowQuery::kAt:
      sqlite3_bind_int64(s, 1, pos);
      break;
    default:
      sqlite3_bind_blob(s, 1, image.data(), static_cast<int>(image.size()), SQLITE_STATIC);
      sqlite3_bind_int64(s, 2, static_cast<int64_t>(want));
      break;
  }
  if (rows.size() < want) rows.resize(want);
  n = 0;
  const size_t imageLength = KeyLength(spec, key);
  int16_t status = kStatusSuccess;
  int rc = SQLITE_DONE;
  while (n < want && (rc = sqlite3_step(s)) == SQLITE_ROW) {
    status = ReadRow(s, imageLength, rows[n]);
    if (status != kStatusSuccess) break;
    ++n;
  }
  if (status == kStatusSuccess && n < want && rc != SQLITE_DONE) {
    status = StatusFromSqlite(rc, Phase::kAccess);
  }
  sqlite3_reset(s);
  if (n > 0) return kStatusSuccess;
  return status;
}

void SqliteFile::BindImages(sqlite3_stmt* s, const uint8_t* record,
                            const std::vector<std::string>& images) {
  sqlite3_bind_blob(s, 1, record, spec.recordLength, SQLITE_STATIC);
  for (size_t k = 0; k < spec.keys.size(); ++k) {
    sqlite3_bind_blob(s, static_cast<int>(k + 2), images[k].data(),
                      static_cast<int>(images[k].size()), SQLITE_STATIC);
  }
}

int16_t SqliteFile::Insert(const uint8_t* record, const std::vector<std::string>& images,
                           int64_t& pos) {
  sqlite3_stmt* s = insert;
  BindImages(s, record, images);
  int rc = sqlite3_step(s);
  sqlite3_reset(s);
  sqlite3_clear_bindings(s);
  if (rc != SQLITE_DONE) return StatusFromSqlite(rc, Phase::kAccess);
  pos = sqlite3_last_insert_rowid(db);
  return kStatusSuccess;
}

int16_t SqliteFile::ReadData(int64_t pos, std::string& data, bool& found) {
  found = false;
  int16_t status = kStatusSuccess;
  sqlite3_bind_int64(dataAt, 1, pos);
  int rc = sqlite3_step(dataAt);
  if (rc == SQLITE_ROW) {
    if (sqlite3_column_type(dataAt, 0) == SQLITE_BLOB &&
        sqlite3_column_bytes(dataAt, 0) == spec.recordLength) {
      data.assign(static_cast<const char*>(sqlite3_column_blob(dataAt, 0)), spec.recordLength);
      found = true;
    } else {
      status = kStatusIoError;
    }
  } else if (rc != SQLITE_DONE) {
    status = StatusFromSqlite(rc, Phase::kAccess);
  }
  sqlite3_reset(dataAt);
  return status;
}

int16_t SqliteFile::Update(int64_t pos, const uint8_t* record,
                           const std::vector<std::string>& images, bool& changed) {
  sqlite3_stmt* s = update;
  BindImages(s, record, images);
  sqlite3_bind_int64(s, static_cast<int>(spec.keys.size() + 2), pos);
  int rc = sqlite3_step(s);
  sqlite3_reset(s);
  sqlite3_clear_bindings(s);
  if (rc != SQLITE_DONE) return StatusFromSqlite(rc, Phase::kAccess);
  changed = sqlite3_changes(db) != 0;
  return kStatusSuccess;
}

int16_t SqliteFile::Delete(int64_t pos, bool& changed) {
  sqlite3_bind_int64(erase, 1, pos);
  int rc = sqlite3_step(erase);
  sqlite3_reset(erase);
  if (rc != SQLITE_DONE) return StatusFromSqlite(rc, Phase::kAccess);
  changed = sqlite3_changes(db) != 0;
  return kStatusSuccess;
}

int16_t SqliteFile::Count(uint64_t writeGeneration, int64_t& n) {
  int rc = sqlite3_step(dataVersion);
  const int64_t version = rc == SQLITE_ROW ? sqlite3_column_int64(dataVersion, 0) : -1;
  sqlite3_reset(dataVersion);
  if (rc != SQLITE_ROW) return StatusFromSqlite(rc, Phase::kAccess);
  if (cachedCount >= 0 && cachedCountVersion == version &&
      cachedCountGeneration == writeGeneration) {
    n = cachedCount;
    return kStatusSuccess;
  }
  rc = sqlite3_step(count);
  const int64_t counted = rc == SQLITE_ROW ? sqlite3_column_int64(count, 0) : 0;
  sqlite3_reset(count);
  if (rc != SQLITE_ROW) return StatusFromSqlite(rc, Phase::kAccess);
  cachedCount = counted;
  cachedCountVersion = version;
  cachedCountGeneration = writeGeneration;
  n = counted;
  return kStatusSuccess;
}

int16_t SqliteFile::JoinTransaction() {
  int rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  return rc == SQLITE_OK ? kStatusSuccess : StatusFromSqlite(rc, Phase::kAccess);
}

int16_t SqliteFile::FinishTransaction(bool commit) {
  int16_t status = kStatusSuccess;
  int rc = sqlite3_exec(db, commit ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    status = StatusFromSqlite(rc, Phase::kAccess);
    if (sqlite3_get_autocommit(db) == 0) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  cachedCount = -1;
  return status;
}

bool SqliteFile::Holds(const std::string& engineName) const {
  struct stat target {};
  struct stat own {};
  return ::stat(engineName.c_str(), &target) == 0 && ::stat(path.c_str(), &own) == 0 &&
         own.st_dev == target.st_dev && own.st_ino == target.st_ino;
}

}  // namespace platform
