#pragma once
// The pending receipts of the owner being handled: which of the owner's receipts
// count for the selection, their number and total, and, for a letter, the three
// receipt fields of the field file.

#include <string>

namespace app {

// Walks the receipts of the owner in the owner record buffer (receipts file, key 0,
// from the owner's code on while the receipt's code is not greater) and sets
// Letters().pendingCount and pendingTotal from those that count: state equal to
// receiptState, or P and D when receiptState is "T".
// With the field file's text (writing mode) it first appends NUMREB and TOTPEN from
// the previous counting pass, then RELPEN: the byte 1, the counted receipts three to a
// line (ten blanks first, each entry a date of 11 and an amount and three blanks),
// and the closing byte 255. Without it (counting mode) it only counts.
void PendingReceipts(std::string* fieldText);

}  // namespace app
