#pragma once
// Reading the print spool: the file split into lines, and each line into its kind.
//
// Line kinds (the first bytes decide):
//   "DEVICE" + device text        first line, exactly once
//   "PAGE" + number               a new page of that many lines
//   "*" + commands                printer commands, one character each
//   "JUS" + code                  alignment of the text lines that follow
//   number "," text "," number    text at a start column, then a line advance; the text
//                                 runs from the first comma to the last comma
// Numbers are written in list format (" 12 ", "-3 "): blanks, an optional sign, digits,
// blanks.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace zurprint {

// Longest spool line accepted, end of line excluded. A longer line is refused rather
// than cut, so that a cut text line can never be taken for a shorter one.
inline constexpr size_t kMaxSpoolLineBytes = 1 << 20;

// Numbers in spool lines are clamped to this magnitude; every bound the renderer applies
// is far below it.
inline constexpr long kMaxSpoolNumber = 1000000000L;

enum class SpoolLineKind { kDevice, kPage, kCommand, kJustify, kText };

// How the texts that follow a "JUS" line are aligned.
struct Justification {
  char code = 'E';      // 'E' left, 'D' right, 'C' centred, 'A' both margins, 'N' fill
  long fillColumn = 0;  // 'N': the fill runs up to, not including, this column
  std::string fill;     // 'N': the text between the backslashes; empty: no fill
};

struct SpoolLine {
  SpoolLineKind kind = SpoolLineKind::kText;
  std::string_view text;        // device text, command characters, or the positioned text
  long number = 0;              // PAGE: lines
  long startColumn = 0;         // text: 1-based column, 0 = where the previous text ended
  long advance = 0;             // text: lines to move down after the text (negative: up)
  Justification justification;  // JUS
};

// Splits one line (without its end) into its kind. The texts point into `line`.
// False, with a short reason, when the line is none of the kinds.
bool ParseSpoolLine(std::string_view line, SpoolLine& out, std::string& reason);

// The lines of a spool file. Lines end with LF or CR LF; a last line without an end is
// read too; a Ctrl-Z byte ends the file, as in the suite's other text readers.
class SpoolFileReader {
 public:
  enum class Result { kLine, kEnd, kTooLong, kReadError };

  SpoolFileReader() = default;
  SpoolFileReader(const SpoolFileReader&) = delete;
  SpoolFileReader& operator=(const SpoolFileReader&) = delete;
  ~SpoolFileReader() { Close(); }

  // Opens a regular file of this system. False with the system's reason otherwise.
  bool Open(const std::string& path, std::string& reason);
  void Close();

  // The next line into `line` (kLine). kEnd at the end of the file; kTooLong for a line
  // longer than kMaxSpoolLineBytes; kReadError when the system fails to read.
  Result ReadLine(std::string& line);

  // 1-based number of the line last read.
  long lineNumber() const { return lineNumber_; }

 private:
  bool Refill();
  std::FILE* file_ = nullptr;
  std::string buffer_;
  size_t pos_ = 0;
  size_t end_ = 0;
  bool ended_ = false;
  bool failed_ = false;
  long lineNumber_ = 0;
};

}  // namespace zurprint
