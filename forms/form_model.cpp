#include "forms/form_model.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "format/packed_date.h"
#include "forms/choices.h"
#include "platform/terminal.h"
#include "platform/text_file.h"
#include "session/language.h"
#include "session/session.h"

namespace forms {
namespace {

// Display widths of the formatted kinds: "ZZ9", "Z9", "Z,ZZZ,ZZZ,ZZ9" and a date in
// figures (day, month, four-digit year and two separators).
int16_t KindDisplayWidth(int16_t kind) {
  switch (kind) {
    case kKindDate:
      return 10;
    case kKindSmallNumber:
      return 3;
    case kKindTwoDigits:
    case kKindOneTo99:
      return 2;
    case kKindAmount:
      return 13;
    default:
      return 0;
  }
}

// Items of the form file, read byte by byte so that line numbers stay exact.
class ItemReader {
 public:
  explicit ItemReader(platform::TextReader& reader) : reader_(reader) {}

  int line() const { return line_; }
  int itemLine() const { return itemLine_; }
  const std::string& error() const { return error_; }
  int errorLine() const { return errorLine_; }

  // Where a record begins: drops comment lines and blank lines, then gives the first
  // other line back. False at the end of the file.
  bool SkipComments() {
    if (afterComma_) return true;  // a record that starts on the same line
    for (;;) {
      const long long at = reader_.Tell();
      std::string text;
      if (!reader_.ReadLine(text)) {
        itemLine_ = contentLine_;
        return false;
      }
      const bool blank = text.find_first_not_of(" \t") == std::string::npos;
      if (blank || text.front() == '\'') {
        contentLine_ = line_;
        ++line_;
        continue;
      }
      if (!reader_.Seek(at)) return false;
      return true;
    }
  }

  // Next item as text. False (with error()) at the end of the file or on a quoted
  // text that is not closed.
  bool Text(std::string& out, size_t maxLength, const char* what) {
    out.clear();
    if (!afterComma_) {
      // A line end separates items: blank lines inside a record carry nothing.
      for (;;) {
        const int c = reader_.PeekChar();
        if (c == ' ' || c == '\t') {
          Take();
        } else if (c == '\r' || c == '\n') {
          EndLine();
        } else {
          break;
        }
      }
    } else {
      while (reader_.PeekChar() == ' ' || reader_.PeekChar() == '\t') Take();
    }
    itemLine_ = line_;
    int c = reader_.PeekChar();
    if (c < 0) itemLine_ = contentLine_;
    if (c < 0) return Fail(std::string("the file ends before ") + what);
    bool tooLong = false;
    if (c == '"') {
      Take();
      for (;;) {
        c = Take();
        if (c < 0 || c == '\r' || c == '\n') {
          return Fail(std::string("the quoted text of ") + what + " is not closed");
        }
        if (c == '"') break;
        if (out.size() < maxLength) {
          out.push_back(static_cast<char>(c));
        } else {
          tooLong = true;
        }
      }
      while (reader_.PeekChar() == ' ' || reader_.PeekChar() == '\t') Take();
      c = reader_.PeekChar();
      if (c >= 0 && c != ',' && c != '\r' && c != '\n') {
        return Fail(std::string("unexpected characters after the quoted text of ") + what);
      }
    } else {
      for (;;) {
        c = reader_.PeekChar();
        if (c < 0 || c == ',' || c == '\r' || c == '\n') break;
        Take();
        if (out.size() < maxLength) {
          out.push_back(static_cast<char>(c));
        } else {
          tooLong = true;
        }
      }
      while (!out.empty() && (out.back() == ' ' || out.back() == '\t')) out.pop_back();
    }
    // The separator that ends the item.
    c = reader_.PeekChar();
    afterComma_ = false;
    if (c == ',') {
      Take();
      afterComma_ = true;
    } else if (c == '\r' || c == '\n') {
      EndLine();
    }
    if (tooLong) {
      return Fail(std::string(what) + " is longer than " + std::to_string(maxLength) +
                  " characters");
    }
    return true;
  }

  // Next item as a whole number within [low, high].
  bool Number(int16_t& out, long low, long high, const char* what) {
    std::string text;
    if (!Text(text, 32, what)) return false;
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i == text.size()) return Fail(std::string(what) + " is not a number: \"" + text + "\"");
    long value = 0;
    for (; i < text.size(); ++i) {
      if (text[i] < '0' || text[i] > '9') {
        return Fail(std::string(what) + " is not a number: \"" + text + "\"");
      }
      value = std::min(value * 10 + (text[i] - '0'), 1000000L);
    }
    if (negative) value = -value;
    if (value < low || value > high) {
      return Fail(std::string(what) + " is " + std::to_string(value) + ", outside " +
                  std::to_string(low) + " .. " + std::to_string(high));
    }
    out = static_cast<int16_t>(value);
    return true;
  }

  // Records the first failure, at the line of the item read last (or at `line`).
  bool Fail(std::string reason) { return FailAt(itemLine_, std::move(reason)); }
  bool FailAt(int line, std::string reason) {
    if (error_.empty()) {
      error_ = std::move(reason);
      errorLine_ = line;
    }
    return false;
  }

 private:
  // Consumes one byte of an item.
  int Take() {
    const int c = reader_.ReadChar();
    if (c >= 0) contentLine_ = line_;
    return c;
  }

  void EndLine() {
    contentLine_ = line_;
    if (reader_.ReadChar() == '\r' && reader_.PeekChar() == '\n') reader_.ReadChar();
    ++line_;
  }

  platform::TextReader& reader_;
  int line_ = 1;
  int itemLine_ = 1;
  int contentLine_ = 1;  // line of the last byte read that was not a line end
  int errorLine_ = 0;
  bool afterComma_ = false;
  std::string error_;
};

// A reference to check once every record has been read, with its line.
struct Reference {
  int line;
  int16_t value;
  int16_t limit;
  std::string what;
};

bool ReadBox(ItemReader& in, Box& box, bool optional, const char* whose) {
  const std::string prefix = std::string(whose) + " box ";
  const std::string names[4] = {prefix + "top", prefix + "left", prefix + "bottom",
                                prefix + "right"};
  const long highs[4] = {platform::kConsoleRows, platform::kConsoleColumns, platform::kConsoleRows,
                         platform::kConsoleColumns};
  for (int i = 0; i < 4; ++i) {
    // Without a window (top 0) the other three numbers mean nothing; they are still
    // read, and kept within 16 bits.
    const bool free = optional && box[0] == 0 && i > 0;
    const long low = (i == 0 && optional) ? 0 : 1;
    if (!in.Number(box[i], free ? -32768 : low, free ? 32767 : highs[i], names[i].c_str())) {
      return false;
    }
  }
  if (box[0] == 0) return true;
  if (box[2] <= box[0]) {
    return in.Fail(prefix + "bottom " + std::to_string(box[2]) + " is not below its top " +
                   std::to_string(box[0]));
  }
  if (box[3] <= box[1]) {
    return in.Fail(prefix + "right " + std::to_string(box[3]) + " is not right of its left " +
                   std::to_string(box[1]));
  }
  return true;
}

// Checks that the field lies inside its screen's window (or the console) with
// everything the display and the editor draw for it.
bool CheckFieldArea(ItemReader& in, const Screen& screen, const FormField& f,
                    const std::string& name, int line) {
  auto fail = [&](std::string reason) { return in.FailAt(line, std::move(reason)); };
  const bool window = screen.box[0] != 0;
  const int height = window ? screen.box[2] - screen.box[0] - 1 : platform::kConsoleRows;
  const int width = window ? screen.box[3] - screen.box[1] - 1 : platform::kConsoleColumns;
  if (f.row < 1 || f.row > height) {
    return fail(name + " row " + std::to_string(f.row) + " is outside 1 .. " +
                std::to_string(height));
  }
  if (f.column < 1 || f.column > width) {
    return fail(name + " column " + std::to_string(f.column) + " is outside 1 .. " +
                std::to_string(width));
  }
  if (f.lineWidth != 0 && f.extraWidth != 0) {
    return fail(name + " has both a line width and an extra width");
  }
  const int valueColumn = f.column + static_cast<int>(f.label.size());
  int rows = 1;
  int extent = f.width + f.extraWidth;  // columns from the value column on
  if (f.lineWidth > 0) {
    rows = std::max(1, (f.width + f.lineWidth - 1) / f.lineWidth);
    extent = std::min<int>(f.lineWidth, std::max<int>(f.width, 1));
  }
  extent = std::max<int>(extent, KindDisplayWidth(f.kind));
  if (f.kind == kKindTextCode) {
    extent = std::max<int>(extent, kTextDescriptionWidth);
    ++rows;  // the description goes on the row below
  }
  if (!f.choices.empty() && f.lineWidth == 0) {
    // The editor draws the arrows one column left of the value and just right of
    // the widest description.
    if (valueColumn < 2) return fail(name + " has no room for the choice arrow on its left");
    extent = std::max<int>(
        extent,
        static_cast<int>(std::min<size_t>(WidestDescription(ParseChoices(f.choices)), 32767)) + 1);
  }
  if (f.row + rows - 1 > height) {
    return fail(name + " runs below the last row " + std::to_string(height));
  }
  if (valueColumn + extent - 1 > width) {
    return fail(name + " runs past the last column " + std::to_string(width) + " (it needs " +
                std::to_string(valueColumn + extent - 1) + ")");
  }
  return true;
}

bool ReadScreen(ItemReader& in, FormModel& m, int16_t s, std::vector<Reference>& refs) {
  Screen& screen = m.screens[static_cast<size_t>(s)];
  const std::string name = "screen " + std::to_string(s);
  if (!in.Text(screen.keyList, kMaxKeyListLength, (name + " key list").c_str())) return false;
  if (!in.Number(screen.fieldCount, 0, m.maxFields, (name + " field count").c_str())) {
    return false;
  }
  if (!in.Number(screen.nextScreen, 0, kMaxScreens, (name + " next screen").c_str())) {
    return false;
  }
  refs.push_back({in.itemLine(), screen.nextScreen, m.screenCount, name + " next screen"});
  if (!ReadBox(in, screen.box, true, name.c_str())) return false;
  screen.fields.assign(static_cast<size_t>(m.maxFields) + 1, FormField{});
  for (int16_t i = 1; i <= screen.fieldCount; ++i) {
    FormField& f = screen.fields[static_cast<size_t>(i)];
    const std::string fn = name + " field " + std::to_string(i);
    if (!in.Number(f.row, 0, 32767, (fn + " row").c_str())) return false;
    const int line = in.itemLine();  // the field's first item
    if (!in.Number(f.column, 0, 32767, (fn + " column").c_str()) ||
        !in.Text(f.label, kMaxLabelLength, (fn + " label").c_str()) ||
        !in.Number(f.width, 0, 32767, (fn + " width").c_str()) ||
        !in.Number(f.lineWidth, 0, 32767, (fn + " line width").c_str()) ||
        !in.Number(f.extraWidth, 0, 32767, (fn + " extra width").c_str()) ||
        !in.Number(f.flags, 0, 32767, (fn + " flags").c_str()) ||
        !in.Number(f.kind, -32768, 32767, (fn + " kind").c_str()) ||
        !in.Number(f.lookup, 0, kMaxLookups, (fn + " lookup").c_str())) {
      return false;
    }
    refs.push_back({in.itemLine(), f.lookup, -1, fn + " lookup"});
    if (!in.Text(f.choices, kMaxChoicesLength, (fn + " choices").c_str())) return false;
    f.label = session::Translate(f.label);
    f.choices = session::Translate(f.choices);
    if (f.label.size() > kMaxLabelLength) f.label.resize(kMaxLabelLength);
    f.value.assign(static_cast<size_t>(f.width), ' ');
    // The area is checked on the translated texts, since those are drawn.
    if (!CheckFieldArea(in, screen, f, fn, line)) return false;
  }
  return true;
}

bool ReadLookup(ItemReader& in, FormModel& m, int16_t l, std::vector<Reference>& refs) {
  Lookup& k = m.lookups[static_cast<size_t>(l)];
  const std::string name = "lookup " + std::to_string(l);
  if (!in.Number(k.recordFile, 0, 32767, (name + " record file").c_str()) ||
      !in.Number(k.keyNumber, 0, kMaxKeyNumber, (name + " key number").c_str()) ||
      !ReadBox(in, k.box, false, name.c_str())) {
    return false;
  }
  if (k.box[2] - k.box[0] < 2 || k.box[3] - k.box[1] < 2) {
    return in.Fail(name + " box leaves no room inside its frame");
  }
  if (!in.Number(k.filterScreen, 0, kMaxScreens, (name + " filter screen").c_str())) return false;
  refs.push_back({in.itemLine(), k.filterScreen, m.screenCount, name + " filter screen"});
  if (!in.Text(k.title, kMaxTitleLength, (name + " title").c_str())) return false;
  if (!in.Number(k.nestedLookup, 0, kMaxLookups, (name + " nested lookup").c_str())) {
    return false;
  }
  refs.push_back({in.itemLine(), k.nestedLookup, -1, name + " nested lookup"});
  k.title = session::Translate(k.title);
  if (k.title.size() > kMaxTitleLength) k.title.resize(kMaxTitleLength);
  return true;
}

// The first screen on a nextScreen chain that comes back to a screen already on it;
// 0 when every chain ends.
int16_t ScreenInLoop(const FormModel& m) {
  for (int16_t s = 1; s <= m.screenCount; ++s) {
    int16_t t = s;
    for (int steps = 0; t != 0; ++steps) {
      if (steps > m.screenCount) return s;
      t = m.screens[static_cast<size_t>(t)].nextScreen;
    }
  }
  return 0;
}

int16_t LookupInLoop(const FormModel& m) {
  for (int16_t l = 1; l <= m.lookupCount; ++l) {
    int16_t t = l;
    for (int steps = 0; t != 0; ++steps) {
      if (steps > m.lookupCount) return l;
      t = m.lookups[static_cast<size_t>(t)].nestedLookup;
    }
  }
  return 0;
}

// Lines where each screen's and lookup's record begins, for messages about links.
struct RecordLines {
  std::vector<int> screens;
  std::vector<int> lookups;
};

int16_t Load(std::string_view path, FormModel& m, std::string& message) {
  platform::TextReader reader;
  if (!reader.Open(path)) {
    message = "The form definition file " + std::string(path) + " cannot be opened.";
    return kFormMissing;
  }
  ItemReader in(reader);
  std::vector<Reference> refs;
  RecordLines lines;
  bool ok = true;
  auto record = [&](const char* what) {
    if (in.SkipComments()) return true;
    in.Fail(std::string("the file ends before ") + what);
    return false;
  };

  ok = record("the header") && in.Number(m.screenCount, 1, kMaxScreens, "the screen count") &&
       in.Number(m.maxFields, kModuleFieldCount, kMaxFieldsPerScreen, "the largest field count");
  if (ok) {
    m.screens.assign(static_cast<size_t>(m.screenCount) + 1, Screen{});
    lines.screens.assign(static_cast<size_t>(m.screenCount) + 1, 0);
  }
  for (int16_t s = 1; ok && s <= m.screenCount; ++s) {
    const std::string what = "screen " + std::to_string(s);
    ok = record(what.c_str());
    lines.screens[static_cast<size_t>(s)] = in.line();
    ok = ok && ReadScreen(in, m, s, refs);
  }
  ok = ok && record("the lookup count") &&
       in.Number(m.lookupCount, 1, kMaxLookups, "the lookup count");
  if (ok) {
    m.lookups.assign(static_cast<size_t>(m.lookupCount) + 1, Lookup{});
    lines.lookups.assign(static_cast<size_t>(m.lookupCount) + 1, 0);
  }
  for (int16_t l = 1; ok && l <= m.lookupCount; ++l) {
    const std::string what = "lookup " + std::to_string(l);
    ok = record(what.c_str());
    lines.lookups[static_cast<size_t>(l)] = in.line();
    ok = ok && ReadLookup(in, m, l, refs);
  }
  int errorLine = 0;
  if (ok) {
    for (const Reference& r : refs) {
      const int16_t limit = r.limit < 0 ? m.lookupCount : r.limit;
      if (r.value > limit) {
        ok = in.Fail(r.what + " " + std::to_string(r.value) + " does not exist (there are " +
                     std::to_string(limit) + ")");
        errorLine = r.line;
        break;
      }
    }
  }
  if (ok) {
    if (const int16_t s = ScreenInLoop(m); s != 0) {
      ok = in.Fail("the next-screen links from screen " + std::to_string(s) +
                   " come back to a screen already on the chain");
      errorLine = lines.screens[static_cast<size_t>(s)];
    } else if (const int16_t l = LookupInLoop(m); l != 0) {
      ok = in.Fail("the nested lookups from lookup " + std::to_string(l) +
                   " come back to a lookup already on the chain");
      errorLine = lines.lookups[static_cast<size_t>(l)];
    } else if (m.screens[1].fieldCount < kModuleFieldCount) {
      ok = in.Fail("screen 1 has " + std::to_string(m.screens[1].fieldCount) +
                   " fields; the module reads fields 1 .. 15 of it");
      errorLine = lines.screens[1];
    }
  }
  if (!ok) {
    if (errorLine == 0) errorLine = in.errorLine();
    message = "The form definition file " + std::string(path) + " is not valid, line " +
              std::to_string(errorLine) + ": " + in.error() + ".";
    return kFormMalformed;
  }
  return kFormLoaded;
}

void StoreDefaults(FormModel& m) {
  const std::string defaults[kModuleFieldCount] = {
      format::DateDigits(session::Session().sessionDate),
      "",
      "1",
      "0",
      "999",
      "999",
      "T",
      "1",
      "99",
      "1",
      "2000000000",
      "C",
      "45",
      "9",
      "16"};
  for (int16_t f = 1; f <= kModuleFieldCount; ++f) {
    StoreFieldValue(m.screens[1].fields[static_cast<size_t>(f)],
                    defaults[static_cast<size_t>(f - 1)]);
  }
}

}  // namespace

FormModel& Form() {
  static FormModel model;
  return model;
}

void ResetForm() {
  Form() = FormModel{};
}

Screen* FindScreen(int16_t screen) {
  FormModel& m = Form();
  if (screen < 1 || screen > m.screenCount || static_cast<size_t>(screen) >= m.screens.size()) {
    return nullptr;
  }
  return &m.screens[static_cast<size_t>(screen)];
}

FormField* FindField(int16_t screen, int16_t field) {
  Screen* s = FindScreen(screen);
  if (s == nullptr || field < 1 || field > s->fieldCount ||
      static_cast<size_t>(field) >= s->fields.size()) {
    return nullptr;
  }
  return &s->fields[static_cast<size_t>(field)];
}

Lookup* FindLookup(int16_t lookup) {
  FormModel& m = Form();
  if (lookup < 1 || lookup > m.lookupCount || static_cast<size_t>(lookup) >= m.lookups.size()) {
    return nullptr;
  }
  return &m.lookups[static_cast<size_t>(lookup)];
}

void StoreFieldValue(FormField& field, std::string_view text) {
  const size_t width = field.width > 0 ? static_cast<size_t>(field.width) : 0;
  field.value.assign(text.substr(0, width));
  field.value.resize(width, ' ');
}

std::string FormDefinitionPath() {
  const session::SessionContext& s = session::Session();
  return s.rootDir + "FORMS\\" + s.moduleName + ".ZPN";
}

int16_t LoadFormDefinition(std::string& message) {
  return LoadFormDefinitionFrom(FormDefinitionPath(), message);
}

int16_t LoadFormDefinitionFrom(std::string_view path, std::string& message) {
  ResetForm();
  message.clear();
  FormModel m;
  const int16_t status = Load(path, m, message);
  if (status != kFormLoaded) return status;
  StoreDefaults(m);
  Form() = std::move(m);
  return kFormLoaded;
}

}  // namespace forms
