#pragma once
// The module's four record files, opened under rootDir and bound to the record
// buffers of Letters(): texts (60), properties (511), owners (513), receipts (514).

#include <cstdint>

namespace app {

// Opens the four files in that order with OpenRecordFile. A file that cannot be
// opened ends the module there (the record access layer shows why); when that end
// returns (tests), the failed status is returned. 0 when all four are open.
int16_t OpenLetterFiles();

}  // namespace app
