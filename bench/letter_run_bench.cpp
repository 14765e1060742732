// The letter run over generated installations of 1,000 and 10,000 owners (ten
// receipts each), through the real record files and spool: a full letter run with the
// demo reminder template (RECORDA), and a full label run.
//   bench_letter_run_bench [--benchmark_filter=...]
// Counters: letters/s or labels/s, and the run's peak resident memory (peak_kb, the
// process's high-water mark reset just before the run) and its growth over the
// memory in use before it (growth_kb).

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "app/field_file.h"
#include "app/letter_files.h"
#include "app/letter_run.h"
#include "app/letter_selection.h"
#include "app/letter_state.h"
#include "app/pending_receipts.h"
#include "app/template_merge.h"
#include "bench/letter_installation.h"
#include "format/format_state.h"
#include "format/number_mask.h"
#include "print/spool.h"
#include "records/record_access.h"
#include "records/record_layouts.h"
#include "session/session.h"

namespace {

// The installation of a size, made once per process; the record files of the one in
// use stay open.
// Installations made by this process, removed when it ends.
struct Installations {
  std::map<int, std::string> roots;
  ~Installations() {
    std::error_code ec;
    for (const auto& [owners, root] : roots) std::filesystem::remove_all(root, ec);
  }
};

const std::string& Installation(int owners) {
  static Installations made;
  std::map<int, std::string>& roots = made.roots;
  auto it = roots.find(owners);
  if (it != roots.end()) return it->second;
  char pattern[] = "/tmp/zurletters-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) std::abort();
  const std::string root = std::string(pattern) + "/";
  letter_bench::MakeInstallation(ZUR_SOURCE_DIR, root, owners);
  return roots.emplace(owners, root).first->second;
}

void UseInstallation(int owners) {
  static int current = 0;
  if (current == owners) return;
  const std::string& root = Installation(owners);
  int16_t status = 0;
  records::ResetRecordManager(status);
  records::ResetRecordAccessState();
  ::setenv("ZURROOT", root.c_str(), 1);
  ::setenv("ZURTMP", (root + "TMP/").c_str(), 1);
  session::LoadSession();
  format::ResetFormatState();
  format::SetCurrency("a,E");
  app::ResetLetterState();
  if (app::OpenLetterFiles() != 0) std::abort();
  current = owners;
}

// Resident memory figures of the process, in kB, from /proc/self/status.
long StatusKb(const char* field) {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (f == nullptr) return -1;
  char line[256];
  long value = -1;
  const size_t n = std::strlen(field);
  while (std::fgets(line, sizeof line, f) != nullptr) {
    if (std::strncmp(line, field, n) == 0 && line[n] == ':') value = std::atol(line + n + 1);
  }
  std::fclose(f);
  return value;
}

// Sets the high-water mark of resident memory back to what is resident now.
void ResetPeakMemory() {
  std::FILE* f = std::fopen("/proc/self/clear_refs", "w");
  if (f == nullptr) return;
  std::fputs("5", f);
  std::fclose(f);
}

app::SelectionFieldValues Fields(bool letters) {
  return {"15/03/2026", "RECORDA ", "1  ", "0  ",        "9999",       "9999",
          "T",          "1  ",      "99 ", "1         ", "2000000000", letters ? "C" : "E",
          "45 ",        "9  ",      "16 "};
}

void RunBatch(benchmark::State& state, bool letters) {
  const int owners = static_cast<int>(state.range(0));
  UseInstallation(owners);
  app::StoreLetterSelection(Fields(letters));
  long peak = 0, growth = 0;
  int64_t items = 0;
  for (auto _ : state) {
    ResetPeakMemory();
    const long before = StatusKb("VmRSS");
    if (!print::OpenSpool("")) std::abort();
    const app::LetterRunResult result = app::LetterRun();
    if (!print::CloseSpool() || result.status != app::kLetterOk) {
      state.SkipWithError(app::LetterProblemMessage({result.status, result.name}).c_str());
      return;
    }
    items += letters ? result.counts.lettersWritten : result.counts.labelsWritten;
    peak = std::max(peak, StatusKb("VmHWM"));
    growth = std::max(growth, StatusKb("VmHWM") - before);
  }
  state.SetItemsProcessed(items);
  state.counters[letters ? "letters/s" : "labels/s"] =
      benchmark::Counter(static_cast<double>(items), benchmark::Counter::kIsRate);
  state.counters["peak_kb"] = static_cast<double>(peak);
  state.counters["growth_kb"] = static_cast<double>(growth);
}

void BM_LetterRun(benchmark::State& state) {
  RunBatch(state, true);
}

// The steps of one letter, for one owner of the 1,000-owner installation: counting its
// receipts, writing its field file, and merging the reminder template with it.
void PrepareOneOwner() {
  UseInstallation(1000);
  app::StoreLetterSelection(Fields(true));
  int16_t status = 0;
  records::SeekRecord(records::kPropertiesFile.fileNumber, 0, "\x80\x81", 0, status);
  records::SeekRecord(records::kOwnersFile.fileNumber, 0, "\x80\x81\x80\x81", 0, status);
  if (status != 0) std::abort();
  app::BuildAddressBlock();
  app::PendingReceipts(nullptr);
}

void BM_CountReceipts(benchmark::State& state) {
  PrepareOneOwner();
  for (auto _ : state) app::PendingReceipts(nullptr);
}

void BM_WriteFieldFile(benchmark::State& state) {
  PrepareOneOwner();
  for (auto _ : state) {
    if (app::WriteFieldFile().status != app::kLetterOk) std::abort();
  }
}

void BM_MergeLetter(benchmark::State& state) {
  PrepareOneOwner();
  if (app::WriteFieldFile().status != app::kLetterOk) std::abort();
  if (!print::OpenSpool("")) std::abort();
  const std::string fieldFile = app::FieldFilePath();
  for (auto _ : state) {
    if (app::MergeTemplate("RECORDA", fieldFile).status != app::kLetterOk) std::abort();
  }
  print::CloseSpool();
}

BENCHMARK(BM_CountReceipts)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteFieldFile)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MergeLetter)->Unit(benchmark::kMicrosecond);
void BM_LabelRun(benchmark::State& state) {
  RunBatch(state, false);
}

BENCHMARK(BM_LetterRun)
    ->Arg(1000)
    ->Arg(10000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_LabelRun)
    ->Arg(1000)
    ->Arg(10000)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
