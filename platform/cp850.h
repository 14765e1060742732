#pragma once
// The console code page: code page 850 with the euro sign at 0xD5 (where Alt+E
// puts it), and conversions between it and Unicode / UTF-8.

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The Unicode character of a byte as text: 0 .. 127 are ASCII (control codes stay
// control codes), 128 .. 255 the accented letters, box drawing and signs.
char32_t Cp850ToUnicode(uint8_t byte);

// The character a console draws for a byte: as Cp850ToUnicode, except that the
// bytes 1 .. 31 and 127 show the PC glyphs (0x10 ►, 0x11 ◄, ...) and 0 a blank.
char32_t Cp850Glyph(uint8_t byte);

// The byte of a Unicode character. False when code page 850 lacks it.
bool UnicodeToCp850(char32_t ch, uint8_t& byte);

// UTF-8 for a text of code page 850 bytes (each byte through Cp850ToUnicode).
std::string Cp850ToUtf8(std::string_view text);

// Code page 850 bytes for UTF-8 text. Characters the code page lacks, and bytes
// that are not valid UTF-8, become `replacement`; *lost (when given) tells whether
// that happened.
std::string Utf8ToCp850(std::string_view utf8, char replacement = '?', bool* lost = nullptr);

// Appends the UTF-8 encoding of one character.
void AppendUtf8(std::string& out, char32_t ch);

// Decodes one UTF-8 character at text[pos], advancing pos. False (pos advanced by
// one) for an invalid or cut-short sequence.
bool DecodeUtf8(std::string_view text, size_t& pos, char32_t& ch);

}  // namespace platform
