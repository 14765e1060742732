// The PostgreSQL engine of the record manager: each record file is one schema of the
// database ZURDB names, holding
//   meta          format, recordlength, pagesize, fileflags, keycount, alternate
//                 (bytea or NULL) and name (the file's key, see RecordFileKey)
//   key_segments  keynumber, segmentnumber, position, length, flags, spec (16 bytes)
//   records       pos bigint PRIMARY KEY (1 .. 2^31-1), data bytea (exactly the
//                 record length), k0, k1, ... bytea: one key image per key.
// A unique key has a UNIQUE index on its image; a key with duplicates an index on
// (image, pos). bytea compares as plain bytes, as SQLite's blobs do, so both engines
// give the same order.
//
// One connection per process and connection string, shared by the files open on it.
// Every statement is bounded: lock_timeout (the busy timeout) for data another
// session holds locked, statement_timeout for everything else, connect_timeout and
// TCP timeouts for a server that does not answer. Results come back in binary and
// are checked against the file's shape before anything is handed on.

#include <libpq-fe.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/path.h"
#include "platform/record_status.h"
#include "platform/record_store.h"

namespace platform {
namespace {

constexpr int kSchemaFormat = 1;
constexpr Oid kByteaOid = 17;
constexpr Oid kInt8Oid = 20;
constexpr Oid kInt4Oid = 23;
constexpr Oid kTextOid = 25;
// A statement that runs this long was held up by something other than a row lock.
constexpr int kStatementTimeout = 60000;
// An insert that lost its position to another session's insert tries again.
constexpr int kInsertTries = 64;
constexpr size_t kMaxMetaName = 4096;

// ---------------------------------------------------------------------------------
// Results and statuses

struct ResultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

bool Succeeded(const PGresult* r) {
  const ExecStatusType t = r == nullptr ? PGRES_FATAL_ERROR : PQresultStatus(r);
  return t == PGRES_COMMAND_OK || t == PGRES_TUPLES_OK;
}

// The one place where PostgreSQL's errors become record-manager statuses.
int16_t StatusFromPostgres(const PGresult* r, Phase phase) {
  if (Succeeded(r)) return kStatusSuccess;
  const char* state = r != nullptr ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
  const std::string code = state != nullptr ? state : "";
  const bool creating = phase == Phase::kCreate;
  if (code.empty() || code.rfind("08", 0) == 0 || code == "57P01" || code == "57P02" ||
      code == "57P03") {
    // No answer, a broken connection, or a server shutting down.
    return kStatusManagerInactive;
  }
  if (code == "23505") return creating ? kStatusFileExists : kStatusDuplicateKey;
  if (code == "42P06" || code == "42P07") return creating ? kStatusFileExists : kStatusIoError;
  if (code == "23514") return creating ? kStatusCreateIoError : kStatusDiskFull;
  if (code == "55P03" || code == "40P01" || code == "40001" || code == "57014") {
    return phase == Phase::kAccess ? kStatusRecordLocked : kStatusFileLocked;
  }
  if (code == "42501") return kStatusAccessDenied;
  if (code.rfind("53", 0) == 0) return creating ? kStatusCreateIoError : kStatusDiskFull;
  if (code.rfind("42", 0) == 0) {
    // Our own statements fail only on tables laid out otherwise.
    return creating ? kStatusCreateIoError : kStatusNotARecordFile;
  }
  return creating ? kStatusCreateIoError : kStatusIoError;
}

void IgnoreNotice(void*, const char*) {}

uint64_t GetBig64(const char* p) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = (v << 8) | static_cast<uint8_t>(p[i]);
  return v;
}
void PutBig64(char* p, uint64_t v) {
  for (int i = 7; i >= 0; --i) {
    p[i] = static_cast<char>(v & 0xFF);
    v >>= 8;
  }
}
uint32_t GetBig32(const char* p) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = (v << 8) | static_cast<uint8_t>(p[i]);
  return v;
}

// An int8 (binary) of a result, or false when the column is not one.
bool Int64At(const PGresult* r, int row, int col, int64_t& v) {
  if (PQgetisnull(r, row, col) || PQftype(r, col) != kInt8Oid || PQgetlength(r, row, col) != 8) {
    return false;
  }
  v = static_cast<int64_t>(GetBig64(PQgetvalue(r, row, col)));
  return true;
}
bool Int32At(const PGresult* r, int row, int col, int64_t& v) {
  if (PQgetisnull(r, row, col) || PQftype(r, col) != kInt4Oid || PQgetlength(r, row, col) != 4) {
    return false;
  }
  v = static_cast<int32_t>(GetBig32(PQgetvalue(r, row, col)));
  return true;
}
bool BytesAt(const PGresult* r, int row, int col, std::string& v) {
  const Oid type = PQftype(r, col);
  if (PQgetisnull(r, row, col) || (type != kByteaOid && type != kTextOid)) return false;
  v.assign(PQgetvalue(r, row, col), static_cast<size_t>(PQgetlength(r, row, col)));
  return true;
}

// ---------------------------------------------------------------------------------
// Connections

struct Connection {
  std::string conninfo;
  PGconn* conn = nullptr;
  int users = 0;           // open files on it
  uint64_t epoch = 1;      // changes when it was made anew: prepared statements are gone
  int lockTimeout = 2000;  // wanted
  int appliedLockTimeout = -1;
  bool inTransaction = false;
  // A statement failed inside the transaction, which was undone then: what later
  // writes and End Transaction report.
  int16_t failedStatus = kStatusSuccess;
  uint64_t nextFileId = 1;
  uint64_t transactionSerial = 0;  // counts the transactions begun (19)
};

struct PostgresState {
  std::vector<std::unique_ptr<Connection>> connections;
  std::string lastError;
};

// Never destroyed: files still open when the process ends are destroyed with the
// record manager's own state, which may come after this one's; they must still find
// their connection.
PostgresState& PgState() {
  static PostgresState* const state = new PostgresState;
  return *state;
}

PGconn* Connect(const std::string& conninfo) {
  // Ours first, so that the connection string may override them.
  const char* keys[] = {"connect_timeout",     "keepalives",       "keepalives_idle",
                        "keepalives_interval", "keepalives_count", "tcp_user_timeout",
                        "application_name",    "dbname",           nullptr};
  const char* values[] = {"10", "1", "30", "10", "3", "60000", "zur", conninfo.c_str(), nullptr};
  PGconn* conn = PQconnectdbParams(keys, values, 1);
  if (conn != nullptr && PQstatus(conn) == CONNECTION_OK) {
    PQsetNoticeProcessor(conn, IgnoreNotice, nullptr);
    const std::string setup = "SET statement_timeout = " + std::to_string(kStatementTimeout) +
                              "; SET client_min_messages = warning; SET bytea_output = 'hex'";
    Result r(PQexec(conn, setup.c_str()));
    if (Succeeded(r.get())) return conn;
  }
  const char* message = conn != nullptr ? PQerrorMessage(conn) : "out of memory";
  std::string text = message != nullptr ? message : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  PgState().lastError = text;
  PQfinish(conn);
  return nullptr;
}

// The connection for the string, made when there is none yet (20 when it cannot be).
int16_t AcquireConnection(const std::string& conninfo, Connection*& out) {
  for (auto& c : PgState().connections) {
    if (c->conninfo == conninfo) {
      out = c.get();
      return kStatusSuccess;
    }
  }
  PGconn* conn = Connect(conninfo);
  if (conn == nullptr) return kStatusManagerInactive;
  auto c = std::make_unique<Connection>();
  c->conninfo = conninfo;
  c->conn = conn;
  out = c.get();
  PgState().connections.push_back(std::move(c));
  return kStatusSuccess;
}

void UndoTransaction(Connection& c, int16_t status) {
  if (!c.inTransaction) return;
  Result r(PQexec(c.conn, "ROLLBACK"));
  c.inTransaction = false;
  c.failedStatus = status;
}

// Makes the connection ready for a statement: made anew when it broke (outside a
// transaction; inside one the transaction is lost), the busy timeout applied.
int16_t Ready(Connection& c) {
  if (PQstatus(c.conn) != CONNECTION_OK) {
    if (c.inTransaction) {
      c.inTransaction = false;
      c.failedStatus = kStatusManagerInactive;
    }
    PGconn* fresh = Connect(c.conninfo);
    if (fresh == nullptr) return kStatusManagerInactive;
    PQfinish(c.conn);
    c.conn = fresh;
    ++c.epoch;
    c.appliedLockTimeout = -1;
  }
  if (c.appliedLockTimeout != c.lockTimeout) {
    // 0 would mean no limit at all; the shortest wait is 1 ms.
    const int ms = c.lockTimeout < 1 ? 1 : c.lockTimeout;
    Result r(PQexec(c.conn, ("SET lock_timeout = " + std::to_string(ms)).c_str()));
    if (!Succeeded(r.get())) {
      const int16_t status = StatusFromPostgres(r.get(), Phase::kAccess);
      UndoTransaction(c, status);
      return status;
    }
    c.appliedLockTimeout = c.lockTimeout;
  }
  return kStatusSuccess;
}

// Runs a statement without parameters; its failure undoes an open transaction.
int16_t Run(Connection& c, const std::string& sql, Phase phase) {
  int16_t status = Ready(c);
  if (status != kStatusSuccess) return status;
  Result r(PQexec(c.conn, sql.c_str()));
  status = StatusFromPostgres(r.get(), phase);
  if (status != kStatusSuccess) UndoTransaction(c, status);
  return status;
}

// Parameters of one statement, all binary.
struct Params {
  std::vector<const char*> values;
  std::vector<int> lengths;
  std::vector<int> formats;
  std::deque<std::string> owned;  // stays where it is while more are added

  void Bytes(const char* p, size_t n) {
    values.push_back(n == 0 ? "" : p);
    lengths.push_back(static_cast<int>(n));
    formats.push_back(1);
  }
  void Bytes(const std::string& s) { Bytes(s.data(), s.size()); }
  void Int64(int64_t v) {
    std::string b(8, '\0');
    PutBig64(b.data(), static_cast<uint64_t>(v));
    owned.push_back(std::move(b));
    const std::string& kept = owned.back();
    values.push_back(kept.data());
    lengths.push_back(8);
    formats.push_back(1);
  }
};

// Runs a statement with parameters (text given as text, the rest binary), binary
// results; its failure undoes an open transaction.
int16_t RunParams(Connection& c, const std::string& sql, const std::vector<Oid>& types,
                  const Params& p, Phase phase, Result& out) {
  int16_t status = Ready(c);
  if (status != kStatusSuccess) return status;
  out.reset(PQexecParams(c.conn, sql.c_str(), static_cast<int>(p.values.size()), types.data(),
                         p.values.data(), p.lengths.data(), p.formats.data(), 1));
  status = StatusFromPostgres(out.get(), phase);
  if (status != kStatusSuccess) UndoTransaction(c, status);
  return status;
}

std::string KeyColumn(size_t k) {
  return "k" + std::to_string(k);
}

bool IsUnique(const KeySpec& k) {
  return (k.segments.front().flags & kKeyDuplicates) == 0;
}

// ---------------------------------------------------------------------------------
// The file

enum Statement {
  kStInsert = kRowQueryCount * 64,  // after the per-key queries
  kStConflict,
  kStUpdate,
  kStExists,
  kStDelete,
  kStData,
  kStCount,
  kStInsertAt,
};

class PostgresFile final : public RecordStore {
 public:
  ~PostgresFile() override;
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
  void SetBusyTimeout(int milliseconds) override { connection->lockTimeout = milliseconds; }
  bool Holds(const std::string& engineName) const override { return engineName == identity; }

  Connection* connection = nullptr;
  std::string identity;  // connection string, newline, file key
  std::string schema;    // quoted for statements
  FileSpec spec;
  uint64_t id = 0;
  bool joined = false;
  // In a transaction this file's table is locked against other writers (as an SQLite
  // file is by its transaction), so the highest position is known from this
  // process's own writes: inserts take the next one without asking the server. Rows
  // a transaction deleted stay in the indexes until it ends, and asking for the
  // highest position among the live ones would walk past all of them at every
  // insert (an import that empties a file first). -1: not known.
  uint64_t lockedTransaction = 0;  // the transaction holding the lock (0: none)
  int64_t knownMax = -1;

 private:
  std::string Sql(int statement) const;
  std::vector<Oid> Types(int statement) const;
  int16_t Exec(int statement, const Params& p, Result& out);
  int16_t WriteAllowed() const;
  void RecordParams(const uint8_t* record, const std::vector<std::string>& images, Params& p) const;
  bool Locked() const {
    return joined && connection->inTransaction &&
           lockedTransaction == connection->transactionSerial;
  }

  std::vector<int> prepared;  // statements prepared on the connection
  uint64_t preparedEpoch = 0;
};

PostgresFile::~PostgresFile() {
  if (connection == nullptr) return;
  if (!prepared.empty() && preparedEpoch == connection->epoch &&
      PQstatus(connection->conn) == CONNECTION_OK) {
    std::string sql;
    for (int s : prepared) {
      sql += "DEALLOCATE zr" + std::to_string(id) + "_" + std::to_string(s) + ";";
    }
    // Outside a transaction only: inside one a failure would undo it.
    if (!connection->inTransaction) Result r(PQexec(connection->conn, sql.c_str()));
  }
  --connection->users;
}

std::string PostgresFile::Sql(int statement) const {
  const std::string records = schema + ".records";
  const size_t keyCount = spec.keys.size();
  if (statement < kStInsert) {
    const size_t k = static_cast<size_t>(statement / kRowQueryCount);
    const auto query = static_cast<RowQuery>(statement % kRowQueryCount);
    const std::string c = KeyColumn(k);
    const std::string select = "SELECT pos, data, " + c + " FROM " + records + " ";
    const std::string up = " ORDER BY " + c + ", pos";
    const std::string down = " ORDER BY " + c + " DESC, pos DESC";
    switch (query) {
      case RowQuery::kEqual:
        return select + "WHERE " + c + " = $1" + up + " LIMIT $2";
      case RowQuery::kGreater:
        return select + "WHERE " + c + " > $1" + up + " LIMIT $2";
      case RowQuery::kGreaterOrEqual:
        return select + "WHERE " + c + " >= $1" + up + " LIMIT $2";
      case RowQuery::kLess:
        return select + "WHERE " + c + " < $1" + down + " LIMIT $2";
      case RowQuery::kLessOrEqual:
        return select + "WHERE " + c + " <= $1" + down + " LIMIT $2";
      case RowQuery::kFirst:
        return select + up + " LIMIT $1";
      case RowQuery::kLast:
        return select + down + " LIMIT $1";
      case RowQuery::kNext:
        return select + "WHERE (" + c + ", pos) > ($1, $2)" + up + " LIMIT $3";
      case RowQuery::kPrevious:
        return select + "WHERE (" + c + ", pos) < ($1, $2)" + down + " LIMIT $3";
      case RowQuery::kAt:
        return select + "WHERE pos = $1";
    }
  }
  std::string columns, values, sets, unique;
  for (size_t k = 0; k < keyCount; ++k) {
    const std::string c = KeyColumn(k);
    const std::string param = "$" + std::to_string(k + 2);
    columns += ", " + c;
    values += ", " + param;
    sets += ", " + c + " = " + param;
    if (IsUnique(spec.keys[k]))
      unique += std::string(unique.empty() ? "" : " OR ") + "o." + c + " = " + param;
  }
  const std::string posParam = "$" + std::to_string(keyCount + 2);
  switch (statement) {
    case kStInsert:
      // The new record takes a position above every record there is. Should another
      // session take that position first, nothing is stored and the insert is tried
      // again; a unique key already held stores nothing either (see kStConflict).
      return "INSERT INTO " + records + " (pos, data" + columns +
             ") SELECT coalesce(max(pos), 0) + 1, $1" + values + " FROM " + records +
             " ON CONFLICT DO NOTHING RETURNING pos";
    case kStInsertAt:
      // The same at a position given (the table locked in a transaction).
      return "INSERT INTO " + records + " (pos, data" + columns + ") VALUES (" + posParam + ", $1" +
             values + ") ON CONFLICT DO NOTHING RETURNING pos";
    case kStConflict:
      return "SELECT 1 FROM " + records + " o WHERE " + (unique.empty() ? "false" : unique) +
             " LIMIT 1";
    case kStUpdate:
      return "UPDATE " + records + " SET data = $1" + sets + " WHERE pos = " + posParam +
             (unique.empty() ? std::string()
                             : " AND NOT EXISTS (SELECT 1 FROM " + records + " o WHERE o.pos <> " +
                                   posParam + " AND (" + unique + "))") +
             " RETURNING pos";
    case kStExists:
      return "SELECT 1 FROM " + records + " WHERE pos = $1";
    case kStDelete:
      return "DELETE FROM " + records + " WHERE pos = $1";
    case kStData:
      return "SELECT data FROM " + records + " WHERE pos = $1";
    default:
      return "SELECT count(*) FROM " + records;
  }
}

std::vector<Oid> PostgresFile::Types(int statement) const {
  if (statement < kStInsert) {
    switch (static_cast<RowQuery>(statement % kRowQueryCount)) {
      case RowQuery::kFirst:
      case RowQuery::kLast:
      case RowQuery::kAt:
        return {kInt8Oid};
      case RowQuery::kNext:
      case RowQuery::kPrevious:
        return {kByteaOid, kInt8Oid, kInt8Oid};
      default:
        return {kByteaOid, kInt8Oid};
    }
  }
  std::vector<Oid> types;
  switch (statement) {
    case kStInsert:
    case kStConflict:
    case kStUpdate:
    case kStInsertAt:
      types.assign(spec.keys.size() + 1, kByteaOid);
      if (statement == kStUpdate || statement == kStInsertAt) types.push_back(kInt8Oid);
      return types;
    case kStCount:
      return {};
    default:
      return {kInt8Oid};
  }
}

// Runs one of the file's statements, prepared on first use.
int16_t PostgresFile::Exec(int statement, const Params& p, Result& out) {
  Connection& c = *connection;
  int16_t status = Ready(c);
  if (status != kStatusSuccess) return status;
  if (preparedEpoch != c.epoch) {
    prepared.clear();
    preparedEpoch = c.epoch;
  }
  const std::string name = "zr" + std::to_string(id) + "_" + std::to_string(statement);
  if (std::find(prepared.begin(), prepared.end(), statement) == prepared.end()) {
    const std::vector<Oid> types = Types(statement);
    Result r(PQprepare(c.conn, name.c_str(), Sql(statement).c_str(), static_cast<int>(types.size()),
                       types.data()));
    status = StatusFromPostgres(r.get(), Phase::kAccess);
    if (status != kStatusSuccess) {
      UndoTransaction(c, status);
      return status;
    }
    prepared.push_back(statement);
  }
  out.reset(PQexecPrepared(c.conn, name.c_str(), static_cast<int>(p.values.size()), p.values.data(),
                           p.lengths.data(), p.formats.data(), 1));
  status = StatusFromPostgres(out.get(), Phase::kAccess);
  if (status != kStatusSuccess) UndoTransaction(c, status);
  return status;
}

int16_t PostgresFile::WriteAllowed() const {
  if (joined && connection->failedStatus != kStatusSuccess) return connection->failedStatus;
  return kStatusSuccess;
}

int16_t PostgresFile::Query(int key, RowQuery query, const std::string& image, int64_t pos,
                            size_t want, std::vector<StoredRow>& rows, size_t& n) {
  n = 0;
  Params p;
  switch (query) {
    case RowQuery::kFirst:
    case RowQuery::kLast:
      p.Int64(static_cast<int64_t>(want));
      break;
    case RowQuery::kNext:
    case RowQuery::kPrevious:
      p.Bytes(image);
      p.Int64(pos);
      p.Int64(static_cast<int64_t>(want));
      break;
    case RowQuery::kAt:
      p.Int64(pos);
      break;
    default:
      p.Bytes(image);
      p.Int64(static_cast<int64_t>(want));
      break;
  }
  Result r;
  int16_t status = Exec(key * kRowQueryCount + static_cast<int>(query), p, r);
  if (status != kStatusSuccess) return status;
  if (PQnfields(r.get()) != 3) return kStatusIoError;
  const size_t found = static_cast<size_t>(PQntuples(r.get()));
  const size_t take = std::min(found, want);
  if (rows.size() < take) rows.resize(take);
  const size_t imageLength = spec.keys[static_cast<size_t>(key)].Length();
  for (size_t i = 0; i < take; ++i) {
    const int row = static_cast<int>(i);
    StoredRow& out = rows[i];
    if (!Int64At(r.get(), row, 0, out.pos) || !BytesAt(r.get(), row, 1, out.data) ||
        !BytesAt(r.get(), row, 2, out.image) || out.pos < 1 || out.pos > kMaxRecordPosition ||
        out.data.size() != spec.recordLength || out.image.size() != imageLength) {
      status = kStatusIoError;
      break;
    }
    ++n;
  }
  return n > 0 ? kStatusSuccess : status;
}

void PostgresFile::RecordParams(const uint8_t* record, const std::vector<std::string>& images,
                                Params& p) const {
  p.Bytes(reinterpret_cast<const char*>(record), spec.recordLength);
  for (size_t k = 0; k < spec.keys.size(); ++k) p.Bytes(images[k]);
}

int16_t PostgresFile::Insert(const uint8_t* record, const std::vector<std::string>& images,
                             int64_t& pos) {
  int16_t status = WriteAllowed();
  if (status != kStatusSuccess) return status;
  Params p;
  RecordParams(record, images, p);
  for (int attempt = 0; attempt < kInsertTries; ++attempt) {
    Result r;
    const bool counted = Locked() && knownMax >= 0 && knownMax < kMaxRecordPosition;
    if (counted) {
      Params at;
      RecordParams(record, images, at);
      at.Int64(knownMax + 1);
      status = Exec(kStInsertAt, at, r);
    } else {
      status = Exec(kStInsert, p, r);
    }
    if (status != kStatusSuccess) return status;
    if (PQntuples(r.get()) == 1) {
      if (!Int64At(r.get(), 0, 0, pos)) return kStatusIoError;
      if (Locked()) knownMax = pos;
      return kStatusSuccess;
    }
    // Another handle of this process took the position: ask the server again.
    knownMax = -1;
    // Nothing stored: a unique key holds one of the images, or another session took
    // the position.
    status = Exec(kStConflict, p, r);
    if (status != kStatusSuccess) return status;
    if (PQntuples(r.get()) > 0) return kStatusDuplicateKey;
  }
  return kStatusRecordLocked;
}

int16_t PostgresFile::ReadData(int64_t pos, std::string& data, bool& found) {
  found = false;
  Params p;
  p.Int64(pos);
  Result r;
  int16_t status = Exec(kStData, p, r);
  if (status != kStatusSuccess) return status;
  if (PQntuples(r.get()) == 0) return kStatusSuccess;
  if (PQnfields(r.get()) != 1 || !BytesAt(r.get(), 0, 0, data) ||
      data.size() != spec.recordLength) {
    return kStatusIoError;
  }
  found = true;
  return kStatusSuccess;
}

int16_t PostgresFile::Update(int64_t pos, const uint8_t* record,
                             const std::vector<std::string>& images, bool& changed) {
  changed = false;
  int16_t status = WriteAllowed();
  if (status != kStatusSuccess) return status;
  Params p;
  RecordParams(record, images, p);
  p.Int64(pos);
  Result r;
  status = Exec(kStUpdate, p, r);
  if (status != kStatusSuccess) return status;
  if (PQntuples(r.get()) == 1) {
    changed = true;
    return kStatusSuccess;
  }
  // Nothing changed: the record is gone, or a unique key holds one of the images.
  Params at;
  at.Int64(pos);
  status = Exec(kStExists, at, r);
  if (status != kStatusSuccess) return status;
  return PQntuples(r.get()) > 0 ? kStatusDuplicateKey : kStatusSuccess;
}

int16_t PostgresFile::Delete(int64_t pos, bool& changed) {
  changed = false;
  int16_t status = WriteAllowed();
  if (status != kStatusSuccess) return status;
  Params p;
  p.Int64(pos);
  Result r;
  status = Exec(kStDelete, p, r);
  if (status != kStatusSuccess) return status;
  changed = std::strcmp(PQcmdTuples(r.get()), "0") != 0;
  // The highest record gone: the next insert asks the server for the new highest.
  if (changed && pos >= knownMax) knownMax = -1;
  return kStatusSuccess;
}

int16_t PostgresFile::Count(uint64_t, int64_t& count) {
  Params p;
  Result r;
  int16_t status = Exec(kStCount, p, r);
  if (status != kStatusSuccess) return status;
  if (PQntuples(r.get()) != 1 || PQnfields(r.get()) != 1 || !Int64At(r.get(), 0, 0, count) ||
      count < 0) {
    return kStatusIoError;
  }
  return kStatusSuccess;
}

int16_t PostgresFile::JoinTransaction() {
  Connection& c = *connection;
  if (c.failedStatus != kStatusSuccess) return c.failedStatus;
  const bool begun = !c.inTransaction;
  if (begun) {
    const int16_t status = Run(c, "BEGIN", Phase::kAccess);
    if (status != kStatusSuccess) {
      // Nothing was begun, so nothing is to be reported at the end.
      c.failedStatus = kStatusSuccess;
      return status;
    }
    c.inTransaction = true;
    ++c.transactionSerial;
  }
  // Other writers wait (and give 84 when their wait runs out) until this transaction
  // ends; readers go on. A savepoint keeps the transaction when the lock cannot be
  // had: this write gives 84, the writes before it stay.
  int16_t status = Ready(c);
  if (status != kStatusSuccess) return status;
  Result r(PQexec(c.conn, ("SAVEPOINT zr_join; LOCK TABLE " + schema +
                           ".records IN SHARE ROW EXCLUSIVE MODE; RELEASE SAVEPOINT zr_join")
                              .c_str()));
  status = StatusFromPostgres(r.get(), Phase::kAccess);
  if (status != kStatusSuccess) {
    if (begun) {
      // Nothing else is in the transaction: it is not begun after all.
      Result undo(PQexec(c.conn, "ROLLBACK"));
      c.inTransaction = false;
      return status;
    }
    Result undo(PQexec(c.conn, "ROLLBACK TO SAVEPOINT zr_join; RELEASE SAVEPOINT zr_join"));
    if (!Succeeded(undo.get())) UndoTransaction(c, status);
    return status;
  }
  joined = true;
  lockedTransaction = c.transactionSerial;
  knownMax = -1;
  return kStatusSuccess;
}

int16_t PostgresFile::FinishTransaction(bool commit) {
  Connection& c = *connection;
  joined = false;
  int16_t status = kStatusSuccess;
  if (c.inTransaction) {
    status = Ready(c);
    if (status == kStatusSuccess) {
      Result r(PQexec(c.conn, commit ? "COMMIT" : "ROLLBACK"));
      status = StatusFromPostgres(r.get(), Phase::kAccess);
      // A transaction that had failed answers COMMIT with ROLLBACK.
      if (status == kStatusSuccess && commit && std::strcmp(PQcmdStatus(r.get()), "COMMIT") != 0) {
        status = kStatusRecordLocked;
      }
    }
    if (status != kStatusSuccess && PQtransactionStatus(c.conn) != PQTRANS_IDLE) {
      Result r(PQexec(c.conn, "ROLLBACK"));
    }
    c.inTransaction = false;
  } else if (commit) {
    status = c.failedStatus;
  }
  c.failedStatus = kStatusSuccess;
  return status;
}

// ---------------------------------------------------------------------------------
// Open and Create

std::string Quote(const std::string& identifier) {
  return "\"" + identifier + "\"";
}

struct Expected {
  std::vector<std::string> relations;  // "name kind", in name order
  std::vector<std::string> columns;    // of records: "name type notnull"
  std::vector<std::string> indexes;    // "name definition", in name order
};

std::string IndexDefinition(const std::string& schema, const FileSpec& spec, size_t k) {
  const std::string c = KeyColumn(k);
  return IsUnique(spec.keys[k]) ? "CREATE UNIQUE INDEX records_" + c + " ON " + schema +
                                      ".records USING btree (" + c + ")"
                                : "CREATE INDEX records_" + c + " ON " + schema +
                                      ".records USING btree (" + c + ", pos)";
}

Expected ExpectedLayout(const std::string& schema, const FileSpec& spec) {
  Expected e;
  e.relations = {"key_segments r", "meta r", "records r", "records_pkey i"};
  e.columns = {"pos bigint t", "data bytea t"};
  e.indexes.push_back("records_pkey CREATE UNIQUE INDEX records_pkey ON " + schema +
                      ".records USING btree (pos)");
  for (size_t k = 0; k < spec.keys.size(); ++k) {
    e.relations.push_back("records_" + KeyColumn(k) + " i");
    e.columns.push_back(KeyColumn(k) + " bytea t");
    e.indexes.push_back("records_" + KeyColumn(k) + " " + IndexDefinition(schema, spec, k));
  }
  std::sort(e.relations.begin(), e.relations.end());
  std::sort(e.indexes.begin(), e.indexes.end());
  return e;
}

// The statements that make a file's tables.
std::vector<std::string> LayoutStatements(const std::string& schema, const FileSpec& spec) {
  const std::string s = Quote(schema);
  std::vector<std::string> out;
  out.push_back("CREATE SCHEMA " + s);
  out.push_back("CREATE TABLE " + s +
                ".meta(format integer NOT NULL, recordlength integer NOT NULL, pagesize integer "
                "NOT NULL, fileflags integer NOT NULL, keycount integer NOT NULL, alternate "
                "bytea, name text NOT NULL)");
  out.push_back("CREATE TABLE " + s +
                ".key_segments(keynumber integer NOT NULL, segmentnumber integer NOT NULL, "
                "position integer NOT NULL, length integer NOT NULL, flags integer NOT NULL, spec "
                "bytea NOT NULL)");
  std::string records = "CREATE TABLE " + s +
                        ".records(pos bigint PRIMARY KEY CHECK (pos BETWEEN 1 AND 2147483647), "
                        "data bytea NOT NULL CHECK (octet_length(data) = " +
                        std::to_string(spec.recordLength) + ")";
  for (size_t k = 0; k < spec.keys.size(); ++k) records += ", " + KeyColumn(k) + " bytea NOT NULL";
  out.push_back(records + ")");
  for (size_t k = 0; k < spec.keys.size(); ++k) out.push_back(IndexDefinition(s, spec, k));
  return out;
}

// Reads meta and key_segments into spec and checks that the schema is exactly what
// Create makes, for this file.
int16_t LoadLayout(Connection& c, const std::string& schema, const std::string& key, bool readOnly,
                   FileSpec& spec) {
  const std::string s = Quote(schema);
  Params none;
  Result r;
  int16_t status = RunParams(c,
                             "SELECT format, recordlength, pagesize, fileflags, keycount, "
                             "alternate, name FROM " +
                                 s + ".meta LIMIT 2",
                             {}, none, Phase::kOpen, r);
  if (status != kStatusSuccess) return status;
  if (PQntuples(r.get()) != 1 || PQnfields(r.get()) != 7) return kStatusNotARecordFile;
  int64_t format = 0, recordLength = 0, pageSize = 0, fileFlags = 0, keyCount = 0;
  std::string alternate, name;
  if (!Int32At(r.get(), 0, 0, format) || !Int32At(r.get(), 0, 1, recordLength) ||
      !Int32At(r.get(), 0, 2, pageSize) || !Int32At(r.get(), 0, 3, fileFlags) ||
      !Int32At(r.get(), 0, 4, keyCount) || !BytesAt(r.get(), 0, 6, name) ||
      PQgetlength(r.get(), 0, 6) > static_cast<int>(kMaxMetaName)) {
    return kStatusNotARecordFile;
  }
  if (!PQgetisnull(r.get(), 0, 5) &&
      (!BytesAt(r.get(), 0, 5, alternate) || alternate.size() != kAlternateSequenceSize)) {
    return kStatusNotARecordFile;
  }
  // Another file's schema under the same name: not this file.
  if (name != key) return kStatusNotARecordFile;
  if (format != kSchemaFormat || recordLength < 0 || recordLength > 0xFFFF || pageSize < 0 ||
      pageSize > 0xFFFF || fileFlags < 0 || fileFlags > 0xFFFF || keyCount < 1 ||
      keyCount > static_cast<int64_t>(kMaxKeys)) {
    return kStatusNotARecordFile;
  }
  std::string bytes(kFileSpecHeaderSize, '\0');
  auto put16 = [&](size_t at, int64_t v) {
    bytes[at] = static_cast<char>(v & 0xFF);
    bytes[at + 1] = static_cast<char>((v >> 8) & 0xFF);
  };
  put16(0, recordLength);
  put16(2, pageSize);
  put16(4, keyCount);
  put16(10, fileFlags);

  status = RunParams(c,
                     "SELECT keynumber, segmentnumber, spec FROM " + s +
                         ".key_segments ORDER BY keynumber, segmentnumber LIMIT " +
                         std::to_string(kMaxSegments + 1),
                     {}, none, Phase::kOpen, r);
  if (status != kStatusSuccess) return status;
  const int segments = PQntuples(r.get());
  if (PQnfields(r.get()) != 3 || segments > static_cast<int>(kMaxSegments)) {
    return kStatusNotARecordFile;
  }
  std::vector<int64_t> rowKeys;
  for (int i = 0; i < segments; ++i) {
    int64_t keyNumber = 0, segmentNumber = 0;
    std::string raw;
    if (!Int32At(r.get(), i, 0, keyNumber) || !Int32At(r.get(), i, 1, segmentNumber) ||
        !BytesAt(r.get(), i, 2, raw) || raw.size() != kKeySegmentSpecSize) {
      return kStatusNotARecordFile;
    }
    rowKeys.push_back(keyNumber);
    bytes += raw;
  }
  bytes += alternate;
  if (DecodeFileSpec(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), spec) !=
      kStatusSuccess) {
    return kStatusNotARecordFile;
  }
  size_t row = 0;
  for (size_t k = 0; k < spec.keys.size(); ++k) {
    for (size_t i = 0; i < spec.keys[k].segments.size(); ++i, ++row) {
      if (row >= rowKeys.size() || rowKeys[row] != static_cast<int64_t>(k)) {
        return kStatusNotARecordFile;
      }
    }
  }
  if (row != rowKeys.size() || spec.keys.size() != static_cast<size_t>(keyCount) ||
      (alternate.empty() != !spec.alternate)) {
    return kStatusNotARecordFile;
  }

  // The objects of the schema must be exactly what Create makes: no trigger, rule or
  // policy that could change what a statement does.
  const Expected expected = ExpectedLayout(schema, spec);
  Params name1;
  name1.values.push_back(schema.c_str());
  name1.lengths.push_back(0);
  name1.formats.push_back(0);
  status = RunParams(
      c,
      "SELECT 'r' AS what, c.relname::text || ' ' || c.relkind::text AS item FROM pg_class c JOIN "
      "pg_namespace n ON n.oid = c.relnamespace WHERE n.nspname = $1 "
      "UNION ALL SELECT 'c', a.attnum::text || ' ' || a.attname::text || ' ' || "
      "format_type(a.atttypid, a.atttypmod) || ' ' || CASE WHEN a.attnotnull THEN 't' ELSE "
      "'f' END FROM pg_attribute a JOIN pg_class c ON c.oid = a.attrelid JOIN pg_namespace n "
      "ON n.oid = c.relnamespace WHERE n.nspname = $1 AND c.relname = 'records' AND a.attnum > "
      "0 AND NOT a.attisdropped "
      "UNION ALL SELECT 'i', indexname::text || ' ' || indexdef FROM pg_indexes WHERE schemaname = "
      "$1 "
      "UNION ALL SELECT 't', tgname::text FROM pg_trigger t JOIN pg_class c ON c.oid = t.tgrelid "
      "JOIN "
      "pg_namespace n ON n.oid = c.relnamespace WHERE n.nspname = $1 "
      "UNION ALL SELECT 'u', rulename::text FROM pg_rules WHERE schemaname = $1 "
      "UNION ALL SELECT 'p', policyname::text FROM pg_policies WHERE schemaname = $1 "
      "UNION ALL SELECT 'w', CASE WHEN has_table_privilege(c.oid, 'INSERT') AND "
      "has_table_privilege(c.oid, 'UPDATE') AND has_table_privilege(c.oid, 'DELETE') THEN 'y' "
      "ELSE 'n' END FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace WHERE "
      "n.nspname = $1 AND c.relname = 'records' "
      "LIMIT 1000",
      {kTextOid}, name1, Phase::kOpen, r);
  if (status != kStatusSuccess) return status;
  Expected found;
  std::vector<std::pair<int, std::string>> columns;
  bool writable = false;
  for (int i = 0; i < PQntuples(r.get()); ++i) {
    std::string what, item;
    if (!BytesAt(r.get(), i, 0, what) || !BytesAt(r.get(), i, 1, item)) {
      return kStatusNotARecordFile;
    }
    if (what == "r") {
      found.relations.push_back(item);
    } else if (what == "c") {
      const size_t blank = item.find(' ');
      columns.emplace_back(std::atoi(item.substr(0, blank).c_str()), item.substr(blank + 1));
    } else if (what == "i") {
      found.indexes.push_back(item);
    } else if (what == "w") {
      writable = item == "y";
    } else {
      return kStatusNotARecordFile;
    }
  }
  std::sort(columns.begin(), columns.end());
  for (auto& col : columns) found.columns.push_back(col.second);
  std::sort(found.relations.begin(), found.relations.end());
  std::sort(found.indexes.begin(), found.indexes.end());
  if (found.relations != expected.relations || found.columns != expected.columns ||
      found.indexes != expected.indexes) {
    return kStatusNotARecordFile;
  }
  if (!readOnly && !writable) return kStatusAccessDenied;

  // Positions outside the range would not fit a position block.
  status =
      RunParams(c, "SELECT coalesce(min(pos), 1), coalesce(max(pos), 1) FROM " + s + ".records", {},
                none, Phase::kOpen, r);
  if (status != kStatusSuccess) return status;
  int64_t low = 0, high = 0;
  if (PQntuples(r.get()) != 1 || !Int64At(r.get(), 0, 0, low) || !Int64At(r.get(), 0, 1, high) ||
      low < 1 || high > kMaxRecordPosition) {
    return kStatusNotARecordFile;
  }
  return kStatusSuccess;
}

bool SchemaExists(Connection& c, const std::string& schema, int16_t& status, Phase phase) {
  Params p;
  p.values.push_back(schema.c_str());
  p.lengths.push_back(0);
  p.formats.push_back(0);
  Result r;
  status = RunParams(c, "SELECT 1 FROM pg_namespace WHERE nspname = $1", {kTextOid}, p, phase, r);
  return status == kStatusSuccess && PQntuples(r.get()) > 0;
}

int16_t BuildLayout(Connection& c, const std::string& schema, const std::string& key,
                    const FileSpec& spec, bool replace) {
  int16_t status = kStatusSuccess;
  if (replace)
    status = Run(c, "DROP SCHEMA IF EXISTS " + Quote(schema) + " CASCADE", Phase::kCreate);
  for (const std::string& sql : LayoutStatements(schema, spec)) {
    if (status != kStatusSuccess) return status;
    status = Run(c, sql, Phase::kCreate);
  }
  if (status != kStatusSuccess) return status;

  const std::string bytes = EncodeFileSpec(spec);
  size_t segmentsEnd = kFileSpecHeaderSize;
  for (const KeySpec& k : spec.keys) segmentsEnd += k.segments.size() * kKeySegmentSpecSize;
  auto text = [](Params& p, const std::string& v) {
    p.values.push_back(v.c_str());
    p.lengths.push_back(0);
    p.formats.push_back(0);
  };
  const std::string format = std::to_string(kSchemaFormat);
  const std::string recordLength = std::to_string(spec.recordLength);
  const std::string pageSize = std::to_string(spec.pageSize);
  const std::string fileFlags = std::to_string(spec.fileFlags);
  const std::string keyCount = std::to_string(spec.keys.size());
  Params meta;
  text(meta, format);
  text(meta, recordLength);
  text(meta, pageSize);
  text(meta, fileFlags);
  text(meta, keyCount);
  if (spec.alternate) {
    meta.Bytes(bytes.data() + segmentsEnd, kAlternateSequenceSize);
  } else {
    meta.values.push_back(nullptr);
    meta.lengths.push_back(0);
    meta.formats.push_back(1);
  }
  text(meta, key);
  Result r;
  status = RunParams(c,
                     "INSERT INTO " + Quote(schema) +
                         ".meta(format, recordlength, pagesize, fileflags, keycount, alternate, "
                         "name) VALUES ($1, $2, $3, $4, $5, $6, $7)",
                     {kInt4Oid, kInt4Oid, kInt4Oid, kInt4Oid, kInt4Oid, kByteaOid, kTextOid}, meta,
                     Phase::kCreate, r);
  size_t at = kFileSpecHeaderSize;
  for (size_t k = 0; k < spec.keys.size() && status == kStatusSuccess; ++k) {
    for (size_t i = 0; i < spec.keys[k].segments.size() && status == kStatusSuccess; ++i) {
      const auto* raw = reinterpret_cast<const uint8_t*>(bytes.data() + at);
      const std::string v[] = {
          std::to_string(k), std::to_string(i), std::to_string(raw[0] | (raw[1] << 8)),
          std::to_string(raw[2] | (raw[3] << 8)), std::to_string(raw[4] | (raw[5] << 8))};
      Params seg;
      for (const std::string& x : v) text(seg, x);
      seg.Bytes(bytes.data() + at, kKeySegmentSpecSize);
      status = RunParams(c,
                         "INSERT INTO " + Quote(schema) +
                             ".key_segments(keynumber, segmentnumber, position, length, flags, "
                             "spec) VALUES ($1, $2, $3, $4, $5, $6)",
                         {kInt4Oid, kInt4Oid, kInt4Oid, kInt4Oid, kInt4Oid, kByteaOid}, seg,
                         Phase::kCreate, r);
      at += kKeySegmentSpecSize;
    }
  }
  return status;
}

}  // namespace

int16_t OpenPostgresStore(const std::string& connection, const std::string& key, bool readOnly,
                          int busyTimeout, std::unique_ptr<RecordStore>& store, FileSpec& spec) {
  Connection* c = nullptr;
  int16_t status = AcquireConnection(connection, c);
  if (status != kStatusSuccess) return status;
  c->lockTimeout = busyTimeout;
  const std::string schema = RecordFileSchema(key);
  if (!SchemaExists(*c, schema, status, Phase::kOpen)) {
    return status != kStatusSuccess ? status : kStatusFileNotFound;
  }
  FileSpec loaded;
  status = LoadLayout(*c, schema, key, readOnly, loaded);
  if (status != kStatusSuccess) return status;
  auto f = std::make_unique<PostgresFile>();
  f->connection = c;
  ++c->users;
  f->identity = connection + "\n" + key;
  f->schema = Quote(schema);
  f->spec = loaded;
  f->id = c->nextFileId++;
  spec = loaded;
  store = std::move(f);
  return kStatusSuccess;
}

int16_t CreatePostgresStore(const std::string& connection, const std::string& key,
                            const FileSpec& spec, bool replace, int busyTimeout,
                            const IsOpenHere& isOpen) {
  Connection* shared = nullptr;
  int16_t status = AcquireConnection(connection, shared);
  if (status != kStatusSuccess) return status;
  shared->lockTimeout = busyTimeout;
  if (replace && isOpen(connection + "\n" + key)) return kStatusFileLocked;
  // Creating is a transaction of its own: when this process has one open, on a
  // connection of its own.
  Connection own;
  Connection* c = shared;
  if (shared->inTransaction || shared->failedStatus != kStatusSuccess) {
    own.conninfo = connection;
    own.conn = Connect(connection);
    if (own.conn == nullptr) return kStatusManagerInactive;
    own.lockTimeout = busyTimeout;
    c = &own;
  }
  const std::string schema = RecordFileSchema(key);
  const bool exists = SchemaExists(*c, schema, status, Phase::kCreate);
  if (status == kStatusSuccess && exists && !replace) status = kStatusFileExists;
  if (status == kStatusSuccess) status = Run(*c, "BEGIN", Phase::kCreate);
  if (status == kStatusSuccess) {
    c->inTransaction = true;
    status = BuildLayout(*c, schema, key, spec, replace && exists);
    if (status == kStatusSuccess) status = Run(*c, "COMMIT", Phase::kCreate);
    if (status != kStatusSuccess && c->inTransaction) Run(*c, "ROLLBACK", Phase::kCreate);
    c->inTransaction = false;
    c->failedStatus = kStatusSuccess;
  }
  if (c == &own) PQfinish(own.conn);
  // The server reports a lost race for a new schema as an error of the catalogue.
  return status;
}

void ReleasePostgresConnections() {
  auto& list = PgState().connections;
  for (auto it = list.begin(); it != list.end();) {
    Connection& c = **it;
    if (c.users > 0 || c.inTransaction) {
      ++it;
      continue;
    }
    PQfinish(c.conn);
    it = list.erase(it);
  }
}

std::string PostgresConnectionError() {
  return PgState().lastError;
}

// ---------------------------------------------------------------------------------
// Names

namespace {

std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  auto flush = [&] {
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    part.clear();
  };
  for (char ch : path) {
    if (ch == '/') {
      flush();
    } else {
      part.push_back(ch);
    }
  }
  flush();
  return parts;
}

std::vector<std::string> AbsoluteComponents(std::string_view name) {
  std::string path = ResolvePath(name);
  if (path.empty() || path.front() != '/') {
    char cwd[4096];
    const std::string here = ::getcwd(cwd, sizeof cwd) != nullptr ? cwd : "/";
    path = here + "/" + path;
  }
  return Components(path);
}

std::string Lower(std::string s) {
  for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return s;
}

}  // namespace

std::string RecordFileKey(std::string_view name, std::string_view root) {
  std::vector<std::string> parts = AbsoluteComponents(name);
  size_t skip = 0;
  if (!root.empty()) {
    const std::vector<std::string> rootParts = AbsoluteComponents(root);
    if (rootParts.size() < parts.size() &&
        std::equal(
            rootParts.begin(), rootParts.end(), parts.begin(),
            [](const std::string& a, const std::string& b) { return Lower(a) == Lower(b); })) {
      skip = rootParts.size();
    }
  }
  std::string key = skip == 0 ? "/" : "";
  for (size_t i = skip; i < parts.size(); ++i) {
    if (i > skip) key += "/";
    key += parts[i];
  }
  return Lower(key);
}

std::string RecordFileSchema(std::string_view key) {
  uint64_t hash = 1469598103934665603ULL;  // FNV-1a
  for (char ch : key) {
    hash ^= static_cast<uint8_t>(ch);
    hash *= 1099511628211ULL;
  }
  std::string tail(key.size() > 40 ? key.substr(key.size() - 40) : key);
  for (char& ch : tail) {
    const auto u = static_cast<unsigned char>(ch);
    ch = (std::isalnum(u) && u < 128) ? static_cast<char>(std::tolower(u)) : '_';
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return "zr_" + tail + "_" + hex;
}

}  // namespace platform
