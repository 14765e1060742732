// Record access over 1,000,000 receipts kept in a PostgreSQL database (the server on
// loopback): SeekRecord + StepRecord through the record access layer against the same
// walk done straight with libpq (a cursor over the key column, fetched 1000 rows at a
// time), and the same two walks on SQLite files in the same run for comparison. The
// receipts are imported into SQLite files with zurdata and copied to the database
// with zurdata copy (timed once).
//   ZUR_TEST_PG=postgresql://... bench_records_postgres_bench [--benchmark_filter=...]
// ZUR_TEST_PG names a role that may create databases (scripts/pg-test-server.sh start
// DIR prints one); the benchmark makes a database of its own there and drops it at
// the end. BM_WalkRatio reports the walks of one run and their ratios (goal: the layer
// within 3x of the direct walk).

#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>

#include "bench/receipts_walk.h"
#include "platform/env.h"
#include "platform/path.h"
#include "platform/record_manager.h"
#include "platform/record_store.h"
#include "records/record_access.h"
#include "records/record_layouts.h"
#include "session/session.h"
#include "tools/zurdata/data_tool.h"

namespace {

constexpr int kRecords = bench_receipts::kReceipts;

struct Fixture {
  std::string server;    // ZUR_TEST_PG
  std::string database;  // the benchmark's own, its name
  std::string conninfo;  // a connection string for it
  std::string root;
  std::string dataFile;  // the SQLite receipts file
  std::string table;     // the receipts table in the database
  double copySeconds = 0;
};

bool Exec(const std::string& conninfo, const std::string& sql) {
  PGconn* c = PQconnectdb(conninfo.c_str());
  bool ok = PQstatus(c) == CONNECTION_OK;
  if (ok) {
    PGresult* r = PQexec(c, sql.c_str());
    ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    if (!ok) std::fprintf(stderr, "%s", PQresultErrorMessage(r));
    PQclear(r);
  } else {
    std::fprintf(stderr, "%s", PQerrorMessage(c));
  }
  PQfinish(c);
  return ok;
}

// The connection string with another database.
std::string WithDatabase(const std::string& conninfo, const std::string& database) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
  if (options == nullptr) return "";
  std::string out;
  for (PQconninfoOption* o = options; o->keyword != nullptr; ++o) {
    if (o->val == nullptr || std::strcmp(o->keyword, "dbname") == 0) continue;
    out += std::string(o->keyword) + "='" + o->val + "' ";
  }
  PQconninfoFree(options);
  return out + "dbname='" + database + "'";
}

Fixture& Data() {
  static Fixture fixture = [] {
    Fixture f;
    f.server = platform::GetEnv("ZUR_TEST_PG");
    if (f.server.empty()) return f;
    char pattern[] = "/tmp/zurbench-pg-XXXXXX";
    f.root = std::string(::mkdtemp(pattern)) + "/";
    bench_receipts::WriteReceiptsCsv(f.root + "receipts.csv");
    std::ostringstream out, err;
    platform::SetRecordManagerDatabase("");
    platform::SetRecordManagerRoot(f.root.c_str());
    if (zurdata::Init(f.root, out, err) != 0 ||
        zurdata::Import(f.root, zurdata::Kind::kReceipts, f.root + "receipts.csv", false, false,
                        out, err) != 0) {
      std::fprintf(stderr, "%s", err.str().c_str());
      std::abort();
    }
    f.dataFile = platform::ResolvePath(f.root + "DADES/CobramH.dat");
    f.database = "zur_bench_" + std::to_string(::getpid());
    if (!Exec(f.server, "CREATE DATABASE " + f.database)) std::abort();
    f.conninfo = WithDatabase(f.server, f.database);
    const auto t0 = std::chrono::steady_clock::now();
    zurdata::Store files, db;
    zurdata::ParseStore("sqlite", files);
    zurdata::ParseStore(f.conninfo, db);
    if (zurdata::Copy(f.root, {zurdata::Kind::kReceipts}, files, db, false, out, err) != 0) {
      std::fprintf(stderr, "%s", err.str().c_str());
      std::abort();
    }
    f.copySeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    // A fresh table has no statistics yet; the module's server would have them.
    f.table =
        platform::RecordFileSchema(platform::RecordFileKey(f.root + "DADES/CobramH.dat", f.root)) +
        ".records";
    Exec(f.conninfo, "VACUUM ANALYZE " + f.table);
    return f;
  }();
  return fixture;
}

// Walks every receipt through the layer on the database ("" : on the SQLite files).
long LayerWalk(const std::string& database) {
  platform::SetRecordManagerDatabase(database.c_str());
  platform::SetRecordManagerRoot(Data().root.c_str());
  return bench_receipts::LayerWalk(Data().root);
}

// The same walk straight with libpq: a cursor over the key column's index, fetched in
// batches, each record copied out.
long PostgresWalk() {
  const Fixture& f = Data();
  PGconn* c = PQconnectdb(f.conninfo.c_str());
  long n = 0;
  long checksum = 0;
  std::array<char, 24> buffer{};
  PQclear(PQexec(c, "BEGIN"));
  PQclear(PQexec(c, ("DECLARE walk BINARY NO SCROLL CURSOR FOR SELECT data FROM " + f.table +
                     " ORDER BY k0, pos")
                        .c_str()));
  for (;;) {
    PGresult* r = PQexec(c, "FETCH 1000 FROM walk");
    const int rows = PQresultStatus(r) == PGRES_TUPLES_OK ? PQntuples(r) : 0;
    for (int i = 0; i < rows; ++i) {
      const size_t length = static_cast<size_t>(PQgetlength(r, i, 0));
      std::memcpy(buffer.data(), PQgetvalue(r, i, 0), std::min(length, buffer.size()));
      checksum += buffer[21];
      ++n;
    }
    PQclear(r);
    if (rows == 0) break;
  }
  PQclear(PQexec(c, "COMMIT"));
  PQfinish(c);
  benchmark::DoNotOptimize(checksum);
  return n;
}

long SqliteWalk() {
  return bench_receipts::SqliteWalk(Data().dataFile);
}

bool Ready(benchmark::State& state) {
  if (Data().server.empty()) {
    state.SkipWithError("ZUR_TEST_PG is not set: no PostgreSQL server to measure");
    return false;
  }
  return true;
}

void BM_PostgresLayerWalk(benchmark::State& state) {
  if (!Ready(state)) return;
  for (auto _ : state) {
    if (LayerWalk(Data().conninfo) != kRecords) state.SkipWithError("walk missed records");
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_PostgresLayerWalk)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PostgresCursorWalk(benchmark::State& state) {
  if (!Ready(state)) return;
  for (auto _ : state) {
    if (PostgresWalk() != kRecords) state.SkipWithError("walk missed records");
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_PostgresCursorWalk)->Unit(benchmark::kMillisecond)->Iterations(3);

// Both engines, one after the other in each iteration: the layer's walk and the direct
// walk, and their ratios.
void BM_WalkRatio(benchmark::State& state) {
  if (!Ready(state)) return;
  double pgLayer = 0, pgDirect = 0, sqLayer = 0, sqDirect = 0;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    LayerWalk(Data().conninfo);
    auto t1 = std::chrono::steady_clock::now();
    PostgresWalk();
    auto t2 = std::chrono::steady_clock::now();
    LayerWalk("");
    auto t3 = std::chrono::steady_clock::now();
    SqliteWalk();
    auto t4 = std::chrono::steady_clock::now();
    pgLayer += std::chrono::duration<double>(t1 - t0).count();
    pgDirect += std::chrono::duration<double>(t2 - t1).count();
    sqLayer += std::chrono::duration<double>(t3 - t2).count();
    sqDirect += std::chrono::duration<double>(t4 - t3).count();
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["pg_layer_s"] = pgLayer / n;
  state.counters["pg_cursor_s"] = pgDirect / n;
  state.counters["pg_ratio"] = pgLayer / pgDirect;
  state.counters["sqlite_layer_s"] = sqLayer / n;
  state.counters["sqlite_direct_s"] = sqDirect / n;
  state.counters["sqlite_ratio"] = sqLayer / sqDirect;
  state.counters["copy_to_pg_s"] = Data().copySeconds;
}
BENCHMARK(BM_WalkRatio)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Fixture& f = Data();
  int16_t status = 0;
  records::ResetRecordManager(status);
  if (!f.database.empty())
    Exec(f.server, "DROP DATABASE IF EXISTS " + f.database + " WITH (FORCE)");
  if (!f.root.empty()) std::filesystem::remove_all(f.root);
  return 0;
}
