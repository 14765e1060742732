// A second program for the record manager's tests. Run by them as a child process:
//   record_lock_holder exclusive FILE READY  holds FILE locked so nobody may open it
//   record_lock_holder write FILE READY      holds FILE's write lock (readers go on)
//   record_lock_holder open FILE             opens FILE through the record manager and
//                                            prints the status
//   record_lock_holder insert FILE RECORD    inserts RECORD into FILE through the record
//                                            manager; exit code 0 when it is stored
// The holders write READY once the lock is held and keep it until their standard
// input ends (or 60 seconds have passed). With ZURDB set, FILE is a file of that
// database: "exclusive" takes the records table's ACCESS EXCLUSIVE lock (nobody may
// read it), "write" its EXCLUSIVE lock (readers go on, writers wait).

#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/env.h"
#include "platform/record_manager.h"
#include "platform/record_store.h"

int main(int argc, char** argv) {
  ::alarm(60);
  if (argc < 3) return 2;
  const std::string mode = argv[1];
  const std::string path = argv[2];
  if (mode == "open") {
    std::array<uint8_t, platform::kPositionBlockSize> block{};
    std::array<uint8_t, 256> key{};
    if (path.size() >= key.size()) return 2;
    std::memcpy(key.data(), path.data(), path.size());
    const int16_t status = platform::BTRCALL(platform::kOpOpen, block.data(), nullptr, nullptr,
                                             key.data(), static_cast<uint8_t>(path.size()), 0);
    std::printf("%d\n", status);
    return 0;
  }
  if (argc < 4) return 2;
  if (mode == "insert") {
    std::array<uint8_t, platform::kPositionBlockSize> block{};
    std::array<uint8_t, 256> key{};
    std::string record = argv[3];
    if (path.size() >= key.size()) return 2;
    std::memcpy(key.data(), path.data(), path.size());
    if (platform::BTRCALL(platform::kOpOpen, block.data(), nullptr, nullptr, key.data(),
                          static_cast<uint8_t>(path.size()), 0) != 0) {
      return 3;
    }
    uint32_t length = static_cast<uint32_t>(record.size());
    key.fill(0);
    const int16_t status = platform::BTRCALL(platform::kOpInsert, block.data(), record.data(),
                                             &length, key.data(), 255, 0);
    platform::BTRCALL(platform::kOpReset, nullptr, nullptr, nullptr, nullptr, 0, 0);
    return status == 0 ? 0 : 4;
  }
  const std::string database = platform::GetEnv("ZURDB");
  if (!database.empty()) {
    PGconn* conn = PQconnectdb(database.c_str());
    if (PQstatus(conn) != CONNECTION_OK) return 3;
    const std::string schema =
        platform::RecordFileSchema(platform::RecordFileKey(path, platform::GetEnv("ZURROOT")));
    const std::string sql = "BEGIN; LOCK TABLE " + schema + ".records IN " +
                            (mode == "exclusive" ? "ACCESS EXCLUSIVE" : "EXCLUSIVE") + " MODE";
    PGresult* r = PQexec(conn, sql.c_str());
    if (PQresultStatus(r) != PGRES_COMMAND_OK) return 4;
    PQclear(r);
    std::FILE* ready = std::fopen(argv[3], "w");
    if (ready == nullptr) return 5;
    std::fclose(ready);
    char c;
    while (::read(0, &c, 1) > 0) {
    }
    PQclear(PQexec(conn, "COMMIT"));
    PQfinish(conn);
    return 0;
  }
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return 3;
  const char* sql = mode == "exclusive" ? "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; "
                                          "SELECT count(*) FROM records;"
                                        : "BEGIN IMMEDIATE; DELETE FROM records WHERE pos < 0;";
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) return 4;
  std::FILE* ready = std::fopen(argv[3], "w");
  if (ready == nullptr) return 5;
  std::fclose(ready);
  char c;
  while (::read(0, &c, 1) > 0) {
  }
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return 0;
}
