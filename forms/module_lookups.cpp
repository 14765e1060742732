// This module's lookups 1 .. 4 over the texts, properties and owners files.

#include <string>

#include "format/packed_date.h"
#include "format/text.h"
#include "forms/bound_record.h"
#include "forms/field_display.h"
#include "forms/form_model.h"
#include "forms/lookup.h"
#include "records/record_access.h"
#include "records/record_layouts.h"

namespace forms {
namespace {

using records::OwnerRecord;
using records::PropertyRecord;
using records::TextEntryRecord;

std::string FieldValue(int16_t screen, int16_t field) {
  const FormField* f = FindField(screen, field);
  return f == nullptr ? std::string() : f->value;
}

std::string LastThree(std::string digits) {
  return digits.size() > 3 ? digits.substr(digits.size() - 3) : digits;
}

// The code a lookup hands to its field: the text's code, or the last 3 digits of
// the property or owner number.
std::string ChosenCode(int16_t lookup) {
  switch (lookup) {
    case 1: {
      const auto r = BoundRecord(records::kTextsFile.fileNumber, TextEntryRecord::kBufferSize);
      return r.empty() ? std::string() : std::string(records::FieldText(r, TextEntryRecord::code));
    }
    case 2: {
      const auto r = BoundRecord(records::kPropertiesFile.fileNumber, PropertyRecord::kBufferSize);
      return r.empty() ? std::string()
                       : LastThree(format::UnpackDigits(
                             records::FieldText(r, PropertyRecord::propertyNumber)));
    }
    case 3:
    case 4: {
      const auto r = BoundRecord(records::kOwnersFile.fileNumber, OwnerRecord::kBufferSize);
      return r.empty()
                 ? std::string()
                 : LastThree(format::UnpackDigits(records::FieldText(r, OwnerRecord::ownerCode)));
    }
    default:
      return {};
  }
}

}  // namespace

int16_t LookupStartKey(int16_t lookup, std::string& startKey, std::string& bound) {
  startKey.clear();
  switch (lookup) {
    case 1: {
      const Lookup* l = FindLookup(lookup);
      std::string value = FieldValue(l == nullptr ? 0 : l->filterScreen, 1);
      const size_t first = value.find_first_not_of(' ');
      value = first == std::string::npos
                  ? std::string()
                  : value.substr(first, value.find_last_not_of(' ') - first + 1);
      startKey = format::FoldText(value);
      break;
    }
    case 3:
      startKey = format::PackDottedCode("0" + FieldValue(1, 3));
      break;
    case 4:
      startKey = format::PackDottedCode("0" + FieldValue(1, 5));
      break;
    default:
      break;
  }
  bound = startKey;
  return 0;
}

std::string LookupLine(int16_t lookup) {
  switch (lookup) {
    case 1: {
      const int16_t file = records::kTextsFile.fileNumber;
      const auto r = BoundRecord(file, TextEntryRecord::kBufferSize);
      if (r.empty()) return {};
      const std::string group(records::FieldText(r, TextEntryRecord::group));
      // The group shows on its first entry only: the entry before it in key order
      // starts with a key at least as large when it belongs to the same group.
      const std::string groupColumn =
          records::KeyInRange(file, -1, group) != 0 ? std::string(10, ' ') : group + "  ";
      return groupColumn + std::string(records::FieldText(r, TextEntryRecord::code)) + "  " +
             std::string(records::FieldText(r, TextEntryRecord::description));
    }
    case 2: {
      const auto r = BoundRecord(records::kPropertiesFile.fileNumber, PropertyRecord::kBufferSize);
      if (r.empty()) return {};
      return ChosenCode(2) + "  " +
             std::string(records::FieldText(r, PropertyRecord::addressLine1));
    }
    case 3:
    case 4: {
      const auto r = BoundRecord(records::kOwnersFile.fileNumber, OwnerRecord::kBufferSize);
      if (r.empty()) return {};
      return ChosenCode(lookup) + "  " +
             std::string(records::FieldText(r, OwnerRecord::ownerName)) + "  " +
             std::string(records::FieldText(r, OwnerRecord::unit));
    }
    default:
      return {};
  }
}

void LookupAccept(int16_t& lookup, int16_t& screen, int16_t& field) {
  if (lookup < 1 || lookup > 4) return;
  CheckField(screen, ChosenCode(lookup), field, 0);
}

}  // namespace forms
