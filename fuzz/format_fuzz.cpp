// Feeds arbitrary masks, numbers, typed dates, packed dates and paragraphs to the
// formatting calls and checks the shapes they promise (a mask's length, a packed
// date's size, a day of the week in 1 .. 7). Any crash, hang or sanitizer report is
// a fault.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "format/date_text.h"
#include "format/format_state.h"
#include "format/number_mask.h"
#include "format/packed_date.h"
#include "format/text.h"
#include "format/words.h"
#include "platform/clock.h"
#include "session/session.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

double AnyDouble(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      return in.ConsumeFloatingPoint<double>();
    case 1:
      return static_cast<double>(in.ConsumeIntegral<int32_t>());
    case 2:
      return in.ConsumeIntegral<int32_t>() / 100.0;
    default: {
      double value = 0;
      const std::string bytes = in.ConsumeBytesAsString(sizeof value);
      if (bytes.size() == sizeof value) __builtin_memcpy(&value, bytes.data(), sizeof value);
      return value;  // any bit pattern: NaN, infinities, denormals
    }
  }
}

const char* kLanguages[] = {"CAT", "SPA", "GLG", "OCI", "   "};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  platform::SetToday(platform::CalendarDate{2026, 3, 15});
  session::Session().languageCode = kLanguages[in.ConsumeIntegralInRange<int>(0, 4)];
  format::FoldAccents() = in.ConsumeBool();

  switch (in.ConsumeIntegralInRange<int>(0, 9)) {
    case 0: {
      const std::string mask = in.ConsumeRandomLengthString(255);
      Check(format::FormatMask(mask, AnyDouble(in)).size() == mask.size());
      break;
    }
    case 1: {
      format::SetCurrency(in.ConsumeRandomLengthString(8));
      const std::string picture = in.ConsumeRandomLengthString(255);
      Check(format::AmountText(picture, AnyDouble(in)).size() == picture.size());
      break;
    }
    case 2: {
      const double value = AnyDouble(in);
      format::PlainNumberText(value, in.ConsumeRandomLengthString(16));
      const int16_t width = in.ConsumeIntegral<int16_t>();
      Check(format::ZeroPad(value, width).size() == static_cast<size_t>(width > 0 ? width : 0));
      break;
    }
    case 3: {
      const std::string text = in.ConsumeRandomLengthString(64);
      const double minimum = AnyDouble(in);
      const double maximum = AnyDouble(in);
      format::IsBadNumberText(text, in.ConsumeRandomLengthString(4));
      format::IsBadAmountText(text, minimum, maximum, in.ConsumeIntegral<int16_t>());
      format::NumericValue(text);
      break;
    }
    case 4: {
      const std::string text = in.ConsumeRandomLengthString(64);
      format::PackDottedCode(text);
      Check(format::PackTypedDate(text).size() == format::kPackedDateSize);
      if (format::IsBadTypedDate(text) == 0) {
        const format::TypedDateParts parts = format::TypedDate();
        Check(parts.typedDay >= 1 && parts.typedDay <= parts.typedMonthLength);
        Check(parts.typedMonth >= 1 && parts.typedMonth <= 12);
        Check(parts.typedYear >= 0 && parts.typedYear <= 9999);
      }
      break;
    }
    case 5: {
      const std::string first = in.ConsumeRandomLengthString(8);
      const std::string second = in.ConsumeRandomLengthString(8);
      format::DateDigits(first);
      Check(format::DateDiff(first, second, in.ConsumeRandomLengthString(2)) >= 0);
      const int16_t day = format::WeekDay(first);
      Check(day >= 1 && day <= 7);
      break;
    }
    case 6: {
      const std::string date = in.ConsumeRandomLengthString(8);
      const int16_t mode = in.ConsumeIntegral<int16_t>();
      format::DateText(date, mode, in.ConsumeRandomLengthString(8));
      break;
    }
    case 7: {
      const double value = AnyDouble(in);
      format::AmountInWords(value, in.ConsumeRandomLengthString(2));
      break;
    }
    case 8: {
      const int16_t indent = in.ConsumeIntegralInRange<int16_t>(-1000, 1000);
      const int16_t width = in.ConsumeIntegralInRange<int16_t>(-10, 1000);
      const std::string align = in.ConsumeRandomLengthString(2);
      std::string text = in.ConsumeRemainingBytesAsString();
      bool plain = true;
      for (unsigned char c : text) plain = plain && c >= 32;
      const bool padded =
          !align.empty() && std::string("ELINDRCelindrc").find(align[0]) != std::string::npos;
      format::LayoutText(text, indent, width, align);
      // Padded lines are all exactly width characters wide.
      if (plain && padded && width > 0) Check(text.size() % static_cast<size_t>(width) == 0);
      break;
    }
    default: {
      const std::string text = in.ConsumeRandomLengthString(256);
      Check(format::FoldText(text).size() == text.size());
      format::IsAllChar(text, in.ConsumeIntegral<int16_t>());
      format::NameDisplayOrder(text);
      break;
    }
  }
  format::FoldAccents() = false;
  return 0;
}
