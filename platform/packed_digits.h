#pragma once
// Packed digits, the encoding of numbers and dates in the suite's record files:
// two decimal digits per byte, each byte holding 128 plus the two-digit value.

#include <string>
#include <string_view>

namespace platform {

// Packs a digit text into (length + 1) / 2 bytes. The text is trimmed of blanks,
// right-justified and zero-filled to its own length, and remaining blanks read as
// "0"; a missing or non-digit character counts 0 (so an odd length packs as if a
// "0" followed). " 12" packs like "012"; "123" packs to the pairs 12 and 30.
std::string PackDigits(std::string_view digits);

// Unpacks every byte into two digits of (byte AND 127), keeping only the last two
// digits of values above 99; a blank reads "32", a NUL "00".
std::string UnpackDigits(std::string_view packed);

}  // namespace platform
