#pragma once
// The CSV form of the module's four record files, one row per record, and the
// conversions between a row (UTF-8 fields) and a record (CP850 bytes, blanks where
// no field is stored).
//
//   kind        columns
//   texts       code,description,group
//   properties  property,address1,address2,address3
//   owners      property,owner,name,unit,mail1,mail2,mail3
//   receipts    property,owner,date,amount,state
//
// property and owner are whole numbers 0 .. 9999, packed into the record; date is
// YYYY-MM-DD (empty for the empty date); amount is euros with "." and at most two
// decimals; state is one letter A-Z or a-z. Text columns are cut of trailing blanks on
// the way out, and a text longer than its field (blanks aside) is refused on the way
// in, so that nothing is cut silently. Canonical form written by RecordToRow:
// numbers without leading zeros, amounts with exactly two decimals ("-12.50"),
// texts without trailing blanks.

#include <string>
#include <string_view>
#include <vector>

#include "records/record_layouts.h"

namespace zurdata {

enum class Kind { kTexts, kProperties, kOwners, kReceipts };

// "texts", "properties", "owners" or "receipts". False for any other name.
bool ParseKind(std::string_view name, Kind& kind);
std::string_view KindName(Kind kind);
const records::RecordFileInfo& FileOf(Kind kind);
const std::vector<std::string>& Columns(Kind kind);

// Builds the record for a row. False with the reason ("name: longer than 30
// characters") when a field is refused; the row must have Columns(kind).size() fields.
bool RowToRecord(Kind kind, const std::vector<std::string>& fields, std::string& record,
                 std::string& reason);

// The row of a record (record.size() == FileOf(kind).bufferSize). False with the reason
// when a packed number or date holds bytes that are not packed digits.
bool RecordToRow(Kind kind, std::string_view record, std::vector<std::string>& fields,
                 std::string& reason);

// Amount text <-> cents. ParseAmount is false for anything but -?digits[.d[d]] within
// the range of a 32-bit cent count.
bool ParseAmount(std::string_view text, int32_t& cents);
std::string FormatAmount(int32_t cents);

}  // namespace zurdata
