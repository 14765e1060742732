#pragma once
// The file description of a record file: what Create takes in its data buffer and
// what Stat hands back. All integers little-endian.
//
// File description:
//   offset  size  meaning
//   0       2     record length (4 .. page size - 6)
//   2       2     page size (a multiple of 512, 512 .. 4096)
//   4       2     number of keys (1 .. kMaxKeys)
//   6       4     number of records (Stat; ignored by Create)
//   10      2     file flags (kept and reported back, not interpreted)
//   12      2     reserved (0)
//   14      2     unused pages (Stat: 0; ignored by Create)
//   16      16*s  one key segment description per segment, keys in order, each
//                 key's segments consecutive (see below)
//   16+16*s 265   the alternate collating sequence, present when any segment has
//                 kKeyAlternate: signature byte 0xAC, 8-byte name, 256-byte table
//                 (byte value c maps to table entry c)
//
// Key segment description (16 bytes):
//   offset  size  meaning
//   0       2     position of the segment in the record, from 1
//   2       2     length of the segment (1 .. 255; a whole key at most 255)
//   4       2     flags (kKey... below)
//   6       4     number of distinct values (Stat: 0, not kept; ignored by Create)
//   10      1     extended data type (must be 0)
//   11      5     reserved (ignored by Create; Stat: 0)
//
// Every segment of a key carries the same kKeyDuplicates and kKeyModifiable bits.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

inline constexpr size_t kFileSpecHeaderSize = 16;
inline constexpr size_t kKeySegmentSpecSize = 16;
inline constexpr size_t kAlternateSequenceSize = 1 + 8 + 256;
inline constexpr uint8_t kAlternateSequenceSignature = 0xAC;
inline constexpr size_t kMaxKeys = 64;
inline constexpr size_t kMaxSegments = 64;  // in all keys together
inline constexpr size_t kMaxKeyLength = 255;
inline constexpr size_t kMaxFileSpecSize =
    kFileSpecHeaderSize + kMaxSegments * kKeySegmentSpecSize + kAlternateSequenceSize;
// The largest description still fits the 1536-byte data buffer of a Stat.
static_assert(kMaxFileSpecSize <= 1536);
static_assert(kFileSpecHeaderSize == 16 && kKeySegmentSpecSize == 16);
static_assert(kAlternateSequenceSize == 265);

enum KeyFlags : uint16_t {
  kKeyDuplicates = 0x0001,  // several records may hold the same value
  kKeyModifiable = 0x0002,  // Update may change the value
  kKeyBinary = 0x0004,      // the segment is an unsigned little-endian integer
  kKeySegmented = 0x0010,   // another segment of the same key follows
  kKeyAlternate = 0x0020,   // bytes compare through the alternate collating sequence
  kKeyDescending = 0x0040,  // the segment sorts from high to low
};
inline constexpr uint16_t kSupportedKeyFlags =
    kKeyDuplicates | kKeyModifiable | kKeyBinary | kKeySegmented | kKeyAlternate | kKeyDescending;

struct KeySegmentSpec {
  uint16_t position = 1;  // from 1
  uint16_t length = 1;
  uint16_t flags = 0;  // kKeySegmented is set by the encoder, not here
};

struct KeySpec {
  std::vector<KeySegmentSpec> segments;
  // Sum of the segment lengths.
  size_t Length() const;
};

struct AlternateSequence {
  std::string name;  // up to 8 bytes, padded with blanks when encoded
  std::array<uint8_t, 256> table{};
};

struct FileSpec {
  uint16_t recordLength = 0;
  uint16_t pageSize = 0;
  uint16_t fileFlags = 0;
  std::vector<KeySpec> keys;
  std::optional<AlternateSequence> alternate;
};

// Reads and checks a file description of `length` bytes (bytes past the needed ones
// are ignored). Returns 0, or the status Create reports: 22 too short, 24 page size,
// 26 keys/segments, 27 position, 28 record length, 29 key length, 45 flags, 48
// alternate sequence missing or without its signature.
int16_t DecodeFileSpec(const uint8_t* data, size_t length, FileSpec& spec);

// The bytes of a description in the layout above; the segment flag kKeySegmented
// is set on every segment but each key's last. The sequence follows the segments
// when `spec.alternate` is set. recordCount goes to offset 6 (0 for Create).
std::string EncodeFileSpec(const FileSpec& spec, uint32_t recordCount = 0);

}  // namespace platform
