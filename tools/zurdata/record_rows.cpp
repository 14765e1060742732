#include "tools/zurdata/record_rows.h"

#include <cstdio>

#include "platform/cp850.h"
#include "platform/packed_digits.h"

namespace zurdata {
namespace {

using records::RecordField;

struct KindInfo {
  Kind kind;
  std::string_view name;
  const records::RecordFileInfo* file;
  std::vector<std::string> columns;
};

const std::vector<KindInfo>& Kinds() {
  static const std::vector<KindInfo> kinds = {
      {Kind::kTexts, "texts", &records::kTextsFile, {"code", "description", "group"}},
      {Kind::kProperties,
       "properties",
       &records::kPropertiesFile,
       {"property", "address1", "address2", "address3"}},
      {Kind::kOwners,
       "owners",
       &records::kOwnersFile,
       {"property", "owner", "name", "unit", "mail1", "mail2", "mail3"}},
      {Kind::kReceipts,
       "receipts",
       &records::kReceiptsFile,
       {"property", "owner", "date", "amount", "state"}},
  };
  return kinds;
}

const KindInfo& InfoOf(Kind kind) {
  return Kinds()[static_cast<size_t>(kind)];
}

// A UTF-8 field as CP850 text for a field of `width` bytes.
bool TextIn(std::string_view column, std::string_view utf8, size_t width, std::string& out,
            std::string& reason) {
  out.clear();
  size_t pos = 0;
  while (pos < utf8.size()) {
    char32_t ch = 0;
    if (!platform::DecodeUtf8(utf8, pos, ch)) {
      reason = std::string(column) + ": not valid UTF-8";
      return false;
    }
    if (ch < 0x20 || ch == 0x7F) {
      reason = std::string(column) + ": control character";
      return false;
    }
    uint8_t byte = 0;
    if (!platform::UnicodeToCp850(ch, byte)) {
      char code[16];
      std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(ch));
      reason = std::string(column) + ": character " + code + " is not in code page 850";
      return false;
    }
    out.push_back(static_cast<char>(byte));
  }
  const size_t end = out.find_last_not_of(' ');
  out.resize(end == std::string::npos ? 0 : end + 1);
  if (out.size() > width) {
    reason = std::string(column) + ": longer than " + std::to_string(width) + " characters";
    return false;
  }
  return true;
}

bool StoreText(std::string& record, RecordField field, std::string_view column,
               std::string_view utf8, std::string& reason) {
  std::string text;
  if (!TextIn(column, utf8, field.size, text, reason)) return false;
  records::SetFieldText(record, field, text);
  return true;
}

std::string TextOut(std::string_view record, RecordField field) {
  std::string_view text = records::FieldText(record, field);
  const size_t end = text.find_last_not_of(' ');
  return platform::Cp850ToUtf8(text.substr(0, end == std::string_view::npos ? 0 : end + 1));
}

// A whole number 0 .. 9999 as its four digits.
bool NumberIn(std::string_view column, std::string_view text, std::string& digits,
              std::string& reason) {
  if (text.empty() || text.size() > 4 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    reason = std::string(column) + ": not a whole number 0 .. 9999";
    return false;
  }
  digits = std::string(4 - text.size(), '0') + std::string(text);
  return true;
}

bool PackedIsDigits(std::string_view packed) {
  for (char c : packed) {
    const uint8_t b = static_cast<uint8_t>(c);
    if (b < 128 || b > 227) return false;
  }
  return true;
}

bool NumberOut(std::string_view column, std::string_view packed, std::string& out,
               std::string& reason) {
  if (!PackedIsDigits(packed)) {
    reason = std::string(column) + ": not packed digits";
    return false;
  }
  std::string digits = platform::UnpackDigits(packed);
  const size_t first = digits.find_first_not_of('0');
  out = first == std::string::npos ? "0" : digits.substr(first);
  return true;
}

int DaysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

bool DateIn(std::string_view text, std::string& packed, std::string& reason) {
  if (text.empty()) {
    packed = std::string(4, static_cast<char>(128));
    return true;
  }
  bool shape = text.size() == 10 && text[4] == '-' && text[7] == '-';
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
    shape = shape && text[i] >= '0' && text[i] <= '9';
  }
  if (shape) {
    const int year = std::stoi(std::string(text.substr(0, 4)));
    const int month = std::stoi(std::string(text.substr(5, 2)));
    const int day = std::stoi(std::string(text.substr(8, 2)));
    if (year >= 1 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month)) {
      packed =
          platform::PackDigits(std::string(text.substr(0, 4)) + std::string(text.substr(5, 2)) +
                               std::string(text.substr(8, 2)));
      return true;
    }
  }
  reason = "date: not a date YYYY-MM-DD";
  return false;
}

bool DateOut(std::string_view packed, std::string& out, std::string& reason) {
  if (!PackedIsDigits(packed)) {
    reason = "date: not packed digits";
    return false;
  }
  const std::string d = platform::UnpackDigits(packed);
  out = d == "00000000" ? "" : d.substr(0, 4) + "-" + d.substr(4, 2) + "-" + d.substr(6, 2);
  return true;
}

}  // namespace

bool ParseKind(std::string_view name, Kind& kind) {
  for (const KindInfo& k : Kinds()) {
    if (k.name == name) {
      kind = k.kind;
      return true;
    }
  }
  return false;
}

std::string_view KindName(Kind kind) {
  return InfoOf(kind).name;
}
const records::RecordFileInfo& FileOf(Kind kind) {
  return *InfoOf(kind).file;
}
const std::vector<std::string>& Columns(Kind kind) {
  return InfoOf(kind).columns;
}

bool ParseAmount(std::string_view text, int32_t& cents) {
  size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) ++i;
  int64_t whole = 0;
  size_t digits = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    if (++digits > 10) return false;
    whole = whole * 10 + (text[i++] - '0');
  }
  if (digits == 0) return false;
  int64_t fraction = 0;
  if (i < text.size()) {
    if (text[i++] != '.') return false;
    size_t decimals = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      if (++decimals > 2) return false;
      fraction = fraction * 10 + (text[i++] - '0');
    }
    if (decimals == 0 || i != text.size()) return false;
    if (decimals == 1) fraction *= 10;
  }
  int64_t value = whole * 100 + fraction;
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return false;
  cents = static_cast<int32_t>(value);
  return true;
}

std::string FormatAmount(int32_t cents) {
  const int64_t v = cents;
  const int64_t a = v < 0 ? -v : v;
  char text[32];
  std::snprintf(text, sizeof text, "%s%lld.%02lld", v < 0 ? "-" : "",
                static_cast<long long>(a / 100), static_cast<long long>(a % 100));
  return text;
}

bool RowToRecord(Kind kind, const std::vector<std::string>& f, std::string& record,
                 std::string& reason) {
  record.assign(FileOf(kind).bufferSize, ' ');
  std::string a, b;
  switch (kind) {
    case Kind::kTexts: {
      using R = records::TextEntryRecord;
      if (!StoreText(record, R::code, "code", f[0], reason) ||
          !StoreText(record, R::description, "description", f[1], reason) ||
          !StoreText(record, R::group, "group", f[2], reason)) {
        return false;
      }
      if (records::FieldText(record, R::code).find_first_not_of(' ') == std::string_view::npos) {
        reason = "code: empty";
        return false;
      }
      return true;
    }
    case Kind::kProperties: {
      using R = records::PropertyRecord;
      if (!NumberIn("property", f[0], a, reason)) return false;
      records::SetFieldText(record, R::propertyNumber, platform::PackDigits(a));
      return StoreText(record, R::addressLine1, "address1", f[1], reason) &&
             StoreText(record, R::addressLine2, "address2", f[2], reason) &&
             StoreText(record, R::addressLine3, "address3", f[3], reason);
    }
    case Kind::kOwners: {
      using R = records::OwnerRecord;
      if (!NumberIn("property", f[0], a, reason) || !NumberIn("owner", f[1], b, reason)) {
        return false;
      }
      records::SetFieldText(record, R::ownerCode, platform::PackDigits(a + b));
      return StoreText(record, R::ownerName, "name", f[2], reason) &&
             StoreText(record, R::unit, "unit", f[3], reason) &&
             StoreText(record, R::mailLine1, "mail1", f[4], reason) &&
             StoreText(record, R::mailLine2, "mail2", f[5], reason) &&
             StoreText(record, R::mailLine3, "mail3", f[6], reason);
    }
    case Kind::kReceipts: {
      using R = records::ReceiptRecord;
      if (!NumberIn("property", f[0], a, reason) || !NumberIn("owner", f[1], b, reason)) {
        return false;
      }
      records::SetFieldText(record, R::ownerCode, platform::PackDigits(a + b));
      std::string date;
      if (!DateIn(f[2], date, reason)) return false;
      records::SetFieldText(record, R::receiptDate, date);
      int32_t cents = 0;
      if (!ParseAmount(f[3], cents)) {
        reason = "amount: not an amount in euros like -12.5 or 1234.56";
        return false;
      }
      records::SetFieldInt32(record, R::amount, cents);
      const std::string& s = f[4];
      if (s.size() != 1 || !((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z'))) {
        reason = "state: not one letter";
        return false;
      }
      records::SetFieldText(record, R::state, s);
      return true;
    }
  }
  return false;
}

bool RecordToRow(Kind kind, std::string_view record, std::vector<std::string>& f,
                 std::string& reason) {
  f.assign(Columns(kind).size(), std::string());
  switch (kind) {
    case Kind::kTexts: {
      using R = records::TextEntryRecord;
      f[0] = TextOut(record, R::code);
      f[1] = TextOut(record, R::description);
      f[2] = TextOut(record, R::group);
      return true;
    }
    case Kind::kProperties: {
      using R = records::PropertyRecord;
      if (!NumberOut("property", records::FieldText(record, R::propertyNumber), f[0], reason)) {
        return false;
      }
      f[1] = TextOut(record, R::addressLine1);
      f[2] = TextOut(record, R::addressLine2);
      f[3] = TextOut(record, R::addressLine3);
      return true;
    }
    case Kind::kOwners: {
      using R = records::OwnerRecord;
      std::string_view code = records::FieldText(record, R::ownerCode);
      if (!NumberOut("property", code.substr(0, 2), f[0], reason) ||
          !NumberOut("owner", code.substr(2, 2), f[1], reason)) {
        return false;
      }
      f[2] = TextOut(record, R::ownerName);
      f[3] = TextOut(record, R::unit);
      f[4] = TextOut(record, R::mailLine1);
      f[5] = TextOut(record, R::mailLine2);
      f[6] = TextOut(record, R::mailLine3);
      return true;
    }
    case Kind::kReceipts: {
      using R = records::ReceiptRecord;
      std::string_view code = records::FieldText(record, R::ownerCode);
      if (!NumberOut("property", code.substr(0, 2), f[0], reason) ||
          !NumberOut("owner", code.substr(2, 2), f[1], reason) ||
          !DateOut(records::FieldText(record, R::receiptDate), f[2], reason)) {
        return false;
      }
      f[3] = FormatAmount(records::FieldInt32(record, R::amount));
      f[4] = TextOut(record, R::state);
      return true;
    }
  }
  return false;
}

}  // namespace zurdata
