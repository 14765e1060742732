// Print program speed: a 1,000-page letter spool and a 10,000-label spool (625 pages of
// 16 labels), each written as the letter module writes them and printed to PDF from end
// to end (both passes over the spool, the PDF written to disk). Also the layout alone
// and the plain-text output of the label spool.
//
//   build/default/bench/bench_zurprint_render --benchmark_counters_tabular=true

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "print/spool.h"
#include "session/session.h"
#include "tools/zurprint/page_layout.h"
#include "tools/zurprint/print_job.h"

namespace {

// A folder of its own for the spools and outputs, removed at exit.
const std::string& WorkDir() {
  static const std::string dir = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "zurbench-XXXXXX").string();
    std::string made = ::mkdtemp(pattern.data()) ? pattern + "/" : std::string("./");
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(WorkDir(), ec);
    });
    return made;
  }();
  return dir;
}

bool OpenSpoolAt(const std::string& name) {
  session::ResetSession();
  print::ResetSpool();
  session::Session().workDir = WorkDir();
  if (!print::OpenSpool("PDF:" + WorkDir() + name + ".pdf")) return false;
  return true;
}

void SpoolLine(int16_t start, const std::string& code, const std::string& text) {
  print::SpoolText(start, "", 0);
  std::string c = code;
  print::SpoolJustify(c);
  print::SpoolText(0, text, 1);
}

// One letter per page: heading, address, date, title, 44 lines of justified text with a
// bold phrase in every fourth line, a filled line and the signature.
std::string WriteLetterSpool(int letters) {
  const std::string name = "letters" + std::to_string(letters);
  if (!OpenSpoolAt(name)) return {};
  const std::string body =
      "Li  comuniquem  que, segons els nostres registres, teniu rebuts pendents de pagament";
  for (int n = 1; n <= letters; ++n) {
    print::SpoolPage(66);
    print::SpoolCommand("@");
    print::SpoolCommand("e");
    print::SpoolText(0, "", 4);
    std::string ref = "Ref. 0012/" + std::to_string(1000 + n);
    print::SpoolText(static_cast<int16_t>(95 - ref.size()), ref, 2);
    SpoolLine(50, "E", "Propietari n\xa3mero " + std::to_string(n));
    SpoolLine(50, "E", "C. de la Pau, " + std::to_string(n % 200) + ", 2n 1a");
    SpoolLine(50, "E", "17001 Girona");
    SpoolLine(10, "D", std::string(48, ' ') + "Girona, 3 de mar\x87 de 2025");
    SpoolLine(10, "C", std::string(26, ' ') + "AV\xd6S DE REBUTS PENDENTS" + std::string(27, ' '));
    for (int line = 0; line < 44; ++line) {
      std::string text = body.substr(0, 76);
      if (line % 4 == 1) {
        print::SpoolText(10, "", 0);
        std::string a = "A";
        print::SpoolJustify(a);
        print::SpoolText(0, text.substr(0, 30), 0);
        print::SpoolCommand("b");
        print::SpoolJustify(a);
        print::SpoolText(0, text.substr(30, 20), 0);
        print::SpoolCommand("b");
        print::SpoolJustify(a);
        print::SpoolText(0, text.substr(50), 1);
      } else {
        SpoolLine(10, "A", text);
      }
    }
    SpoolLine(10, "N 86 \\-\\", "Import pendent");
    SpoolLine(10, "D", std::string(68, ' ') + "312,45 \xd5");
    print::SpoolCommand("u");
    SpoolLine(10, "E", "L'administrador");
    print::SpoolCommand("u");
  }
  print::CloseSpool();
  return WorkDir() + "zurprint.tmp";
}

// Labels of 45 columns and 9 lines, 16 to a page, in rows of two written in pieces at
// columns 1, 46 and 91.
std::string WriteLabelSpool(int labels) {
  const std::string name = "labels" + std::to_string(labels);
  if (!OpenSpoolAt(name)) return {};
  const int width = 45, lines = 9, pageLength = 72;
  std::vector<std::string> row(static_cast<size_t>(lines));
  bool pageOpen = false;
  int inRow = 0;
  auto printRow = [&] {
    if (!pageOpen) {
      pageOpen = true;
      print::SpoolPage(pageLength);
      print::SpoolCommand("@e");
    }
    for (std::string& text : row) {
      std::string cut = text.substr(0, 96);
      for (int c = 1; c <= 96; c += width) {
        size_t at = static_cast<size_t>(c - 1);
        print::SpoolText(static_cast<int16_t>(c), at < cut.size() ? cut.substr(at, width) : "", 0);
      }
      print::SpoolText(0, "", 1);
      text.clear();
    }
    inRow = 0;
    int count = print::Spool().lineCount;
    pageOpen = count > 0 && count < pageLength;
  };
  for (int n = 1; n <= labels; ++n) {
    std::string block[5] = {"H" + std::to_string(100000 + n),
                            "Mart\xa1 Soler G\x81"
                            "ell " +
                                std::to_string(n),
                            "Avinguda Catalunya, " + std::to_string(n % 300) + " 1r 2a",
                            "08240 Manresa", "Barcelona"};
    for (int i = 0; i < 5; ++i) {
      std::string label(static_cast<size_t>(width), ' ');
      if (i == 0) {
        std::string ref = block[0] + "       ";
        label.replace(label.size() - ref.size(), ref.size(), ref);
      } else {
        label.replace(0, block[i].size(), block[i]);
      }
      row[static_cast<size_t>(i)] += label;
    }
    if (++inRow == 2) printRow();
  }
  if (inRow != 0) printRow();
  print::CloseSpool();
  return WorkDir() + "zurprint.tmp";
}

void PrintToPdf(benchmark::State& state, const std::string& spool, long expectedPages) {
  const std::string kept = spool + ".kept";
  std::filesystem::rename(spool, kept);
  for (auto _ : state) {
    zurprint::PrintOutcome r = zurprint::PrintSpool(kept, WorkDir());
    if (r.exitCode != 0) {
      state.SkipWithError(r.message.c_str());
      break;
    }
  }
  state.counters["pages"] = static_cast<double>(expectedPages);
  state.counters["pages/s"] = benchmark::Counter(static_cast<double>(expectedPages),
                                                 benchmark::Counter::kIsIterationInvariantRate);
  std::filesystem::remove(kept);
}

void BM_LetterSpool1000PagesToPdf(benchmark::State& state) {
  PrintToPdf(state, WriteLetterSpool(1000), 1000);
}
BENCHMARK(BM_LetterSpool1000PagesToPdf)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LabelSpool10000LabelsToPdf(benchmark::State& state) {
  PrintToPdf(state, WriteLabelSpool(10000), 625);
}
BENCHMARK(BM_LabelSpool10000LabelsToPdf)->Unit(benchmark::kMillisecond)->UseRealTime();

class CountingSink : public zurprint::PageSink {
 public:
  void BeginPage(int) override {}
  void DrawCells(int, int, const zurprint::Cell*, size_t count) override { cells += count; }
  void EndPage() override {}
  size_t cells = 0;
};

void BM_LabelSpool10000LabelsLayoutOnly(benchmark::State& state) {
  std::string spool = WriteLabelSpool(10000);
  for (auto _ : state) {
    CountingSink sink;
    zurprint::SpoolSummary summary;
    std::string reason;
    if (!zurprint::ReadSpool(spool, sink, summary, reason)) {
      state.SkipWithError(reason.c_str());
      break;
    }
    benchmark::DoNotOptimize(sink.cells);
  }
  state.counters["pages/s"] =
      benchmark::Counter(625, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_LabelSpool10000LabelsLayoutOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
