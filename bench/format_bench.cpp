// Speed of the formatting calls a letter makes for every owner: masks, amounts,
// dates in words, amounts in words and the layout of a paragraph. The user settings
// are read once, at the first call, before any timing starts.

#include <benchmark/benchmark.h>

#include <string>

#include "format/date_text.h"
#include "format/format_state.h"
#include "format/number_mask.h"
#include "format/packed_date.h"
#include "format/text.h"
#include "format/words.h"
#include "session/session.h"

namespace {

void Prepare(const char* language) {
  format::ResetFormatState();
  format::SetCurrency("a,E");
  session::Session().languageCode = language;
  // First use: the settings file is read here, outside the timed loops.
  benchmark::DoNotOptimize(format::FormatMask("9", 0));
  benchmark::DoNotOptimize(format::DateText(format::PackDigits("20260315"), 0, "dma"));
}

void BM_FormatMask(benchmark::State& state) {
  Prepare("CAT");
  const double values[] = {1234567.891, -12.5, 0, 987.654};
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(format::FormatMask("Z,ZZZ,ZZ9.99-", values[i++ & 3]));
  }
}
BENCHMARK(BM_FormatMask);

void BM_AmountText(benchmark::State& state) {
  Prepare("CAT");
  const double cents[] = {123450, -123450, 0, 99999999};
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(format::AmountText("Z,ZZZ,ZZZ,ZZ9-", cents[i++ & 3]));
  }
}
BENCHMARK(BM_AmountText);

void BM_DateTextInWords(benchmark::State& state) {
  Prepare("CAT");
  const std::string dates[] = {format::PackDigits("20260315"), format::PackDigits("20260401"),
                               format::PackDigits("19991231"), format::PackDigits("20261009")};
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(format::DateText(dates[i++ & 3], 2, "dma"));
  }
}
BENCHMARK(BM_DateTextInWords);

void BM_AmountInWords(benchmark::State& state) {
  Prepare(state.range(0) == 0 ? "CAT" : "GLG");
  const double cents[] = {123456789, 100050, 1, 99999999999};
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(format::AmountInWords(cents[i++ & 3], "e"));
  }
}
BENCHMARK(BM_AmountInWords)->Arg(0)->Arg(1);

// A 400-character paragraph with printer codes, laid out 76 wide (the message
// window) or 60 wide justified (a letter column).
void BM_LayoutText(benchmark::State& state) {
  Prepare("CAT");
  std::string paragraph;
  const std::string words[] = {"Benvolgut",      "propietari,", "us", "comuniquem", "que",
                               "\x10rebuts\x10", "pendents",    "de", "l'edifici",  "administrat"};
  for (size_t i = 0; paragraph.size() < 400; ++i) {
    paragraph += words[i % 10];
    paragraph += ' ';
  }
  paragraph.resize(400);
  const int16_t width = state.range(0) == 0 ? 76 : 60;
  const char* align = state.range(0) == 0 ? "i" : "A";
  for (auto _ : state) {
    std::string text = paragraph;
    format::LayoutText(text, 3, width, align);
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_LayoutText)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
