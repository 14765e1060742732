// Hostile letter templates and field files: a fuzzed template (which may include a
// second fuzzed one, or itself) merged with a fuzzed merge.tmp into the spool. The
// merge ends with one of its own outcomes, and the print program reads every spool it
// writes; any crash, hang or sanitizer report is a fault.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "app/letter_state.h"
#include "app/letter_status.h"
#include "app/template_merge.h"
#include "format/format_state.h"
#include "format/number_mask.h"
#include "fuzz/fuzz_support.h"
#include "platform/clock.h"
#include "print/spool.h"
#include "session/session.h"
#include "tools/zurprint/page_layout.h"
#include "tools/zurprint/print_job.h"

namespace {

using fuzz_support::Check;

// Checks what the print program's layout hands a renderer.
class CountingSink : public zurprint::PageSink {
 public:
  void BeginPage(int lines) override { Check(lines >= 1 && lines <= zurprint::kMaxPageLines); }
  void DrawCells(int, int, const zurprint::Cell*, size_t count) override { Check(count > 0); }
  void EndPage() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string& dir = fuzz_support::PrivateDir();
  fuzz_support::MakeFolder(dir + "TEXTOS");
  fuzz_support::MakeFolder(dir + "TMP");
  session::ResetSession();
  session::SessionContext& s = session::Session();
  s.rootDir = dir;
  s.workDir = dir + "TMP/";
  s.languageCode = "CAT";
  format::ResetFormatState();
  format::SetCurrency("a,E");
  platform::SetToday(platform::CalendarDate{2026, 3, 15});
  print::ResetSpool();
  app::ResetLetterState();

  const bool withFields = in.ConsumeBool();
  const std::string fields = in.ConsumeRandomLengthString(4096);
  const std::string included = in.ConsumeRandomLengthString(4096);
  const std::string letter = in.ConsumeRemainingBytesAsString();
  fuzz_support::WriteBytes(dir + "TEXTOS/FUZZ.txt", letter);
  fuzz_support::WriteBytes(dir + "TEXTOS/INC.txt", included);
  fuzz_support::WriteBytes(s.workDir + "merge.tmp", fields);

  Check(print::OpenSpool(""));
  const app::LetterProblem problem =
      app::MergeTemplate("FUZZ", withFields ? s.workDir + "merge.tmp" : std::string());
  Check(problem.status == app::kLetterOk || problem.status == app::kTemplateNotFound ||
        problem.status == app::kIncludesTooDeep);
  Check(print::CloseSpool());

  CountingSink sink;
  zurprint::SpoolSummary summary;
  std::string reason;
  if (!zurprint::ReadSpool(s.workDir + "zurprint.tmp", sink, summary, reason)) {
    std::fprintf(stderr, "the print program refuses the spool: %s\n", reason.c_str());
    std::abort();
  }

  print::ResetSpool();
  app::ResetLetterState();
  platform::SetToday(std::nullopt);
  return 0;
}
