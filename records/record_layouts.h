#pragma once
// The module's four record files: their numbers, names and record buffers, and views
// that read (and, for tools that build test data, write) the fields of a record
// buffer. Bytes of a record that no field names are carried unchanged; tools fill
// them with blanks.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace records {

// A fixed-length field of a record: bytes [offset, offset + size).
struct RecordField {
  uint16_t offset = 0;
  uint16_t size = 0;
};

// The field's bytes as they stand in the buffer. Requires the field inside the buffer.
std::string_view FieldText(std::span<const char> buffer, RecordField field);
// Stores text in the field, cut to its size and padded with blanks.
void SetFieldText(std::span<char> buffer, RecordField field, std::string_view text);
// A 32-bit little-endian signed integer stored in a 4-byte field.
int32_t FieldInt32(std::span<const char> buffer, RecordField field);
void SetFieldInt32(std::span<char> buffer, RecordField field, int32_t value);

// One record file of the module: the caller's file number, the name under rootDir
// (the record access layer adds ".dat"), the base name of its creation block
// ddf\<base>.xdf, and the size of the record buffer bound to it.
struct RecordFileInfo {
  int16_t fileNumber;
  std::string_view name;
  std::string_view baseName;
  size_t bufferSize;
};

inline constexpr RecordFileInfo kTextsFile{60, "DADES\\Textos", "Textos", 64};
inline constexpr RecordFileInfo kPropertiesFile{511, "DADES\\FinquesH", "FinquesH", 388};
inline constexpr RecordFileInfo kOwnersFile{513, "DADES\\PropietH", "PropietH", 428};
inline constexpr RecordFileInfo kReceiptsFile{514, "DADES\\CobramH", "CobramH", 24};

// Texts file record (64 bytes):
//   offset  size  field
//   0       8     code          the text's code; key 0
//   8       40    description   shown beside a code and in the lookup window
//   48      8     group         code of the group the entry belongs to
struct TextEntryRecord {
  static constexpr size_t kBufferSize = 64;
  using Buffer = std::array<char, kBufferSize>;
  static constexpr RecordField code{0, 8};
  static constexpr RecordField description{8, 40};
  static constexpr RecordField group{48, 8};
};

// Properties file record (388 bytes):
//   offset  size  field
//   0       2     propertyNumber  packed 4-digit property number; key 0
//   6       30    addressLine1    street line of the property
//   36      30    addressLine2    postal code and town
//   66      30    addressLine3    third address line
struct PropertyRecord {
  static constexpr size_t kBufferSize = 388;
  using Buffer = std::array<char, kBufferSize>;
  static constexpr RecordField propertyNumber{0, 2};
  static constexpr RecordField addressLine1{6, 30};
  static constexpr RecordField addressLine2{36, 30};
  static constexpr RecordField addressLine3{66, 30};
};

// Owners file record (428 bytes):
//   offset  size  field
//   0       4     ownerCode   packed: 2 bytes property number, 2 bytes owner number; key 0
//   8       30    ownerName   surnames, an asterisk, then the first name
//   38      10    unit        floor and door
//   48      30    mailLine1   street line of the owner's own address; blank: the property's
//   98      30    mailLine2   second line of the owner's own address
//   128     30    mailLine3   third line of the owner's own address
// (mailLine2 starts at 98, not right after mailLine1: bytes 78 .. 97 belong to the
// suite's other programs.)
struct OwnerRecord {
  static constexpr size_t kBufferSize = 428;
  using Buffer = std::array<char, kBufferSize>;
  static constexpr RecordField ownerCode{0, 4};
  static constexpr RecordField ownerName{8, 30};
  static constexpr RecordField unit{38, 10};
  static constexpr RecordField mailLine1{48, 30};
  static constexpr RecordField mailLine2{98, 30};
  static constexpr RecordField mailLine3{128, 30};
};

// Receipts file record (24 bytes):
//   offset  size  field
//   0       4     ownerCode     the owner's ownerCode; key 0 begins with it
//   4       4     receiptDate   packed date (century, year, month, day)
//   13      4     amount        cents, 32-bit signed little-endian
//   21      1     state         "P", "D" or another state letter
struct ReceiptRecord {
  static constexpr size_t kBufferSize = 24;
  using Buffer = std::array<char, kBufferSize>;
  static constexpr RecordField ownerCode{0, 4};
  static constexpr RecordField receiptDate{4, 4};
  static constexpr RecordField amount{13, 4};
  static constexpr RecordField state{21, 1};
};

static_assert(TextEntryRecord::kBufferSize == kTextsFile.bufferSize);
static_assert(PropertyRecord::kBufferSize == kPropertiesFile.bufferSize);
static_assert(OwnerRecord::kBufferSize == kOwnersFile.bufferSize);
static_assert(ReceiptRecord::kBufferSize == kReceiptsFile.bufferSize);
static_assert(TextEntryRecord::group.offset + TextEntryRecord::group.size <= 64);
static_assert(PropertyRecord::addressLine3.offset + PropertyRecord::addressLine3.size <= 388);
static_assert(OwnerRecord::mailLine3.offset + OwnerRecord::mailLine3.size <= 428);
static_assert(ReceiptRecord::state.offset + ReceiptRecord::state.size <= 24);

}  // namespace records
