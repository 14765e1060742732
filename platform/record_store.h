#pragma once
// Where the record manager keeps the records of one open file: the storage engine
// behind BTRCALL. The manager itself keeps the position, the rows read ahead and the
// transaction state; an engine only stores rows and answers queries in key order.
// Two engines: SQLite files (one database per record file) and a PostgreSQL database
// (one schema per record file). The environment variable ZURDB chooses: empty means
// SQLite files, anything else is a libpq connection string.
//
// Row shape common to both engines: the record's position (1 .. 2^31-1), its bytes
// (exactly the record length) and, per key, its key image (exactly the key length);
// within one key rows sort by (image, position), images compared as plain bytes.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/record_file_spec.h"

namespace platform {

inline constexpr int64_t kMaxRecordPosition = 2147483647;

struct StoredRow {
  int64_t pos = 0;
  std::string data;
  std::string image;  // the image of the key the query ran on
};

// The queries of one key, each in that key's order.
enum class RowQuery {
  kEqual,           // image = operand, ascending
  kGreater,         // image > operand, ascending
  kGreaterOrEqual,  // image >= operand, ascending
  kLess,            // image < operand, descending
  kLessOrEqual,     // image <= operand, descending
  kFirst,           // every row, ascending
  kLast,            // every row, descending
  kNext,            // (image, pos) > (operand, position), ascending
  kPrevious,        // (image, pos) < (operand, position), descending
  kAt,              // the row at the position (at most one)
};
inline constexpr int kRowQueryCount = 10;

// What an operation was doing when the engine failed: a busy file is a locked file
// while opening and a locked record otherwise; creating fails as a whole.
enum class Phase { kOpen, kAccess, kCreate };

class RecordStore {
 public:
  virtual ~RecordStore() = default;

  // Runs a query of key `key` and keeps up to `want` of its rows in rows[0..n). A
  // damaged row or a failure ends the rows kept before it (status 0 with n > 0), so
  // that it is reported only to the read that reaches it; when it comes first, its
  // status is returned with n = 0.
  virtual int16_t Query(int key, RowQuery query, const std::string& image, int64_t pos, size_t want,
                        std::vector<StoredRow>& rows, size_t& n) = 0;
  // Stores a record with its key images at a position above every record there is.
  // 5 when a unique key already holds one of the images.
  virtual int16_t Insert(const uint8_t* record, const std::vector<std::string>& images,
                         int64_t& pos) = 0;
  // The bytes of the record at pos; found tells whether there is one.
  virtual int16_t ReadData(int64_t pos, std::string& data, bool& found) = 0;
  // Replaces the record at pos; changed is false when there was none there.
  virtual int16_t Update(int64_t pos, const uint8_t* record, const std::vector<std::string>& images,
                         bool& changed) = 0;
  // Deletes the record at pos; changed is false when there was none there.
  virtual int16_t Delete(int64_t pos, bool& changed) = 0;
  // The number of records. writeGeneration changes with every write of this process.
  virtual int16_t Count(uint64_t writeGeneration, int64_t& count) = 0;
  // Makes the following writes part of the process's open transaction.
  virtual int16_t JoinTransaction() = 0;
  // Commits or undoes what this file wrote since JoinTransaction.
  virtual int16_t FinishTransaction(bool commit) = 0;
  // How long an operation waits for data another program holds locked.
  virtual void SetBusyTimeout(int milliseconds) = 0;
  // Whether this store holds the file `engineName` (as the Create of its engine names
  // files).
  virtual bool Holds(const std::string& engineName) const = 0;
};

// Asks whether a file of the engine's naming is open in this process.
using IsOpenHere = std::function<bool(const std::string& engineName)>;

// The engines. Open fills spec with the file's description; Create makes a file from
// spec (already checked), refusing an existing one with 59 unless replace, and one
// open in this process with 85.
int16_t OpenSqliteStore(const std::string& name, bool readOnly, int busyTimeout,
                        std::unique_ptr<RecordStore>& store, FileSpec& spec);
int16_t CreateSqliteStore(const std::string& name, const FileSpec& spec, bool replace,
                          const IsOpenHere& isOpen);

int16_t OpenPostgresStore(const std::string& connection, const std::string& name, bool readOnly,
                          int busyTimeout, std::unique_ptr<RecordStore>& store, FileSpec& spec);
int16_t CreatePostgresStore(const std::string& connection, const std::string& name,
                            const FileSpec& spec, bool replace, int busyTimeout,
                            const IsOpenHere& isOpen);
// Closes the connections no open file uses any more.
void ReleasePostgresConnections();
// The server's message of the last connection that failed ("" when none did).
std::string PostgresConnectionError();

// The name a record file has in the database: the name as the caller gives it,
// resolved like every path, made absolute, relative to `root` (the installation's
// root folder, resolved the same way) when inside it, ASCII lower-cased, with "/"
// between its components. "DADES\CobramH.dat" under the root gives
// "dades/cobramh.dat"; so does the same file named by its full path.
std::string RecordFileKey(std::string_view name, std::string_view root);
// The schema holding that file: "zr_", up to 40 of the key's last characters turned
// into [a-z0-9_], "_" and 16 hexadecimal digits of a hash of the whole key. The key
// itself is kept in the schema's meta table, so two keys never share a schema.
std::string RecordFileSchema(std::string_view key);

}  // namespace platform
