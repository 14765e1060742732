#pragma once
// The lookup window (F4): a framed list of the records of one record file, one line
// per record from a start key on, scrolled with the arrows and the page keys and
// chosen with Enter. Lines are read from the record file only as far as the page
// shown and kept in the work file workDir + "Browse.tmp", so scrolling back never
// reads the record file again.
//
// Browse.tmp: entries one after the other; a "position" is 1-based (position 1 =
// offset 0), numbers are signed little-endian.
//   offset  size  meaning
//   0       4     position of the previous entry; 0 for the first entry
//   4       4     the record's position in the record file; 0 = none
//   8       2     n, length of the display line
//   10      n     the display line, without trailing blanks
// The file is emptied when a window over a record file opens. Entries are not
// trusted: a length running past the end of the file (or negative) ends the list
// there, and a previous-entry position that does not lie before the entry is taken
// as the start of the list.

#include <cstddef>
#include <cstdint>
#include <string>

namespace forms {

inline constexpr const char* kBrowseFileName = "Browse.tmp";
inline constexpr size_t kBrowseHeaderSize = 10;
// Keys read while the list is being filled are kept for the window, up to this many;
// past that the keyboard is not looked at until they have been handled.
inline constexpr size_t kMaxKeysKeptWhileFilling = 64;

// workDir + "Browse.tmp".
std::string BrowseFilePath();

// The module's lookups, replaceable as a whole by another module.
struct LookupHooks {
  // Sets the start key and the bound (the key image that ends the list); a nonzero
  // result ends the window with it as its result.
  int16_t (*startKey)(int16_t lookup, std::string& startKey, std::string& bound);
  // The display line of the record now in the record buffer.
  std::string (*line)(int16_t lookup);
  // Stores the chosen record's code into the field (through CheckField). Setting
  // lookup to 0 opens the window again.
  void (*accept)(int16_t& lookup, int16_t& screen, int16_t& field);
};

// The hooks in use; the module's own (below) until others are installed.
const LookupHooks& CurrentLookupHooks();
void SetLookupHooks(const LookupHooks& hooks);
void ResetLookupHooks();

// This module's lookups 1 .. 4:
//   1  texts (60): start key and bound = field 1 of the filter screen, trimmed, in
//      capitals; line = group (shown on a group's first entry only) + 2 blanks, the
//      code, 2 blanks, the description; accept = the code
//   2  properties (511): whole file; line = last 3 digits of the number, 2 blanks,
//      addressLine1; accept = the 3 digits
//   3  owners (513) from the property of screen 1 field 3; 4 the same with field 5;
//      line = last 3 digits of the owner code, 2 blanks, the name, 2 blanks, the
//      unit; accept = the 3 digits
// Any other lookup: start key "", line "", accept nothing.
int16_t LookupStartKey(int16_t lookup, std::string& startKey, std::string& bound);
std::string LookupLine(int16_t lookup);
void LookupAccept(int16_t& lookup, int16_t& screen, int16_t& field);

// What Enter chose in a window without a record file: the entry's record position
// and line, for a caller that wants them.
struct LookupChoice {
  int32_t recordPosition = 0;
  std::string text;
};
LookupChoice& LastLookupChoice();

// Runs the lookup window. result: 0 a record was chosen and read into the record
// buffer of the lookup's file (or, without a file, an entry chosen); -1 nothing
// chosen (Esc, Esc on the filter screen, an empty list); other: the record manager's
// status of reading the chosen record. F4 in a window with a nested lookup runs that
// one after this one has closed its work file and reports its result.
void LookupWindow(int16_t& lookup, int16_t& result);

}  // namespace forms
