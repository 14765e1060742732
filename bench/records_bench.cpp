// Record access over 1,000,000 receipts: SeekRecord + StepRecord through the record
// access layer against the same walk done straight on SQLite (a prepared SELECT over
// the key column, stepped), and a zurdata import of 1,000,000 receipts.
//   bench_records_bench [--benchmark_filter=...]
// BM_WalkRatio reports both walks of one run and their ratio (goal: within 3x).

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>

#include "platform/path.h"
#include "platform/record_status.h"
#include "records/record_access.h"
#include "records/record_layouts.h"
#include "session/session.h"
#include "tools/zurdata/data_tool.h"

namespace {

constexpr int kRecords = 1000000;

struct Fixture {
  std::string root;
  std::string csv;
  std::string dataFile;
};

std::string MakeCsv(const std::string& path) {
  std::string csv = "property,owner,date,amount,state\n";
  csv.reserve(40u * kRecords);
  for (int i = 0; i < kRecords; ++i) {
    const int property = i % 9000, owner = (i / 9000) % 10000;
    const int month = i % 12 + 1, day = i % 28 + 1;
    csv += std::to_string(property) + "," + std::to_string(owner) + ",2024-" +
           (month < 10 ? "0" : "") + std::to_string(month) + "-" + (day < 10 ? "0" : "") +
           std::to_string(day) + "," + std::to_string(i % 100000) + ".25," + (i % 3 ? "P" : "C") +
           "\n";
  }
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  std::fwrite(csv.data(), 1, csv.size(), f);
  std::fclose(f);
  return path;
}

// A root with the receipts file filled once per run.
const Fixture& Data() {
  static Fixture fixture = [] {
    Fixture f;
    char pattern[] = "/tmp/zurbench-XXXXXX";
    f.root = std::string(::mkdtemp(pattern)) + "/";
    f.csv = MakeCsv(f.root + "receipts.csv");
    std::ostringstream out, err;
    if (zurdata::Init(f.root, out, err) != 0 ||
        zurdata::Import(f.root, zurdata::Kind::kReceipts, f.csv, false, false, out, err) != 0) {
      std::fprintf(stderr, "%s", err.str().c_str());
      std::abort();
    }
    f.dataFile = platform::ResolvePath(f.root + "DADES/CobramH.dat");
    return f;
  }();
  return fixture;
}

// Walks every receipt through the layer; returns the number of records read.
long LayerWalk() {
  const Fixture& f = Data();
  int16_t status = 0;
  records::ResetRecordManager(status);
  records::ResetRecordAccessState();
  session::Session().rootDir = f.root;
  static records::ReceiptRecord::Buffer buffer{};
  records::OpenRecordFile(514, f.root + "DADES\\CobramH", buffer, status);
  long n = 0;
  long checksum = 0;
  records::SeekRecord(514, 0, "", 1, status);
  while (status == 0) {
    ++n;
    checksum += buffer[21];
    records::StepRecord(514, 1, status);
  }
  benchmark::DoNotOptimize(checksum);
  records::ResetRecordManager(status);
  return n;
}

// The same walk straight on SQLite: the key column's index, stepped row by row, each
// record copied out.
long SqliteWalk() {
  sqlite3* db = nullptr;
  sqlite3_open_v2(Data().dataFile.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(db, "SELECT data FROM records ORDER BY k0, pos", -1, &s, nullptr);
  std::array<char, 24> buffer{};
  long n = 0;
  long checksum = 0;
  while (sqlite3_step(s) == SQLITE_ROW) {
    std::memcpy(buffer.data(), sqlite3_column_blob(s, 0),
                static_cast<size_t>(sqlite3_column_bytes(s, 0)));
    checksum += buffer[21];
    ++n;
  }
  benchmark::DoNotOptimize(checksum);
  sqlite3_finalize(s);
  sqlite3_close(db);
  return n;
}

void BM_LayerWalk(benchmark::State& state) {
  Data();
  for (auto _ : state) {
    if (LayerWalk() != kRecords) state.SkipWithError("walk did not see every record");
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_LayerWalk)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SqliteWalk(benchmark::State& state) {
  Data();
  for (auto _ : state) {
    if (SqliteWalk() != kRecords) state.SkipWithError("walk did not see every record");
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_SqliteWalk)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_WalkRatio(benchmark::State& state) {
  Data();
  double layer = 0, direct = 0;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    LayerWalk();
    auto t1 = std::chrono::steady_clock::now();
    SqliteWalk();
    auto t2 = std::chrono::steady_clock::now();
    layer += std::chrono::duration<double>(t1 - t0).count();
    direct += std::chrono::duration<double>(t2 - t1).count();
  }
  state.counters["layer_s"] = layer / static_cast<double>(state.iterations());
  state.counters["sqlite_s"] = direct / static_cast<double>(state.iterations());
  state.counters["ratio"] = layer / direct;
}
BENCHMARK(BM_WalkRatio)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Import(benchmark::State& state) {
  const Fixture& f = Data();
  for (auto _ : state) {
    state.PauseTiming();
    char pattern[] = "/tmp/zurbench-import-XXXXXX";
    const std::string root = std::string(::mkdtemp(pattern)) + "/";
    std::ostringstream out, err;
    zurdata::Init(root, out, err);
    state.ResumeTiming();
    if (zurdata::Import(root, zurdata::Kind::kReceipts, f.csv, false, false, out, err) != 0) {
      state.SkipWithError(err.str().c_str());
    }
    state.PauseTiming();
    std::filesystem::remove_all(root);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_Import)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (!Data().root.empty()) std::filesystem::remove_all(Data().root);
  return 0;
}
