#pragma once
// The print spool: workDir + zurprint.tmp, a small line language read by the print
// program. The first line is "DEVICE" + the output device; then page lines
// ("PAGE n"), printer commands ("*" + command), justification lines ("JUS" + code)
// and positioned text lines ("start,text,advance"). Numbers are written in list
// format: a blank or "-", the digits, a blank.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text_file.h"

namespace print {

struct SpoolState {
  platform::TextWriter spoolFile;  // open from OpenSpool to CloseSpool
  int16_t pageLength = 0;          // lines of the current page, from the last page line
  int16_t lineCount = 0;           // lines advanced since the last page line
  int16_t column = 0;              // column reached on the current line
};

// The spool state of the process. Page length, line count and column carry over
// from one batch to the next until the next page line.
SpoolState& Spool();

// Puts the spool state back to its start (closing any open file; for tests).
void ResetSpool();

// The spool file's suite path: workDir + "zurprint.tmp".
std::string SpoolPath();

// Creates the spool empty (overwriting it) and writes "DEVICE" + device. False when
// the file cannot be created or written; the state is then closed.
bool OpenSpool(std::string_view device);

// Closes the spool. True only when the file was open and every line of the batch
// reached the disk; false when anything failed (a full disk, a removed directory).
bool CloseSpool();

// Writes "*" + command.
void SpoolCommand(std::string_view command);

// Writes "PAGE" + lines; a new page of that many lines begins (line count and
// column back to 0).
void SpoolPage(int16_t lines);

// Normalises the code and writes "JUS" + it; the caller's code receives the
// normalised form: "C"; "D" for D or R; "A" for A or B; "N <col> \fill\" for N;
// "E" for anything else.
void SpoolJustify(std::string& code);

// Writes one text line: startColumn (0 = where the previous text ended), ",", the
// text with every byte 0 .. 31, 127 and 255 written as a blank, ",", advance. When
// the line count has reached the page length, an automatic page line of the same
// length comes first.
void SpoolText(int16_t startColumn, std::string_view text, int16_t advance);

}  // namespace print
