// Record access over 1,000,000 receipts: SeekRecord + StepRecord through the record
// access layer against the same walk done straight on SQLite (a prepared SELECT over
// the key column, stepped), and a zurdata import of 1,000,000 receipts.
//   bench_records_bench [--benchmark_filter=...]
// BM_WalkRatio reports both walks of one run and their ratio (goal: within 3x).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "bench/receipts_walk.h"
#include "platform/path.h"
#include "platform/record_status.h"
#include "records/record_access.h"
#include "records/record_layouts.h"
#include "session/session.h"
#include "tools/zurdata/data_tool.h"

namespace {

constexpr int kRecords = bench_receipts::kReceipts;

struct Fixture {
  std::string root;
  std::string csv;
  std::string dataFile;
};

// A root with the receipts file filled once per run.
const Fixture& Data() {
  static Fixture fixture = [] {
    Fixture f;
    char pattern[] = "/tmp/zurbench-XXXXXX";
    f.root = std::string(::mkdtemp(pattern)) + "/";
    f.csv = f.root + "receipts.csv";
    bench_receipts::WriteReceiptsCsv(f.csv);
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

// The walks over this run's installation.
long LayerWalk() {
  return bench_receipts::LayerWalk(Data().root);
}

long SqliteWalk() {
  return bench_receipts::SqliteWalk(Data().dataFile);
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
