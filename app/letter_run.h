#pragma once
// The letter run: one batch of letters or labels for the stored selection, written to
// the open print spool. Properties are walked from the first code's property up to
// the last code's, their owners in key order, and each owner inside the range whose
// pending receipts fit the selection gets a letter (template merged with the owner's
// field file) or an address label (two labels to a row, rows printed as they fill).

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "app/letter_status.h"

namespace app {

// How far a batch has come.
struct LetterRunProgress {
  int32_t ownersRead = 0;  // owner records read, kept or not
  int32_t lettersWritten = 0;
  int32_t labelsWritten = 0;
};

struct LetterRunOptions {
  // Called with the counts once the batch has run for firstProgressAfter, then at
  // most every progressEvery; never when empty. It must not touch the record files.
  std::function<void(const LetterRunProgress&)> progress;
  std::chrono::milliseconds firstProgressAfter{500};
  std::chrono::milliseconds progressEvery{250};
};

struct LetterRunResult {
  int16_t status = kLetterOk;  // kLetterOk or the problem that stopped the batch
  std::string name;            // what the problem concerns (LetterProblem)
  LetterRunProgress counts;
};

// Runs the batch of Letters().selection with the spool open and the record files
// bound (OpenLetterFiles). A missing template, an include nested too deep or a field
// file that cannot be written stops the batch at that owner; label mode refuses a
// labelWidth outside 1 .. 96 or labelLines outside 1 .. 100 before writing anything
// (kBadLabelGeometry).
LetterRunResult LetterRun(const LetterRunOptions& options = {});

// Adds the current address block as one label to the row; a full row (labelsAcross
// labels) is printed. Does nothing with a label geometry LetterRun refuses.
void AddLabel();

// Prints the row of labels: a page line and "@e" when no label page is open, each of
// the labelLines lines cut into pieces of labelWidth at columns 1, 1 + labelWidth, ...
// up to column 96, then empties the row. A page that has just filled up is closed.
// Does nothing with a label geometry LetterRun refuses.
void PrintLabelRow();

}  // namespace app
