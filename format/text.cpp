#include "format/text.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <initializer_list>
#include <vector>

#include "format/format_state.h"
#include "platform/ascii_text.h"

namespace format {
namespace {

using platform::TrimBlanks;
using platform::UpperAscii;

using ByteMap = std::array<unsigned char, 256>;

struct Mapping {
  unsigned char to;
  std::initializer_list<unsigned char> from;
};

// Code page 850 letters without their accents. Every other code of 128 .. 237 (and
// the punctuation of 64 .. 127) becomes a blank.
constexpr Mapping kAccentless[] = {
    {'C', {128, 135}},
    {'U', {129, 150, 151, 154, 163, 233, 234, 235}},
    {'E', {130, 136, 137, 138, 144, 210, 211, 212, 213}},
    {'A', {131, 132, 133, 134, 142, 143, 145, 146, 160, 166, 181, 182, 183, 198, 199}},
    {'I', {139, 140, 141, 161, 214, 215, 216, 222}},
    {'O', {147, 148, 149, 153, 155, 157, 162, 167, 224, 226, 227, 228, 229}},
    {'Y', {152, 236, 237}},
    {'N', {164, 165}},
    {'D', {208, 209}},
    {'S', {225}},
    {'T', {231, 232}},
};

// Code page 850 small accented letters and their capitals.
constexpr unsigned char kCapitals[][2] = {
    {129, 154}, {130, 144}, {131, 182}, {132, 142}, {133, 183}, {134, 143}, {135, 128},
    {136, 210}, {137, 211}, {138, 212}, {139, 216}, {140, 215}, {141, 222}, {145, 146},
    {147, 226}, {148, 153}, {149, 227}, {150, 234}, {151, 235}, {160, 181}, {161, 214},
    {162, 224}, {163, 233}, {164, 165}, {198, 199}, {208, 209}, {228, 229}, {236, 237},
};

constexpr ByteMap Identity() {
  ByteMap map{};
  for (int c = 0; c < 256; ++c) map[c] = static_cast<unsigned char>(c);
  return map;
}

constexpr ByteMap BuildAccentless() {
  ByteMap map = Identity();
  for (int c = 64; c <= 237; ++c) map[c] = ' ';
  for (int c = 'A'; c <= 'Z'; ++c) map[c] = static_cast<unsigned char>(c);
  for (int c = 'a'; c <= 'z'; ++c) map[c] = static_cast<unsigned char>(c - 32);
  for (const Mapping& m : kAccentless) {
    for (unsigned char c : m.from) map[c] = m.to;
  }
  return map;
}

constexpr ByteMap BuildCapitals() {
  ByteMap map = Identity();
  for (int c = 'a'; c <= 'z'; ++c) map[c] = static_cast<unsigned char>(c - 32);
  for (const auto& pair : kCapitals) map[pair[0]] = pair[1];
  return map;
}

constexpr ByteMap kAccentlessMap = BuildAccentless();
constexpr ByteMap kCapitalsMap = BuildCapitals();

// Justifies a line to room characters by adding blanks between words: one blank per
// gap (a run of blanks after the first absIndent characters), gap after gap, the
// first round starting at the gap that holds the first blank from absIndent + 2 on
// (0-based), later rounds from the first gap. Lines without such a gap are left.
void Justify(std::string& line, long room, long absIndent, std::vector<size_t>& gaps) {
  const long length = static_cast<long>(line.size());
  if (length >= room || absIndent >= length) return;
  gaps.clear();
  size_t firstRound = 0;
  bool firstRoundFound = false;
  const size_t searchFrom = static_cast<size_t>(absIndent) + 2;
  for (size_t i = static_cast<size_t>(absIndent); i < line.size();) {
    if (line[i] != ' ') {
      ++i;
      continue;
    }
    const size_t start = i;
    while (i < line.size() && line[i] == ' ') ++i;
    if (!firstRoundFound && i > searchFrom) {
      firstRound = gaps.size();
      firstRoundFound = true;
    }
    gaps.push_back(start);
  }
  if (gaps.empty()) return;
  const size_t count = gaps.size();
  const size_t extra = static_cast<size_t>(room - length);
  std::string out;
  out.reserve(static_cast<size_t>(room));
  size_t from = 0;
  for (size_t g = 0; g < count; ++g) {
    out.append(line, from, gaps[g] - from);
    const size_t turn = (g + count - firstRound) % count;
    out.append(extra / count + (turn < extra % count ? 1 : 0), ' ');
    from = gaps[g];
  }
  out.append(line, from, std::string::npos);
  line.swap(out);
}

}  // namespace

std::string FoldText(std::string_view text) {
  const ByteMap& map = State().foldAccents ? kAccentlessMap : kCapitalsMap;
  std::string folded(text);
  for (char& c : folded) c = static_cast<char>(map[static_cast<unsigned char>(c)]);
  return folded;
}

bool& FoldAccents() {
  return State().foldAccents;
}

void LayoutText(std::string& text, int16_t indent, int16_t width, std::string_view align) {
  const long length = static_cast<long>(text.size());
  // 1-based access; past either end a character reads as empty (-1), below a blank.
  auto at = [&](long i) -> int {
    return (i >= 1 && i <= length) ? static_cast<unsigned char>(text[i - 1]) : -1;
  };
  auto isWord = [&](long i) { return at(i) > 32; };
  auto isControl = [&](long i) { return at(i) < 32; };

  const long absIndent = std::labs(static_cast<long>(indent));
  const long furtherIndent = indent < 0 ? absIndent : 0;
  long indentNow = indent > 0 ? indent : 0;
  const char code = align.empty() ? '\0' : UpperAscii(align[0]);

  std::string result;
  result.reserve(text.size() + text.size() / 4 + 16);
  std::string line;
  std::vector<size_t> gaps;
  long pos = 1;
  while (pos <= length) {
    // Every line takes at least one character: an indent as large as the width is
    // cut to leave one column, and a width below 1 gives one character a line.
    // Lines thus never grow beyond the width, which callers cut them back by.
    indentNow = std::min(indentNow, std::max(0L, static_cast<long>(width) - 1));
    // The piece takes width - indentNow visible characters.
    long room = std::max(1L, static_cast<long>(width) - indentNow);
    long n = 0;
    while (n != room && pos + n <= length) {
      if (isControl(pos + n)) ++room;
      ++n;
    }
    // Printer commands right after the last word go with it.
    if (isWord(pos + n - 1)) {
      while (pos + n <= length && isControl(pos + n)) {
        ++room;
        ++n;
      }
    }
    // Ending inside a word: move back to the blank before it, giving back the room
    // of the printer commands moved over.
    const long fullRoom = room;
    long k = room;
    while (isWord(pos + k) && k > 0) {
      if (isControl(pos + k - 1)) --room;
      --k;
    }
    if (isControl(pos + k) && k > 0) {
      while (k > 0 && at(pos + k - 1) == ' ') --k;
    }
    if (k < 1) {
      // One word longer than the line: cut it. The whole piece stays on the line,
      // printer commands included, so the line keeps its full width of text.
      room = fullRoom;
      k = room;
    }

    line.assign(static_cast<size_t>(indentNow), ' ');
    line.append(text, static_cast<size_t>(pos - 1), static_cast<size_t>(k));
    room += indentNow;
    const long free = room - static_cast<long>(line.size());
    switch (code) {
      case 'E':
      case 'L':
      case 'I':
        if (free > 0) line.append(static_cast<size_t>(free), ' ');
        break;
      case 'N':
        if (free > 0) line.append(static_cast<size_t>(free), '-');
        break;
      case 'D':
      case 'R':
        if (free > 0) line.insert(0, static_cast<size_t>(free), ' ');
        break;
      case 'C':
        if (free > 0) {
          line.insert(0, static_cast<size_t>(free / 2), ' ');
          line.append(static_cast<size_t>(free - free / 2), ' ');
        }
        break;
      case 'A':
      case 'B':
        if (length > pos + k) Justify(line, room, absIndent, gaps);
        break;
      default:
        break;
    }
    result += line;
    pos += k;
    while (at(pos) == ' ') ++pos;
    indentNow = furtherIndent;
  }
  text.swap(result);
}

int16_t IsAllChar(std::string_view text, int16_t code) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) != code) return 0;
  }
  return -1;
}

std::string NameDisplayOrder(std::string_view name) {
  const size_t star = name.find('*');
  if (star == std::string_view::npos || star == 0) return std::string(TrimBlanks(name));
  std::string result(TrimBlanks(name.substr(star + 1)));
  const size_t last = name.find_last_not_of(' ');
  if (name[last] != '\'') result += ' ';
  result += TrimBlanks(name.substr(0, star));
  return result;
}

}  // namespace format
