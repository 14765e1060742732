#pragma once
// Small form definition files written by the forms tests: screens, fields and
// lookups described as structs and laid out the way the form file wants them (CR LF
// line ends, texts in double quotes).

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "forms/form_model.h"
#include "tests/support/temp_dir.h"

namespace form_files {

struct F {
  F(int row_ = 1, int column_ = 1, std::string label_ = "", int width_ = 1, int lineWidth_ = 0,
    int extraWidth_ = 0, int flags_ = 0, int kind_ = 0, int lookup_ = 0, std::string choices_ = "")
      : row(row_),
        column(column_),
        label(std::move(label_)),
        width(width_),
        lineWidth(lineWidth_),
        extraWidth(extraWidth_),
        flags(flags_),
        kind(kind_),
        lookup(lookup_),
        choices(std::move(choices_)) {}

  int row = 1;
  int column = 1;
  std::string label;
  int width = 1;
  int lineWidth = 0;
  int extraWidth = 0;
  int flags = 0;
  int kind = 0;
  int lookup = 0;
  std::string choices;
};

struct S {
  std::string keyList = "d,1b,4800,5000,4900,5100";
  int next = 0;
  std::array<int, 4> box{};
  std::vector<F> fields;
};

struct L {
  int recordFile = 0;
  int keyNumber = 0;
  std::array<int, 4> box{3, 10, 10, 60};
  int filterScreen = 0;
  std::string title;
  int nested = 0;
};

inline std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

inline std::string FieldLine(const F& f) {
  return std::to_string(f.row) + "," + std::to_string(f.column) + "," + Quoted(f.label) + "," +
         std::to_string(f.width) + "," + std::to_string(f.lineWidth) + "," +
         std::to_string(f.extraWidth) + "," + std::to_string(f.flags) + "," +
         std::to_string(f.kind) + "," + std::to_string(f.lookup) + "," + Quoted(f.choices);
}

inline std::string ScreenLines(const S& s) {
  std::string out = Quoted(s.keyList) + "," + std::to_string(s.fields.size()) + "," +
                    std::to_string(s.next) + "," + std::to_string(s.box[0]) + "," +
                    std::to_string(s.box[1]) + "," + std::to_string(s.box[2]) + "," +
                    std::to_string(s.box[3]) + "\r\n";
  for (const F& f : s.fields) out += FieldLine(f) + "\r\n";
  return out;
}

inline std::string LookupLine(const L& l) {
  return std::to_string(l.recordFile) + "," + std::to_string(l.keyNumber) + "," +
         std::to_string(l.box[0]) + "," + std::to_string(l.box[1]) + "," +
         std::to_string(l.box[2]) + "," + std::to_string(l.box[3]) + "," +
         std::to_string(l.filterScreen) + "," + Quoted(l.title) + "," + std::to_string(l.nested);
}

// Screen 1 of a test form when the test works on other screens: the 15 fields the
// module reads, display only, on the last row.
inline S FillerScreen() {
  S s;
  for (int i = 0; i < 15; ++i) s.fields.push_back({25, 1 + 5 * i, "", 4, 0, 0, 4, 0, 0, ""});
  return s;
}

inline std::string FormText(const std::vector<S>& screens, const std::vector<L>& lookups,
                            int maxFields = 20) {
  std::string out = std::to_string(screens.size()) + "," + std::to_string(maxFields) + "\r\n";
  for (const S& s : screens) out += ScreenLines(s);
  out += std::to_string(lookups.size()) + "\r\n";
  for (const L& l : lookups) out += LookupLine(l) + "\r\n";
  return out;
}

// Writes the text to dir/FORMS/TEST.ZPN and loads it; the status, with the message.
inline int16_t LoadForm(const testing_support::TempDir& dir, const std::string& text,
                        std::string& message) {
  const std::string path = dir / "FORMS/TEST.ZPN";
  testing_support::WriteFile(path, text);
  return forms::LoadFormDefinitionFrom(path, message);
}

}  // namespace form_files
