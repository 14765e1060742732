#include "app/pending_receipts.h"

#include <cstring>
#include <string>
#include <string_view>

#include "app/field_file.h"
#include "app/letter_state.h"
#include "format/date_text.h"
#include "format/number_mask.h"
#include "platform/ascii_text.h"
#include "records/record_access.h"
#include "records/record_files.h"
#include "records/record_layouts.h"

namespace app {
namespace {

using platform::TrimBlanks;

using records::FieldInt32;
using records::FieldText;
using records::ReceiptRecord;

constexpr const char* kAmountPicture = "Z,ZZZ,ZZZ,ZZ9-";
constexpr size_t kDateWidth = 11;

// -1, 0 or 1 as a sorts before, equal to or after b, as unsigned bytes.
int CompareBytes(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  const int c = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
  if (c != 0) return c < 0 ? -1 : 1;
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool Counts(char state, std::string_view wanted) {
  if (wanted.size() == 1 && wanted[0] == state) return true;
  return wanted == "T" && (state == 'P' || state == 'D');
}

// One receipt of the RELPEN list: its date in figures, left in 11 columns, its
// amount and three blanks.
void WriteReceiptEntry(std::string& fieldText, std::string_view packedDate, int32_t cents) {
  const std::string date = format::DateText(packedDate, 0, "dma");
  const size_t start = fieldText.size();
  fieldText += TrimBlanks(date);
  fieldText.resize(start + kDateWidth, ' ');
  fieldText += format::AmountText(kAmountPicture, cents);
  fieldText += "   ";
}

}  // namespace

void PendingReceipts(std::string* fieldText) {
  LetterState& state = Letters();
  if (fieldText != nullptr) {
    WriteField(*fieldText, "NUMREB",
               format::FormatMask("ZZZ9", static_cast<double>(state.pendingCount)));
    WriteField(*fieldText, "TOTPEN", format::AmountText(kAmountPicture, state.pendingTotal));
    *fieldText += kNameLineMark;
    *fieldText += "RELPEN\r\n\x01";
  }
  state.pendingCount = 0;
  state.pendingTotal = 0;

  const auto& owner = state.buffers.owner;
  const auto& receipt = state.buffers.receipt;
  const std::string ownerCode(FieldText(owner, records::OwnerRecord::ownerCode));
  const int16_t receipts = records::kReceiptsFile.fileNumber;
  const std::string_view wanted = state.selection.receiptState;
  int16_t status = 0;
  records::SeekRecord(receipts, 0, ownerCode, 1, status);
  while (status == 0 &&
         CompareBytes(FieldText(receipt, ReceiptRecord::ownerCode), ownerCode) <= 0) {
    if (Counts(FieldText(receipt, ReceiptRecord::state)[0], wanted)) {
      const int32_t cents = FieldInt32(receipt, ReceiptRecord::amount);
      if (fieldText != nullptr) {
        if (state.pendingCount % 3 == 0) *fieldText += "          ";
        WriteReceiptEntry(*fieldText, FieldText(receipt, ReceiptRecord::receiptDate), cents);
        if (state.pendingCount % 3 == 2) *fieldText += "\r\n";
      }
      ++state.pendingCount;
      state.pendingTotal += cents;
    }
    records::StepRecord(receipts, 1, status);
  }
  if (fieldText != nullptr) {
    *fieldText += kValueEnd;
    *fieldText += "\r\n";
  }
}

}  // namespace app
