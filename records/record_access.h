#pragma once
// The record access layer: every record file of the module is opened, read and locked
// through it. A table of 40 open files, each named by the caller's own file number
// and bound to the caller's record buffer; after each successful read the record is
// in that buffer and the layer remembers the key value of the record reached.
// Status codes: 0 success; the record manager's status of a failed operation (4 key
// not found, 9 end of file, ...); 3 when the file number is not open; and the
// layer's own 1002, 1003, 1004 below. Status 22 (data buffer too short) counts as
// success everywhere but in OpenRecordFile.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/record_manager.h"

namespace records {

inline constexpr int16_t kRecordAlreadyOpen = 1002;  // OpenRecordFile: file number open
inline constexpr int16_t kRecordTableFull = 1003;    // OpenRecordFile: 40 files open
inline constexpr int16_t kRecordNoSuchKey = 1004;    // SeekRecord: the file has no such key

inline constexpr int kRecordFileSlots = 41;  // slot 0 is the scratch slot of the Reset
inline constexpr size_t kDataBufferSize = 1536;
inline constexpr size_t kKeyBufferSize = 256;

struct RecordFileSlot {
  int16_t fileNumber = 0;  // 0: slot free
  std::array<uint8_t, platform::kPositionBlockSize> positionBlock{};
  std::span<char> recordBuffer;  // bound at open; at least recordLength bytes
  int32_t recordLength = 0;      // as Stat reports it
  int16_t keyNumber = 0;         // the current key; 0 after open
  std::string keyValue;          // key value of the record reached last
  int16_t lockMode = 0;          // 0 no lock, 1 lock and wait, 2 lock without waiting
  // The Stat reply (kDataBufferSize bytes) as first read after the open: record
  // length, page size, keys and their segments, alternate collating sequence. None of
  // it can change while the file is open, so KeyInfo and KeyImage read it from here
  // (its record count is not used). Empty until then; cleared with the slot.
  std::string fileStructure;
};

struct RecordAccessState {
  std::array<RecordFileSlot, kRecordFileSlots> slots;
  // Pairs of bytes (slot, lock mode) pushed by SetLockMode "+", taken by "-".
  std::string savedLockModes;
};

// The RecordFileTable of the process.
RecordAccessState& RecordFileTable();

// Empties the table without calling the record manager (for tests).
void ResetRecordAccessState();

// Opens the file `name` (".dat" added when it has no extension) and binds it to the
// record buffer. A missing file is created from rootDir + "ddf\" + base + ".xdf".
// 1002 / 1003 without calling the record manager. Any other failure (also a record
// length longer than the buffer) shows a message and ends the module (RecordUi);
// when ending returns (tests), status is the failure's status.
void OpenRecordFile(int16_t fileNumber, std::string_view name, std::span<char> recordBuffer,
                    int16_t& status);

// Releases every file in the record manager and, when that succeeds, empties every slot.
void ResetRecordManager(int16_t& status);

// Makes keyNumber the current key and reads the record whose key equals (mode 0), is
// greater or equal (mode > 0) or less or equal (mode < 0) to `key`, which is cut or
// filled with zero bytes to the key's length. 3 not open; 1004 no such key (nothing moves).
void SeekRecord(int16_t fileNumber, int16_t keyNumber, std::string_view key, int16_t mode,
                int16_t& status);

// Moves count records forward (count > 0) or backward in the current key's order;
// only the record finally reached is copied into the buffer. 0 moves nothing: status 0.
void StepRecord(int16_t fileNumber, int16_t count, int16_t& status);

// position 0: the current record's position (0 when there is none or not open).
// Otherwise reads the record at that position into the buffer and returns the status.
int32_t RecordPosition(int16_t fileNumber, int32_t position);

// -1 when the record count steps away (forward for count >= 0) exists and its key,
// cut to bound's length and turned into a key image, is not past bound (not greater
// going forward, not less going backward); 0 otherwise or when not open. The
// position and the record buffer are put back as they were.
int16_t KeyInRange(int16_t fileNumber, int16_t count, std::string_view bound);

// KeyImage of the slot's keyValue; "" when not open.
std::string CurrentKeyImage(int16_t fileNumber);

// The key rewritten so that plain byte order follows the current key's order: binary
// segments byte-reversed (a short text padded with zero bytes first), segments with the
// alternate collating sequence mapped through it. The key unchanged when not open.
std::string KeyImage(std::string_view key, int16_t fileNumber);

// Letters, each upper-cased: "D" mode 0, "A" mode 1, "B" mode 2, "+" saves the mode,
// "-" restores this slot's last saved mode; others ignored. status 3 when not open,
// otherwise left as the caller set it.
void SetLockMode(int16_t fileNumber, std::string_view letters, int16_t& status);

// Both outputs 0 first; for an open file the record length and, for a key the file
// has, the sum of its segment lengths.
void KeyInfo(int16_t fileNumber, int16_t keyNumber, int16_t& keyLength, int16_t& recordLength);

// Internal. The slot (1 .. 40) holding fileNumber; otherwise minus the highest free
// slot, or 0 when every slot is taken. File number 0 is never open.
int16_t FindFileSlot(int16_t fileNumber);

// Internal. One read that fills the slot's record buffer, with the lock bias and the
// retries of the slot's lock mode.
void DoRecordOperation(int16_t slot, uint16_t operation, int16_t& status);

}  // namespace records
