#include "app/letter_run.h"

#include <cstring>
#include <limits>
#include <string_view>

#include "app/field_file.h"
#include "app/letter_selection.h"
#include "app/letter_state.h"
#include "app/pending_receipts.h"
#include "app/template_merge.h"
#include "print/spool.h"
#include "records/record_access.h"
#include "records/record_files.h"
#include "records/record_layouts.h"

namespace app {
namespace {

using records::FieldText;
using records::OwnerRecord;
using records::PropertyRecord;
using Clock = std::chrono::steady_clock;

// Blanks between a label's reference and its right edge.
constexpr size_t kReferenceMargin = 7;

// -1, 0 or 1 as a sorts before, equal to or after b, as unsigned bytes.
int CompareBytes(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  const int c = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
  if (c != 0) return c < 0 ? -1 : 1;
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string_view Prefix(std::string_view text, size_t size) {
  return text.substr(0, size);
}

bool LabelGeometryFits(const LetterSelection& s) {
  return s.labelWidth >= 1 && s.labelWidth <= kLabelRowColumns && s.labelLines >= 1 &&
         s.labelLines <= kLabelRowLines;
}

int16_t LabelPageLength(const LetterSelection& s) {
  const long long across = s.labelsAcross > 0 ? s.labelsAcross : 1;
  const long long length = static_cast<long long>(s.labelLines) * (s.labelsPerPage / across);
  if (length > std::numeric_limits<int16_t>::max()) return std::numeric_limits<int16_t>::max();
  if (length < std::numeric_limits<int16_t>::min()) return std::numeric_limits<int16_t>::min();
  return static_cast<int16_t>(length);
}

// Calls the progress callback when its time has come.
class ProgressClock {
 public:
  explicit ProgressClock(const LetterRunOptions& options) : options_(options) {
    if (options_.progress) next_ = Clock::now() + options_.firstProgressAfter;
  }
  void Tick(const LetterRunProgress& counts) {
    if (!options_.progress) return;
    const Clock::time_point now = Clock::now();
    if (now < next_) return;
    options_.progress(counts);
    next_ = now + options_.progressEvery;
  }

 private:
  const LetterRunOptions& options_;
  Clock::time_point next_{};
};

}  // namespace

LetterRunResult LetterRun(const LetterRunOptions& options) {
  LetterState& state = Letters();
  const LetterSelection& selection = state.selection;
  LetterRunResult result;
  const bool letters = selection.outputKind == "C";
  if (!letters && !LabelGeometryFits(selection)) {
    result.status = kBadLabelGeometry;
    return result;
  }

  LabelWorkArea& labels = state.labels;
  labels.labelsInRow = 0;
  labels.pageOpen = false;
  labels.labelPageLength = LabelPageLength(selection);
  for (std::string& line : labels.labelRowLines) line.clear();

  const int16_t properties = records::kPropertiesFile.fileNumber;
  const int16_t owners = records::kOwnersFile.fileNumber;
  const auto& property = state.buffers.property;
  const auto& owner = state.buffers.owner;
  const std::string_view fromCode = selection.fromCode;
  const std::string_view toCode = selection.toCode;
  const std::string fieldFile = letters ? FieldFilePath() : std::string();
  ProgressClock progress(options);
  LetterProblem problem;

  int16_t propertyStatus = 0;
  records::SeekRecord(properties, 0, Prefix(fromCode, 2), 1, propertyStatus);
  while (propertyStatus == 0 && problem.status == kLetterOk) {
    const std::string propertyNumber(FieldText(property, PropertyRecord::propertyNumber));
    if (CompareBytes(propertyNumber, Prefix(toCode, 2)) > 0) break;
    int16_t ownerStatus = 0;
    records::SeekRecord(owners, 0, propertyNumber, 1, ownerStatus);
    while (ownerStatus == 0 && problem.status == kLetterOk) {
      const std::string_view ownerCode = FieldText(owner, OwnerRecord::ownerCode);
      if (CompareBytes(Prefix(ownerCode, 2), propertyNumber) > 0) break;
      ++result.counts.ownersRead;
      if (CompareBytes(ownerCode, fromCode) >= 0 && CompareBytes(ownerCode, toCode) <= 0) {
        PendingReceipts(nullptr);
        const bool kept = state.pendingCount >= selection.minReceipts &&
                          state.pendingCount <= selection.maxReceipts &&
                          !(selection.minPending > state.pendingTotal) &&
                          !(selection.maxPending < state.pendingTotal);
        if (kept) {
          BuildAddressBlock();
          if (letters) {
            problem = WriteFieldFile();
            if (problem.status == kLetterOk)
              problem = MergeTemplate(selection.templateCode, fieldFile);
            if (problem.status == kLetterOk) ++result.counts.lettersWritten;
          } else {
            AddLabel();
            ++result.counts.labelsWritten;
          }
        }
      }
      progress.Tick(result.counts);
      if (problem.status == kLetterOk) records::StepRecord(owners, 1, ownerStatus);
    }
    if (problem.status == kLetterOk) records::StepRecord(properties, 1, propertyStatus);
  }

  if (problem.status == kLetterOk && labels.labelsInRow != 0) PrintLabelRow();
  result.status = problem.status;
  result.name = std::move(problem.name);
  return result;
}

void AddLabel() {
  LetterState& state = Letters();
  const LetterSelection& selection = state.selection;
  if (!LabelGeometryFits(selection)) return;
  LabelWorkArea& labels = state.labels;
  const size_t width = static_cast<size_t>(selection.labelWidth);
  ++labels.labelsInRow;
  for (size_t i = 0; i < state.addressBlock.size() && i < static_cast<size_t>(selection.labelLines);
       ++i) {
    // The label's line: width blanks, the text written over them in place.
    std::string& row = labels.labelRowLines[i];
    const size_t start = row.size();
    row.append(width, ' ');
    const std::string& line = state.addressBlock[i];
    if (i == 0) {
      // The reference, without its trailing blanks and followed by 7 blanks, ends at
      // the label's right edge; of a longer one only the last width characters stay.
      const size_t used = line.find_last_not_of(' ') + 1;
      const size_t total = used + kReferenceMargin;
      const size_t dropped = total > width ? total - width : 0;
      if (dropped < used) {
        row.replace(start + width - (total - dropped), used - dropped, line, dropped,
                    used - dropped);
      }
    } else {
      const size_t size = line.size() < width ? line.size() : width;
      row.replace(start, size, line, 0, size);
    }
  }
  if (labels.labelsInRow >= selection.labelsAcross) PrintLabelRow();
}

void PrintLabelRow() {
  LetterState& state = Letters();
  const LetterSelection& selection = state.selection;
  if (!LabelGeometryFits(selection)) return;
  LabelWorkArea& labels = state.labels;
  const size_t width = static_cast<size_t>(selection.labelWidth);
  if (!labels.pageOpen) {
    labels.pageOpen = true;
    print::SpoolPage(labels.labelPageLength);
    print::SpoolCommand("@e");
  }
  for (int16_t i = 0; i < selection.labelLines && i < kLabelRowLines; ++i) {
    std::string& line = labels.labelRowLines[static_cast<size_t>(i)];
    const std::string_view row = Prefix(line, kLabelRowColumns);
    for (size_t column = 1; column <= kLabelRowColumns; column += width) {
      const std::string_view piece =
          column - 1 < row.size() ? row.substr(column - 1, width) : std::string_view();
      print::SpoolText(static_cast<int16_t>(column), piece, 0);
    }
    print::SpoolText(0, "", 1);
    line.clear();
  }
  labels.labelsInRow = 0;
  const int16_t lineCount = print::Spool().lineCount;
  labels.pageOpen = lineCount > 0 && lineCount < labels.labelPageLength;
}

}  // namespace app
