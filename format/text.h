#pragma once
// Text utilities: folding to capitals (with or without accents), laying a paragraph
// out in lines, testing for a text of one character, and names in reading order.
// Texts are code page 850 bytes; bytes below 32 inside a paragraph are printer
// commands and take no room on a line.

#include <cstdint>
#include <string>
#include <string_view>

namespace format {

// The text in capitals, same length. Only codes 64 .. 237 change: with FoldAccents()
// off, small letters (also accented ones) become their capitals; with it on, letters
// lose their accents too ("é", "É" -> "E") and other characters of that range become
// blanks ("@", "[", "ª" is "A", "º" is "O", box drawing -> " ").
std::string FoldText(std::string_view text);

// The process-wide switch of FoldText (off at start): set while a typed letter is
// compared with a choice list, cleared afterwards.
bool& FoldAccents();

// Replaces text by its lines laid out width characters wide, concatenated without
// separators. A positive indent indents the first line, a negative one every other
// line. Lines break between words; a word longer than the line is cut. Control
// characters take no room. The first character of align, in either case, aligns:
//   "E" "L" "I" left, blank-padded      "N" left, padded with "-"
//   "D" "R" right                       "C" centred (the odd blank behind)
//   "A" "B" justified by blanks added between words; the last line and lines
//           without a blank stay unpadded
//   other   unpadded
// Every line takes at least one character: an indent of the width or more is cut
// to width - 1, and a width of 0 or less lays out one character a line.
void LayoutText(std::string& text, int16_t indent, int16_t width, std::string_view align);

// -1 when every character of text has the code (also when text is empty), else 0.
int16_t IsAllChar(std::string_view text, int16_t code);

// A name stored as "surnames*first name" in reading order: "Serra Pujol*Anna" ->
// "Anna Serra Pujol", "Olzet*Joan d'" -> "Joan d'Olzet" (no blank after an
// apostrophe). A name without "*", or with "*" first, is only trimmed of blanks.
std::string NameDisplayOrder(std::string_view name);

}  // namespace format
