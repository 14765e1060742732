// One label batch, run the way the module runs it once the operator has confirmed the
// selection: the session comes from the environment (ZURROOT, ZURTMP, ...), the four
// record files are opened under rootDir, the spool workDir + zurprint.tmp is opened for
// the session's output device, and LetterRun writes one label for every owner of every
// property (no pending receipt needed, no lowest total), WIDTH columns by 9 lines, 16 to a
// page, two across. Printing the spool is left to the caller (bench/labels_vs_glabels.sh
// runs the real print program on it).
//
//   bench_label_batch [WIDTH]        WIDTH 1 .. 96, default 45
//
// Prints the owners read, the labels written and the run's wall time; exit code 0, or
// 1 with the reason.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/letter_files.h"
#include "app/letter_run.h"
#include "app/letter_selection.h"
#include "app/letter_state.h"
#include "app/letter_status.h"
#include "format/number_mask.h"
#include "print/spool.h"
#include "records/record_access.h"
#include "session/session.h"

namespace {

int Fail(const std::string& why) {
  std::fprintf(stderr, "bench_label_batch: %s\n", why.c_str());
  return 1;
}

// The selection screen's fields for a label batch that keeps every owner.
app::SelectionFieldValues EveryOwner(const std::string& width) {
  std::string w = width;
  w.resize(3, ' ');
  return {"15/03/2026", "        ",   "1  ",        "0  ", "9999", "9999", "T",  "0  ",
          "99 ",        "0         ", "2000000000", "E",   w,      "9  ",  "16 "};
}

}  // namespace

int main(int argc, char** argv) {
  std::string width = "45";
  if (argc > 2) return Fail("usage: bench_label_batch [WIDTH]");
  if (argc == 2) {
    const long w = std::strtol(argv[1], nullptr, 10);
    if (std::strlen(argv[1]) > 2 || w < 1 || w > 96) return Fail("WIDTH must be 1 .. 96");
    width = std::to_string(w);
  }

  const auto start = std::chrono::steady_clock::now();
  session::LoadSession();
  format::SetCurrency("a,E");
  app::ResetLetterState();
  if (int16_t status = app::OpenLetterFiles(); status != 0) {
    return Fail("a record file could not be opened (status " + std::to_string(status) + ")");
  }
  app::StoreLetterSelection(EveryOwner(width));

  int rc = 0;
  if (!print::OpenSpool(session::Session().outputDevice)) {
    rc = Fail("cannot write the spool " + print::SpoolPath());
  } else {
    format::SetCurrency("p");
    const app::LetterRunResult result = app::LetterRun();
    format::SetCurrency("");
    const bool written = print::CloseSpool();
    if (result.status != app::kLetterOk) {
      rc = Fail(app::LetterProblemMessage({result.status, result.name}));
    } else if (!written) {
      rc = Fail("cannot write the spool " + print::SpoolPath());
    } else {
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::printf("%d owners read, %d labels written to %s in %.3f s\n", result.counts.ownersRead,
                  result.counts.labelsWritten, print::SpoolPath().c_str(), seconds);
    }
  }
  int16_t status = 0;
  records::ResetRecordManager(status);
  return rc;
}
