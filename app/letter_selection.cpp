#include "app/letter_selection.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>

#include "app/letter_state.h"
#include "format/number_mask.h"
#include "format/packed_date.h"
#include "format/text.h"
#include "records/record_layouts.h"

namespace app {
namespace {

using records::FieldText;
using records::OwnerRecord;
using records::PropertyRecord;

bool IsBlank(std::string_view text) {
  return format::IsAllChar(text, ' ') == -1;
}

// An owner code from a property field and an owner field. A blank field stands for
// the lowest (first code) or highest (last code) number, so that no group is lost.
std::string OwnerCode(std::string_view property, std::string_view owner, bool first) {
  const char* blank = first ? "0" : "9999";
  std::string code(IsBlank(property) ? std::string_view(blank) : property);
  code += '.';
  code += IsBlank(owner) ? std::string_view(blank) : owner;
  return format::PackDottedCode(code);
}

}  // namespace

void StoreLetterSelection(const SelectionFieldValues& fields) {
  LetterSelection& s = Letters().selection;
  s.letterDate = format::PackTypedDate(fields[0]);
  s.templateCode = fields[1];
  s.fromCode = OwnerCode(fields[2], fields[3], true);
  s.toCode = OwnerCode(fields[4], fields[5], false);
  s.receiptState = fields[6];
  s.minReceipts = format::WholeNumberValue(fields[7]);
  s.maxReceipts = format::WholeNumberValue(fields[8]);
  s.minPending = format::NumericValue(fields[9]);
  s.maxPending = format::NumericValue(fields[10]);
  s.outputKind = fields[11];
  s.labelWidth = format::WholeNumberValue(fields[12]);
  s.labelLines = format::WholeNumberValue(fields[13]);
  s.labelsPerPage = format::WholeNumberValue(fields[14]);
  s.labelsAcross = 2;
}

void BuildAddressBlock() {
  LetterState& state = Letters();
  const auto& property = state.buffers.property;
  const auto& owner = state.buffers.owner;
  AddressBlock& block = state.addressBlock;

  const std::string digits = format::UnpackDigits(FieldText(owner, OwnerRecord::ownerCode));
  block[0] = "H" + digits.substr(1, 3) + digits.substr(5, 3);
  block[1] = format::NameDisplayOrder(FieldText(owner, OwnerRecord::ownerName));

  const std::string_view mail1 = FieldText(owner, OwnerRecord::mailLine1);
  const std::string_view mail2 = FieldText(owner, OwnerRecord::mailLine2);
  if (IsBlank(mail1)) {
    block[2] = format::NameDisplayOrder(FieldText(property, PropertyRecord::addressLine1)) + " " +
               std::string(FieldText(owner, OwnerRecord::unit));
  } else {
    block[2] = format::NameDisplayOrder(mail1);
  }
  const bool ownAddress = !IsBlank(mail1) && !IsBlank(mail2);
  block[3] = ownAddress ? mail2 : FieldText(property, PropertyRecord::addressLine2);
  block[4] = ownAddress ? FieldText(owner, OwnerRecord::mailLine3)
                        : FieldText(property, PropertyRecord::addressLine3);
}

}  // namespace app
