#include "platform/record_status.h"

#include <cstdio>

namespace platform {

std::string_view RecordStatusText(int16_t status) {
  switch (status) {
    case kStatusSuccess:
      return "success";
    case kStatusInvalidOperation:
      return "invalid operation";
    case kStatusIoError:
      return "input/output error or damaged file";
    case kStatusFileNotOpen:
      return "file not open";
    case kStatusKeyNotFound:
      return "key value not found";
    case kStatusDuplicateKey:
      return "duplicate key value";
    case kStatusInvalidKeyNumber:
      return "invalid key number";
    case kStatusDifferentKeyNumber:
      return "different key number";
    case kStatusInvalidPositioning:
      return "invalid positioning";
    case kStatusEndOfFile:
      return "end of file";
    case kStatusKeyNotModifiable:
      return "key value may not be modified";
    case kStatusInvalidFileName:
      return "invalid file name";
    case kStatusFileNotFound:
      return "file not found";
    case kStatusDiskFull:
      return "disk full";
    case kStatusManagerInactive:
      return "the database server cannot be reached";
    case kStatusKeyBufferTooShort:
      return "key buffer too short";
    case kStatusDataBufferTooShort:
      return "data buffer too short";
    case kStatusInvalidPageSize:
      return "invalid page size";
    case kStatusCreateIoError:
      return "file could not be created";
    case kStatusInvalidKeyCount:
      return "invalid number of keys or segments";
    case kStatusInvalidKeyPosition:
      return "invalid key position";
    case kStatusInvalidRecordLength:
      return "invalid record length";
    case kStatusInvalidKeyLength:
      return "invalid key length";
    case kStatusNotARecordFile:
      return "not a record file";
    case kStatusTransactionActive:
      return "transaction already active";
    case kStatusNoTransaction:
      return "no active transaction";
    case kStatusNotInTransaction:
      return "operation not allowed during a transaction";
    case kStatusInvalidRecordAddress:
      return "invalid record address";
    case kStatusInconsistentKeyFlags:
      return "inconsistent key flags";
    case kStatusAccessDenied:
      return "access to file denied";
    case kStatusInvalidAlternateSequence:
      return "invalid alternate collating sequence";
    case kStatusFileExists:
      return "file already exists";
    case kStatusRecordLocked:
      return "record locked by another program";
    case kStatusFileLocked:
      return "file locked by another program";
    case kStatusHandleTableFull:
      return "too many files open";
  }
  static thread_local char unknown[32];
  std::snprintf(unknown, sizeof unknown, "unknown status %d", status);
  return unknown;
}

}  // namespace platform
