#pragma once
// Colour codes: every piece of output chooses one of the five roles of the
// session's palette with a short code. Letters (either case): "U" the field colour
// (entry 4); otherwise "R" adds 2 and "N" adds 1 (entries 0 .. 3: "h" or no letter
// 0 highlight, "n" 1 normal, "r" 2 reverse, "rn" 3). "+" first saves the entry in
// force on the colour stack; "-" takes the last saved entry back (0 when none is
// saved) and ignores the letters.

#include <string_view>

namespace console {

// Applies a colour code to the console's output colour. An empty or all-blank code
// changes nothing. A palette colour outside 0 .. 15 leaves that half of the console
// colour as it is.
void SetColour(std::string_view code);

}  // namespace console
