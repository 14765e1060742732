// The lookup window over 100,000 owners: how long it takes to open (the first page is
// read, nothing more) and to page through the list, on the in-memory console.
//   bench_forms_lookup [--benchmark_filter=...]
// BM_LookupOpen: open the window over the whole file and leave with Enter.
// BM_LookupPageDown: open, PgDn 50 times, Enter; the time per PgDn is reported.
// BM_LookupPageUp: open, PgDn 50 times, PgUp 50 times, Enter (scrolling back reads the
// work file only).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "console/console_state.h"
#include "forms/form_model.h"
#include "forms/keys.h"
#include "forms/lookup.h"
#include "platform/packed_digits.h"
#include "platform/path.h"
#include "platform/record_file_spec.h"
#include "platform/record_manager.h"
#include "platform/terminal.h"
#include "platform/terminal_memory.h"
#include "records/record_access.h"
#include "records/record_files.h"
#include "records/record_layouts.h"
#include "session/session.h"

namespace {

constexpr int kOwners = 100000;
constexpr int16_t kOwnerLookup = 3;

std::string Packed(int number) {
  char digits[8];
  std::snprintf(digits, sizeof digits, "%04d", number);
  return platform::PackDigits(digits);
}

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "bench_forms_lookup: %s\n", what);
    std::exit(1);
  }
}

void MakeOwners(const std::string& root) {
  const records::RecordFileInfo& file = records::kOwnersFile;
  platform::MakeDirectories(root + "DADES");
  const std::string path = platform::ResolvePath(root + std::string(file.name) + ".dat");
  std::string spec = platform::EncodeFileSpec(records::CreationSpec(file));
  std::array<uint8_t, 256> key{};
  std::memcpy(key.data(), path.data(), path.size());
  uint32_t n = static_cast<uint32_t>(spec.size());
  Check(platform::BTRCALL(platform::kOpCreate, nullptr, spec.data(), &n, key.data(),
                          static_cast<uint8_t>(path.size()), 0) == 0,
        "create");
  std::array<uint8_t, platform::kPositionBlockSize> block{};
  Check(platform::BTRCALL(platform::kOpOpen, block.data(), nullptr, nullptr, key.data(),
                          static_cast<uint8_t>(path.size()), 0) == 0,
        "open");
  platform::BTRCALL(platform::kOpBeginTransaction, block.data(), nullptr, nullptr, nullptr, 0, 0);
  records::OwnerRecord::Buffer b;
  for (int i = 0; i < kOwners; ++i) {
    b.fill(' ');
    records::SetFieldText(b, records::OwnerRecord::ownerCode,
                          Packed(1 + i / 10000) + Packed(i % 10000));
    records::SetFieldText(b, records::OwnerRecord::ownerName,
                          "Propietari " + std::to_string(i) + "*Nom");
    records::SetFieldText(b, records::OwnerRecord::unit, std::to_string(i % 40) + "a");
    n = static_cast<uint32_t>(b.size());
    std::array<uint8_t, 256> k{};
    Check(platform::BTRCALL(platform::kOpInsert, block.data(), b.data(), &n, k.data(), 255, 0) == 0,
          "insert");
  }
  platform::BTRCALL(platform::kOpEndTransaction, block.data(), nullptr, nullptr, nullptr, 0, 0);
  platform::BTRCALL(platform::kOpClose, block.data(), nullptr, nullptr, nullptr, 0, 0);
}

std::string FormFile() {
  std::string text = "1,15\r\n\"d,1b\",15,0,0,0,0,0\r\n";
  for (int i = 0; i < 15; ++i) {
    text += "25," + std::to_string(1 + 5 * i) + ",\"\",4,0,0,4,0,0,\"\"\r\n";
  }
  text += "3\r\n";
  for (int i = 0; i < 3; ++i) text += "513,0,2,5,24,75,0,\"Propietaris\",0\r\n";
  return text;
}

// The whole owners file, from its first record.
int16_t WholeFile(int16_t, std::string& startKey, std::string& bound) {
  startKey.clear();
  bound.clear();
  return 0;
}

struct Fixture {
  std::string root;
  platform::MemoryTerminal* terminal = nullptr;
  records::OwnerRecord::Buffer buffer{};
};

bool& DataMade() {
  static bool made = false;
  return made;
}

Fixture& Data() {
  static Fixture f = [] {
    DataMade() = true;
    Fixture x;
    char pattern[] = "/tmp/zurbench-XXXXXX";
    x.root = std::string(::mkdtemp(pattern)) + "/";
    MakeOwners(x.root);
    auto terminal = std::make_unique<platform::MemoryTerminal>();
    x.terminal = terminal.get();
    platform::InstallTerminal(std::move(terminal));
    session::SessionContext& s = session::Session();
    s.workDir = x.root;
    s.terminalDir = x.root;
    s.languageCode = "CAT";
    const std::string form = x.root + "FORM.ZPN";
    std::FILE* out = std::fopen(form.c_str(), "wb");
    Check(out != nullptr, "form file");
    const std::string text = FormFile();
    std::fwrite(text.data(), 1, text.size(), out);
    std::fclose(out);
    std::string message;
    Check(forms::LoadFormDefinitionFrom(form, message) == forms::kFormLoaded, "form");
    forms::LookupHooks hooks{};
    hooks.startKey = WholeFile;
    forms::SetLookupHooks(hooks);
    return x;
  }();
  return f;
}

void OpenOwners(Fixture& f) {
  int16_t status = 0;
  records::OpenRecordFile(records::kOwnersFile.fileNumber,
                          f.root + std::string(records::kOwnersFile.name), f.buffer, status);
  Check(status == 0, "open owners");
}

void RunWindow(Fixture& f, int pageDowns, int pageUps) {
  for (int i = 0; i < pageDowns; ++i) f.terminal->PushScan(platform::scan::kPageDown);
  for (int i = 0; i < pageUps; ++i) f.terminal->PushScan(platform::scan::kPageUp);
  f.terminal->PushCharacter(13);
  int16_t lookup = kOwnerLookup;
  int16_t result = -1;
  forms::LookupWindow(lookup, result);
  Check(result == 0 && !f.terminal->Starved(), "lookup");
}

void BM_LookupOpen(benchmark::State& state) {
  Fixture& f = Data();
  OpenOwners(f);
  for (auto _ : state) RunWindow(f, 0, 0);
  int16_t status = 0;
  records::ResetRecordManager(status);
  records::ResetRecordAccessState();
}
BENCHMARK(BM_LookupOpen)->Unit(benchmark::kMillisecond);

void BM_LookupPageDown(benchmark::State& state) {
  Fixture& f = Data();
  OpenOwners(f);
  for (auto _ : state) RunWindow(f, 50, 0);
  state.SetItemsProcessed(50 * state.iterations());  // PgDn per second
  int16_t status = 0;
  records::ResetRecordManager(status);
  records::ResetRecordAccessState();
}
BENCHMARK(BM_LookupPageDown)->Unit(benchmark::kMillisecond);

void BM_LookupPageUp(benchmark::State& state) {
  Fixture& f = Data();
  OpenOwners(f);
  for (auto _ : state) RunWindow(f, 50, 50);
  int16_t status = 0;
  records::ResetRecordManager(status);
  records::ResetRecordAccessState();
}
BENCHMARK(BM_LookupPageUp)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  // The owners file and the work files go with the run.
  int16_t status = 0;
  records::ResetRecordManager(status);
  std::error_code ec;
  if (DataMade()) std::filesystem::remove_all(Data().root, ec);
  return 0;
}
