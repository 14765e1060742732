#pragma once
// The field file workDir + merge.tmp: every value a letter template may name, for one
// owner, written before each letter and read back by the template merge.
//
// Each field is a name line, the byte 127 followed by the name, and the value: one or
// more lines, the last of which ends with the byte 255 just before its line end.
// Lines end with CR LF. Fields in order: MEM1 .. MEM8 (letterhead), FEC0, FEC1, FECHA,
// FEC3, FEC4 (the letter date in figures, abbreviated and in words), DES0 .. DES4
// (address block), DES5 (the unit's own address), NUMREB, TOTPEN, RELPEN (pending
// receipts; RELPEN spans several lines).

#include <string>
#include <string_view>

#include "app/letter_status.h"

namespace app {

inline constexpr char kNameLineMark = '\x7f';
inline constexpr char kValueEnd = '\xff';

// workDir + "merge.tmp".
std::string FieldFilePath();

// Appends one single-line field to the file's text. Bytes that would break the file's
// lines (CR, LF, Ctrl-Z, 127 and 255) are written as blanks; nothing else is quoted or
// changed.
void WriteField(std::string& fieldText, std::string_view name, std::string_view value);

// Writes the field file anew for the current owner (address block built, pending
// receipts counted) with every field. kFieldFileNotWritten with the path when the file
// cannot be opened or any byte of it cannot be written. The file is rewritten in
// place and cut to its new length rather than emptied first, which spares the file
// system a flush of the short-lived file on every letter.
LetterProblem WriteFieldFile();

}  // namespace app
