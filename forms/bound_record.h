#pragma once
// The record buffer the start-up bound to an open record file: the forms read the
// record a keyed read or a lookup left there.

#include <cstddef>
#include <cstdint>
#include <span>

namespace forms {

// The buffer bound to the open file, when it holds at least minSize bytes; an empty
// span when the file is not open or its buffer is shorter.
std::span<const char> BoundRecord(int16_t fileNumber, size_t minSize);

}  // namespace forms
