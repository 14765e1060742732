#include "app/letter_state.h"

namespace app {

LetterState& Letters() {
  // Record buffers start blank, as the record files' unused bytes are: a file with
  // shorter records leaves the rest of its buffer blank, never zero bytes.
  static LetterState state = [] {
    LetterState s;
    s.buffers.text.fill(' ');
    s.buffers.property.fill(' ');
    s.buffers.owner.fill(' ');
    s.buffers.receipt.fill(' ');
    return s;
  }();
  return state;
}

void ResetLetterState() {
  LetterState& s = Letters();
  s.selection = LetterSelection{};
  for (std::string& line : s.addressBlock) line.clear();
  for (std::string& line : s.labels.labelRowLines) line.clear();
  s.labels.labelsInRow = 0;
  s.labels.pageOpen = false;
  s.labels.labelPageLength = 0;
  s.columnTable.fill(ColumnDefinition{});
  s.letterPageCount = 0;
  s.pendingCount = 0;
  s.pendingTotal = 0;
  s.buffers.text.fill(' ');
  s.buffers.property.fill(' ');
  s.buffers.owner.fill(' ');
  s.buffers.receipt.fill(' ');
  s.fieldText.clear();
}

}  // namespace app
