#pragma once
// Status numbers of the record manager (BTRCALL). They keep the numbers callers of
// this interface have always tested for; 0 is success.

#include <cstdint>
#include <string_view>

namespace platform {

inline constexpr int16_t kStatusSuccess = 0;
// unknown operation code
inline constexpr int16_t kStatusInvalidOperation = 1;
// the file could not be read or written, or is damaged
inline constexpr int16_t kStatusIoError = 2;
// the position block names no open file
inline constexpr int16_t kStatusFileNotOpen = 3;
// Get Equal: no record has that key value
inline constexpr int16_t kStatusKeyNotFound = 4;
// a unique key already holds that value
inline constexpr int16_t kStatusDuplicateKey = 5;
// the file has no key of that number
inline constexpr int16_t kStatusInvalidKeyNumber = 6;
// Get Next/Previous on another key than the position's
inline constexpr int16_t kStatusDifferentKeyNumber = 7;
// no current record (or it was deleted)
inline constexpr int16_t kStatusInvalidPositioning = 8;
// no record further in the direction of reading
inline constexpr int16_t kStatusEndOfFile = 9;
// Update would change a key that may not change
inline constexpr int16_t kStatusKeyNotModifiable = 10;
// the name is empty or names no regular file
inline constexpr int16_t kStatusInvalidFileName = 11;
// Open: the file does not exist
inline constexpr int16_t kStatusFileNotFound = 12;
// no room left (or no position number left)
inline constexpr int16_t kStatusDiskFull = 18;
// the database server cannot be reached: it is down, refused the login, has no such
// database, or the connection broke (PostgreSQL files only; see
// RecordManagerConnectionError for the server's own words)
inline constexpr int16_t kStatusManagerInactive = 20;
// the key buffer cannot hold the key
inline constexpr int16_t kStatusKeyBufferTooShort = 21;
// the data buffer is shorter than the data
inline constexpr int16_t kStatusDataBufferTooShort = 22;
// Create: page size not a multiple of 512 in 512 .. 4096
inline constexpr int16_t kStatusInvalidPageSize = 24;
// Create: the file could not be made
inline constexpr int16_t kStatusCreateIoError = 25;
// Create: no key, or more keys or segments than allowed
inline constexpr int16_t kStatusInvalidKeyCount = 26;
// Create: a segment lies outside the record
inline constexpr int16_t kStatusInvalidKeyPosition = 27;
// Create: record length outside 4 .. page size - 6
inline constexpr int16_t kStatusInvalidRecordLength = 28;
// Create: empty segment, or a key longer than 255 bytes
inline constexpr int16_t kStatusInvalidKeyLength = 29;
// the file is not a record file of this manager
inline constexpr int16_t kStatusNotARecordFile = 30;
// Begin Transaction while one is active
inline constexpr int16_t kStatusTransactionActive = 37;
// End/Abort Transaction without an active one
inline constexpr int16_t kStatusNoTransaction = 39;
// Close of a file with uncommitted changes
inline constexpr int16_t kStatusNotInTransaction = 41;
// Get Direct: no record at that position
inline constexpr int16_t kStatusInvalidRecordAddress = 43;
// Create: unsupported or contradicting key flags
inline constexpr int16_t kStatusInconsistentKeyFlags = 45;
// a write on a file opened read-only, or no permission
inline constexpr int16_t kStatusAccessDenied = 46;
// Create: alternate collating sequence missing/bad
inline constexpr int16_t kStatusInvalidAlternateSequence = 48;
// Create with "do not replace": the file exists
inline constexpr int16_t kStatusFileExists = 59;
// another program holds the data locked (after a wait)
inline constexpr int16_t kStatusRecordLocked = 84;
// Open: another program holds the file locked (after a wait)
inline constexpr int16_t kStatusFileLocked = 85;
// too many files open in this process
inline constexpr int16_t kStatusHandleTableFull = 87;

// Short English text for a status: "key value not found" for 4, and
// "unknown status N" for a number not listed above.
std::string_view RecordStatusText(int16_t status);

}  // namespace platform
