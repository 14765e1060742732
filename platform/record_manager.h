#pragma once
// The record manager: keyed record files reached through one entry point, BTRCALL,
// driven by an operation code. Where the records live is chosen by the environment
// variable ZURDB when a file is opened or created:
//   empty         each data file is one SQLite database (the file keeps its own name,
//                 usually name.dat), in WAL mode: a reader goes on while another
//                 program writes;
//   a connection  a libpq connection string ("postgresql://user@host/zur",
//   string        "host=... dbname=..."): each data file is one schema of that
//                 PostgreSQL database, named after the file's name relative to
//                 ZURROOT (see record_store.h), so that every machine of an office
//                 reaches the same files.
// Both keep
//   meta          record length, page size, file flags, alternate collating sequence
//   key_segments  the key segments as given at Create (decoded, and the raw 16 bytes)
//   records       pos (the record's position, 1 .. 2^31-1), data (the record's bytes)
//                 and one key-image column k0, k1, ... per key, each with an index;
//                 duplicates sort by position, that is in the order they were
//                 inserted.
// A key image is the key value rewritten so that plain byte order is key order:
// binary segments byte-reversed, alternate-collating segments mapped through the
// file's table, descending segments complemented. Data another program holds locked
// gives 85 (open) or 84 (any other operation) after a bounded wait.
//
// PostgreSQL: one connection per process and database, shared by every file open on
// it and closed with the last of them. A transaction (19 .. 21) is one PostgreSQL
// transaction on that connection, so it spans every file of the process; each file
// it writes is locked against other programs' writes until it ends (they wait, then
// give 84), as an SQLite file is, while readers go on and see none of it until it
// is committed. Should a
// statement fail inside it (a lock wait that ran out, the server gone), the whole
// transaction is undone at once: that write reports its status, later writes give
// the same status, and End Transaction reports it too. A server that cannot be
// reached, refuses the login or lacks the database gives 20 at Open and Create,
// within the connection's connect_timeout (10 s unless the string sets one).
//
// Position block (128 bytes, the caller's, zero before Open):
//   offset  size  meaning
//   0       4     "ZRPB" while it names an open file
//   4       4     index of the open file in this process's table
//   8       4     serial number of that open (a stale block never reaches a new file)
//   12      2     key number of the current position (-1: no current record)
//   14      2     reserved (0)
//   16      8     current position (mirror of the manager's own; 0: none)
//   24      104   zero
//
// Lengths: the manager never reads or writes past *dataLength bytes of the data
// buffer or keyLength bytes of the key buffer; *dataLength comes back as the number
// of bytes returned (0 after a failed read). A key buffer shorter than the key gives
// 21; a data buffer shorter than the record gives 22 with the record's first bytes
// (a read still moves to the record). A failed read or step leaves the current
// position where it was.

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

inline constexpr size_t kPositionBlockSize = 128;

// Operation codes. A lock bias of 100, 200, 300 or 400 may be added to any of them;
// it is accepted and has no further effect (the engine's own locking serves instead).
enum RecordOperation : uint16_t {
  kOpOpen = 0,               // key buffer: file name; key number 0/-1 normal, -2 read-only
  kOpClose = 1,              // closes the file of the position block
  kOpInsert = 2,             // data: the record; key buffer: back the key of keyNumber
  kOpUpdate = 3,             // replaces the current record
  kOpDelete = 4,             // deletes the current record; Next/Previous go on from it
  kOpGetEqual = 5,           // first record whose key equals the key buffer's; else 4
  kOpGetNext = 6,            // next record in key order; at the last: 9, position kept
  kOpGetPrevious = 7,        // previous record in key order; at the first: 9
  kOpGetGreater = 8,         // first record with a greater key; none: 9
  kOpGetGreaterOrEqual = 9,  // first record with a key greater or equal; none: 9
  kOpGetLess = 10,           // last record with a smaller key; none: 9
  kOpGetLessOrEqual = 11,    // last record with a key smaller or equal; none: 9
  kOpGetFirst = 12,          // first record in key order; empty file: 9
  kOpGetLast = 13,           // last record in key order; empty file: 9
  kOpCreate = 14,            // data: file description; key number -1: do not replace
  kOpStat = 15,              // data: back the file description with the record count
  kOpBeginTransaction = 19,  // writes until End/Abort form one transaction per file
  kOpEndTransaction = 20,    // commits them
  kOpAbortTransaction = 21,  // undoes them
  kOpGetPosition = 22,       // data: back the current record's 4-byte position
  kOpGetDirect = 23,         // data: the 4-byte position in, the record out; none: 43
  kOpReset = 28,             // aborts a transaction and closes every file of the process
};

inline constexpr int8_t kOpenNormal = 0;
inline constexpr int8_t kOpenReadOnly = -2;
inline constexpr int8_t kCreateNoReplace = -1;

// The entry point. Returns the status of record_status.h. positionBlock must be
// kPositionBlockSize bytes (and zero for Open); buffers may be null when their
// length is 0.
int16_t BTRCALL(uint16_t operation, void* positionBlock, void* dataBuffer, uint32_t* dataLength,
                void* keyBuffer, uint8_t keyLength, int8_t keyNumber);

// How long an operation waits for data another program holds locked before it gives
// 84/85. Default 2000 ms; tests shorten it.
void SetRecordManagerBusyTimeout(int milliseconds);

// How long rows read ahead may be served before they are read again (another
// program's writes older than this are always seen). A read that runs a query also
// fetches the rows that follow in its key and direction; until a write of this
// process or this age, Get Next/Previous from among them and keyed reads whose
// answer lies among them are served without a query. Default 50 ms; 0 turns reading
// ahead off.
void SetRecordManagerReadAheadAge(int milliseconds);

// Where files are opened and created from now on, instead of the environment:
// connection is ZURDB's value ("" for SQLite files), root ZURROOT's (the folder that
// PostgreSQL file names are taken relative to). nullptr goes back to the environment.
// Files already open stay where they are.
void SetRecordManagerDatabase(const char* connection);
void SetRecordManagerRoot(const char* root);

// The server's own words for the last connection that failed with status 20, "" when
// none did: for a message to the person who must mend the connection string.
std::string RecordManagerConnectionError();

}  // namespace platform
