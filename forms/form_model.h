#pragma once
// The form model: the screens, fields and lookup windows of the module, read once
// at start-up from rootDir + "FORMS\" + module name + ".ZPN". Screens, fields and
// lookups are numbered from 1; every field's value is a text of exactly its width.
//
// The form definition file is a stream of items separated by commas or line ends.
// A number is a decimal integer; a text may be enclosed in double quotes and must be
// when it holds a comma or leading blanks (an unquoted text loses its outer blanks).
// Records, in order:
//   header    screenCount, maxFields
//   screen    keyList, fieldCount, nextScreen, box top, left, bottom, right, and then
//             fieldCount groups of: row, column, label, width, lineWidth,
//             extraWidth, flags, kind, lookup, choices          (x screenCount)
//   count     lookupCount
//   lookup    recordFile, keyNumber, box top, left, bottom, right, filterScreen,
//             title, nestedLookup                               (x lookupCount)
// Where a record begins, lines whose first character is "'" are comments and blank
// lines are passed over; inside a record every line is data. Nothing after the last
// lookup record is read.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace forms {

// Field flags.
inline constexpr int16_t kFlagFromBlanks = 1;   // edited from blanks; blank keeps the value
inline constexpr int16_t kFlagHidden = 2;       // typed characters echo "X"; never shown
inline constexpr int16_t kFlagDisplayOnly = 4;  // shown, never edited
inline constexpr int16_t kFlagCursorAtEnd = 8;  // cursor starts after the last non-blank

// Field kinds with a display and check rule of their own; any other kind is text.
inline constexpr int16_t kKindDate = 1;
inline constexpr int16_t kKindSmallNumber = 2;  // "ZZ9"
inline constexpr int16_t kKindTwoDigits = 3;    // "Z9"
inline constexpr int16_t kKindAmount = 4;       // 1 .. 2000000000, "Z,ZZZ,ZZZ,ZZ9"
inline constexpr int16_t kKindTextCode = 5;     // code of the texts file
inline constexpr int16_t kKindOneTo99 = 7;      // 1 .. 99, "Z9"

// Bounds the loader holds a form file to.
inline constexpr int16_t kMaxScreens = 200;
inline constexpr int16_t kMaxFieldsPerScreen = 200;
inline constexpr int16_t kMaxLookups = 200;
inline constexpr int16_t kModuleFieldCount = 15;  // fields of screen 1 the module reads
inline constexpr size_t kMaxLabelLength = 80;
inline constexpr size_t kMaxTitleLength = 255;
inline constexpr size_t kMaxKeyListLength = 1024;
inline constexpr size_t kMaxChoicesLength = 4096;
inline constexpr int16_t kMaxKeyNumber = 118;
// Width of the texts file's description, shown under a kind 5 code.
inline constexpr int16_t kTextDescriptionWidth = 40;

// Box: top row, left column, bottom row, right column on the 80 x 25 console.
using Box = std::array<int16_t, 4>;

struct FormField {
  int16_t row = 0;     // relative to the screen's window when it has one
  int16_t column = 0;  // where the label begins; the value follows the label
  std::string label;
  int16_t width = 0;       // length of value
  int16_t lineWidth = 0;   // characters per row of a multi-row field; 0 = one row
  int16_t extraWidth = 0;  // display columns after the value (choice descriptions)
  int16_t flags = 0;
  int16_t kind = 0;
  int16_t lookup = 0;   // lookup opened with F4; 0 = none
  std::string choices;  // "|code,description|code,description..."; "" = free text
  std::string value;    // always exactly width characters
};

struct Screen {
  std::string keyList;  // keys accepted (key-list syntax); F1 is added by the runner
  int16_t fieldCount = 0;
  int16_t nextScreen = 0;         // linked continuation screen; 0 = none
  Box box{};                      // box[0] == 0: no window of its own
  std::vector<FormField> fields;  // index 0 unused; 1 .. maxFields
};

struct Lookup {
  int16_t recordFile = 0;  // caller's file number browsed; 0 = the entries of Browse.tmp
  int16_t keyNumber = 0;
  Box box{};
  int16_t filterScreen = 0;  // screen run before browsing; 0 = none
  std::string title;         // "_" shows as a blank, a blank lets the frame through
  int16_t nestedLookup = 0;  // lookup opened with F4 inside this one; 0 = none
};

struct FormModel {
  int16_t screenCount = 0;
  int16_t maxFields = 0;
  int16_t lookupCount = 0;
  std::vector<Screen> screens;  // index 0 unused
  std::vector<Lookup> lookups;  // index 0 unused
};

// The form model of the process.
FormModel& Form();

// Empties the model (for tests, and before loading).
void ResetForm();

// The screen, or null when the number names none.
Screen* FindScreen(int16_t screen);
// The field (1 .. fieldCount of an existing screen), or null.
FormField* FindField(int16_t screen, int16_t field);
// The lookup, or null when the number names none.
Lookup* FindLookup(int16_t lookup);

// Stores text left-aligned into the field's value, padded with blanks or cut to width.
void StoreFieldValue(FormField& field, std::string_view text);

// Status of LoadFormDefinition.
inline constexpr int16_t kFormLoaded = 0;
inline constexpr int16_t kFormMissing = 1;    // the file cannot be opened
inline constexpr int16_t kFormMalformed = 2;  // cut short or a value out of range

// rootDir + "FORMS\" + module name + ".ZPN".
std::string FormDefinitionPath();

// Reads the form definition file into Form(), translating labels, choices and
// titles, and stores the defaults of fields 1 .. 15 of screen 1. On failure returns
// kFormMissing or kFormMalformed with a message naming the file (and the line),
// leaves the model empty and draws nothing: the caller shows the message and stops.
int16_t LoadFormDefinition(std::string& message);
// The same for a given file (tests, tools).
int16_t LoadFormDefinitionFrom(std::string_view path, std::string& message);

// The two work lists of the letter run, the address block (5 lines) and the label
// lines (100), belong to the letter module, which creates them empty itself after
// the form is loaded.

}  // namespace forms
