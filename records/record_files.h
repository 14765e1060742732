#pragma once
// How the module's four record files are made: their file descriptions (record
// length, page size, keys) and the creation block files ddf\<base>.xdf from which
// the record access layer creates a missing data file.
//
// Creation block file:
//   offset  size  meaning
//   0       2     n, length of the creation block (little-endian)
//   2       n     the creation block: the file description passed unchanged to Create

#include <string>
#include <string_view>

#include "platform/record_file_spec.h"
#include "records/record_layouts.h"

namespace records {

// Keys of the four files (positions from 1 in the record):
//   Textos    key 0 code (1, 8) unique; key 1 group (49, 8) + code (1, 8) unique
//   FinquesH  key 0 propertyNumber (1, 2) unique
//   PropietH  key 0 ownerCode (1, 4) unique; key 1 ownerName (9, 30) duplicates
//   CobramH   key 0 ownerCode + receiptDate (1, 8) duplicates
// Packed numbers and dates are plain byte strings (their byte order is numeric order).
// Every key may be changed by an update. A file not listed gives an empty spec.
platform::FileSpec CreationSpec(const RecordFileInfo& file);

// The creation block file's bytes for a description.
std::string CreationBlockFileBytes(const platform::FileSpec& spec);

// rootDir + "ddf\" + baseName + ".xdf".
std::string CreationBlockPath(std::string_view rootDir, std::string_view baseName);

}  // namespace records
