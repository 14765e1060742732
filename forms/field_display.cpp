#include "forms/field_display.h"

#include <string>

#include "console/colour.h"
#include "console/screen.h"
#include "format/date_text.h"
#include "format/number_mask.h"
#include "format/packed_date.h"
#include "format/text.h"
#include "forms/bound_record.h"
#include "forms/choices.h"
#include "forms/form_model.h"
#include "platform/terminal.h"
#include "records/record_access.h"
#include "records/record_layouts.h"
#include "session/session.h"

namespace forms {
namespace {

using records::TextEntryRecord;

bool IsBlank(std::string_view text) {
  return format::IsAllChar(text, ' ') != 0;
}

// Reads the texts file's entry for a code (key 0, equal). The code is padded with
// blanks to the key's width, as codes are stored. True when found.
bool ReadTextEntry(std::string_view code) {
  std::string key(code.substr(0, TextEntryRecord::code.size));
  key.resize(TextEntryRecord::code.size, ' ');
  int16_t status = 0;
  records::SeekRecord(records::kTextsFile.fileNumber, 0, key, 0, status);
  return status == 0;
}

void ShowTextCode(const FormField& f) {
  std::string description(kTextDescriptionWidth, ' ');
  if (!IsBlank(f.value) && ReadTextEntry(f.value)) {
    const std::span<const char> record =
        BoundRecord(records::kTextsFile.fileNumber, TextEntryRecord::kBufferSize);
    if (!record.empty()) description = records::FieldText(record, TextEntryRecord::description);
  }
  platform::Terminal& t = platform::CurrentTerminal();
  const int16_t row = t.CursorRow();
  const int16_t column = t.CursorColumn();
  console::Print(f.value);
  t.MoveCursor(static_cast<int16_t>(row + 1), column);
  console::Print(description);
}

void ShowMultiRow(const FormField& f) {
  platform::Terminal& t = platform::CurrentTerminal();
  const int16_t row = t.CursorRow();
  const int16_t column = t.CursorColumn();
  const size_t step = static_cast<size_t>(f.lineWidth);
  int16_t r = row;
  for (size_t at = 0; at < f.value.size(); at += step, ++r) {
    t.MoveCursor(r, column);
    console::Print(std::string_view(f.value).substr(at, step));
  }
}

void ShowChoice(const FormField& f) {
  for (const ChoiceItem& item : ParseChoices(f.choices)) {
    if (item.code != f.value) continue;
    std::string text(item.description);
    text.resize(static_cast<size_t>(f.width) + static_cast<size_t>(f.extraWidth), ' ');
    console::Print(text);
    return;
  }
}

}  // namespace

void ShowScreen(int16_t screen) {
  const Screen* s = FindScreen(screen);
  if (s == nullptr) return;
  const std::string& title = session::Session().menuTitle;
  // 41 - length / 2, halves to the even neighbour.
  const long half = static_cast<long>(title.size()) / 2;
  const long offset = (title.size() % 2 == 0 || half % 2 == 0) ? half : half + 1;
  console::SetColour("rh");
  platform::CurrentTerminal().MoveCursor(1, static_cast<int16_t>(std::max(1L, 41 - offset)));
  console::Print(title);
  console::SetColour("n");
  for (int16_t i = 1; i <= s->fieldCount; ++i) {
    const FormField& f = s->fields[static_cast<size_t>(i)];
    console::LocateInWindow(f.row, f.column);
    console::Print(f.label);
  }
  console::SetColour("h");
  for (int16_t i = 1; i <= s->fieldCount; ++i) ShowFieldValue(screen, i);
}

void ShowFieldValue(int16_t screen, int16_t field) {
  const FormField* f = FindField(screen, field);
  if (f == nullptr) return;
  console::LocateInWindow(f->row, static_cast<int16_t>(f->column + f->label.size()));
  if (f->flags & kFlagHidden) return;
  const double number = format::NumericValue(f->value);
  switch (f->kind) {
    case kKindDate:
      console::Print(format::DateText(format::PackTypedDate(f->value), 0, "dma"));
      return;
    case kKindSmallNumber:
      console::Print(format::FormatMask("ZZ9", number));
      return;
    case kKindTwoDigits:
    case kKindOneTo99:
      console::Print(format::FormatMask("Z9", number));
      return;
    case kKindAmount:
      console::Print(format::AmountText("Z,ZZZ,ZZZ,ZZ9", number));
      return;
    case kKindTextCode:
      ShowTextCode(*f);
      return;
    default:
      break;
  }
  if (!f->choices.empty()) {
    ShowChoice(*f);
  } else if (f->lineWidth != 0) {
    ShowMultiRow(*f);
  } else {
    console::Print(f->value);
  }
}

int16_t CheckField(int16_t screen, std::string_view text, int16_t field, int16_t key) {
  (void)key;
  FormField* f = FindField(screen, field);
  if (f == nullptr) return -1;
  std::string stored(text);
  bool refused = false;
  switch (f->kind) {
    case kKindDate:
      if (IsBlank(stored)) stored = format::DateDigits(session::Session().sessionDate);
      refused = format::IsBadTypedDate(stored) != 0;
      break;
    case kKindSmallNumber:
    case kKindTwoDigits:
      refused = format::IsBadNumberText(stored, "") != 0;
      break;
    case kKindAmount:
      refused = format::IsBadAmountText(stored, 1, 2000000000, 0) != 0;
      break;
    case kKindOneTo99:
      refused = format::IsBadAmountText(stored, 1, 99, 0) != 0;
      break;
    case kKindTextCode:
      if (!IsBlank(stored)) {
        stored = format::FoldText(stored);
        refused = !ReadTextEntry(stored);
      }
      break;
    default:
      break;
  }
  if (refused) return -1;
  StoreFieldValue(*f, stored);
  ShowFieldValue(screen, field);
  return 0;
}

}  // namespace forms
