#pragma once
// The letter run's state, in one place: the selection of the batch, the address block
// of the owner being handled, the label work area, the text columns of the template
// merge, the page count of the letter being written, the pending receipts of the
// owner, and the four record buffers the record files are bound to.

#include <array>
#include <cstdint>
#include <string>

#include "records/record_layouts.h"

namespace app {

// The selection of one batch, taken from the fifteen fields of the selection screen.
struct LetterSelection {
  std::string letterDate;    // packed date, 4 bytes
  std::string templateCode;  // code of the letter template, with its trailing blanks
  std::string fromCode;      // first owner: packed property (2 bytes) + owner (2 bytes)
  std::string toCode;        // last owner, the same way
  std::string receiptState;  // receipts that count: one state letter, or "T" for P and D
  int16_t minReceipts = 0;   // fewest counted receipts an owner must have
  int16_t maxReceipts = 0;   // most counted receipts an owner may have
  double minPending = 0;     // lowest total of the counted receipts, in cents
  double maxPending = 0;     // highest total of the counted receipts, in cents
  std::string outputKind;    // "C" letters; anything else labels
  int16_t labelWidth = 0;    // characters of one label
  int16_t labelLines = 0;    // lines of one label
  int16_t labelsPerPage = 0;
  int16_t labelsAcross = 2;  // labels side by side, always 2
};

// The five address lines of the owner being handled:
//   0 reference "H" + 3 digits of the property + 3 digits of the owner
//   1 name in reading order
//   2 street line   3 postal code and town   4 third line
using AddressBlock = std::array<std::string, 5>;

inline constexpr int kLabelRowLines = 100;
inline constexpr int kLabelRowColumns = 96;  // a row of labels is printed up to column 96

// Labels are collected two to a row; a row is printed once full (or at the end).
struct LabelWorkArea {
  std::array<std::string, kLabelRowLines> labelRowLines;  // line i of the current row
  int16_t labelsInRow = 0;
  bool pageOpen = false;
  int16_t labelPageLength = 0;  // labelLines x (labelsPerPage / labelsAcross)
};

// One text column of the template merge.
struct ColumnDefinition {
  int16_t startColumn = 0;
  int16_t endColumn = 0;
  int16_t indent = 0;        // negative: the paragraph also starts that much further left
  char justification = ' ';  // layout code; "N" lays out as "I" and asks for a "-" fill
};

inline constexpr int kColumnEntries = 10;

// The record buffers the four record files are bound to at open.
struct LetterRecordBuffers {
  records::TextEntryRecord::Buffer text{};
  records::PropertyRecord::Buffer property{};
  records::OwnerRecord::Buffer owner{};
  records::ReceiptRecord::Buffer receipt{};
};

struct LetterState {
  LetterSelection selection;
  AddressBlock addressBlock;
  LabelWorkArea labels;
  std::array<ColumnDefinition, kColumnEntries> columnTable{};
  int16_t letterPageCount = 0;  // pages started for the current letter; 0: none yet
  int32_t pendingCount = 0;     // counted receipts of the current owner
  double pendingTotal = 0;      // their total, in cents
  LetterRecordBuffers buffers;
  std::string fieldText;  // the field file being written (kept to reuse its room)
};

// The letter run's state of the process.
LetterState& Letters();

// Everything back to its start: an empty selection, empty texts, zero counts and
// blank record buffers (the buffers keep their addresses, so files bound to them
// stay bound). For tests.
void ResetLetterState();

}  // namespace app
