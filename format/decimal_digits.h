#pragma once
// The rounding rule shared by the number formatters: a value scaled to a number of
// decimal places and rounded to a whole number, ties to the even neighbour.

#include <string>

namespace format {

// The digits of |value| x 10^places rounded to a whole number, most significant
// first, without leading zeros ("" for zero). The product is computed in binary
// double precision and rounded half to even (0.125 at 2 places gives "12", 2.5 at 0
// places "2"); a product beyond the double range is rounded exactly instead. Requires
// a finite value; places below 0 count as 0. Any number of places is exact: a
// double has no digits beyond 1074 decimal places, so further places are zeros.
std::string DecimalDigits(double value, int places);

}  // namespace format
