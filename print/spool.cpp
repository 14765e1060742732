#include "print/spool.h"

#include <cstdlib>
#include <limits>

#include "platform/ascii_text.h"
#include "session/session.h"

namespace print {
namespace {

using platform::ClampToInt16;
using platform::LeadingWholeNumber;

// Appends a number in list format: "-" or a blank, the digits, a blank.
void AppendListNumber(std::string& out, long value) {
  char text[24];  // filled from the end: blank, digits, sign
  size_t at = sizeof text;
  text[--at] = ' ';
  unsigned long magnitude =
      value < 0 ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
  do {
    text[--at] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  text[--at] = value < 0 ? '-' : ' ';
  out.append(text + at, sizeof text - at);
}

// The line being built; kept between calls so that writing a line allocates nothing.
std::string& LineScratch() {
  static std::string line;
  line.clear();
  return line;
}

}  // namespace

SpoolState& Spool() {
  static SpoolState state;
  return state;
}

void ResetSpool() {
  SpoolState& s = Spool();
  s.spoolFile.Close();
  s.pageLength = 0;
  s.lineCount = 0;
  s.column = 0;
}

std::string SpoolPath() {
  return session::Session().workDir + "zurprint.tmp";
}

bool OpenSpool(std::string_view device) {
  SpoolState& s = Spool();
  if (!s.spoolFile.Create(SpoolPath())) return false;
  s.spoolFile.WriteLine("DEVICE" + std::string(device));
  if (s.spoolFile.Failed()) {
    s.spoolFile.Close();
    return false;
  }
  return true;
}

bool CloseSpool() {
  return Spool().spoolFile.Close();
}

void SpoolCommand(std::string_view command) {
  Spool().spoolFile.WriteLine("*" + std::string(command));
}

void SpoolPage(int16_t lines) {
  SpoolState& s = Spool();
  std::string& line = LineScratch();
  line += "PAGE";
  AppendListNumber(line, lines);
  s.spoolFile.WriteLine(line);
  s.pageLength = lines;
  s.lineCount = 0;
  s.column = 0;
}

void SpoolJustify(std::string& code) {
  std::string_view c = code;
  size_t first = c.find_first_not_of(' ');
  char letter = first == std::string_view::npos ? ' ' : c[first];
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 32);
  std::string normal;
  switch (letter) {
    case 'C':
      normal = "C";
      break;
    case 'D':
    case 'R':
      normal = "D";
      break;
    case 'A':
    case 'B':
      normal = "A";
      break;
    case 'N': {
      long column = std::labs(LeadingWholeNumber(c.substr(first + 1)));
      std::string fill;
      size_t open = c.find('\\');
      if (open != std::string_view::npos) {
        size_t close = c.find('\\', open + 1);
        fill = std::string(c.substr(
            open, close == std::string_view::npos ? std::string_view::npos : close - open + 1));
      }
      normal = "N " + std::to_string(column) + " " + fill;
      break;
    }
    default:
      normal = "E";
      break;
  }
  code = normal;
  Spool().spoolFile.WriteLine("JUS" + normal);
}

void SpoolText(int16_t startColumn, std::string_view text, int16_t advance) {
  SpoolState& s = Spool();
  if (s.lineCount >= s.pageLength) SpoolPage(s.pageLength);
  std::string& line = LineScratch();
  AppendListNumber(line, startColumn);
  line += ',';
  const size_t textAt = line.size();
  line += text;
  for (size_t i = textAt; i < line.size(); ++i) {
    const unsigned char u = static_cast<unsigned char>(line[i]);
    if (u < 32 || u == 127 || u == 255) line[i] = ' ';
  }
  line += ',';
  AppendListNumber(line, advance);
  line += "\r\n";
  s.spoolFile.Write(line);
  if (advance != 0) {
    s.lineCount = ClampToInt16(static_cast<long>(s.lineCount) + advance);
    s.column = 0;
  } else {
    if (startColumn != 0) s.column = startColumn;
    s.column = ClampToInt16(static_cast<long>(s.column) + static_cast<long>(text.size()));
  }
}

}  // namespace print
