#pragma once
// What the record access layer needs from the screen and the process, in one place.
// The defaults work without a console: messages go to standard error (as UTF-8) and
// the module ends with std::exit(0). The start-up replaces them with the console's:
//   showOpenFailure       ShowMessage(message) at row 12, Beep, discard typed keys,
//                         wait for one key, PopWindow
//   closeSequentialFiles  close every open sequential file of the module
//   endModule             end the module with exit code 0
//   showLockNotice        ShowMessage(message) at row 24, left on screen
//   removeLockNotice      PopWindow of that notice
// sleepMilliseconds and uniformRandom default to platform/clock.h. Tests replace
// endModule with one that returns, and the sleep with one that does not wait.

#include <string>

namespace records {

struct RecordAccessUi {
  void (*showOpenFailure)(const std::string& message);
  void (*closeSequentialFiles)();
  // When this returns (tests), OpenRecordFile returns the failed status.
  void (*endModule)();
  void (*showLockNotice)(const std::string& message);
  void (*removeLockNotice)();
  void (*sleepMilliseconds)(long long milliseconds);
  double (*uniformRandom)();
};

// The layer's seam; every field is set (never null) after ResetRecordAccessUi.
RecordAccessUi& RecordUi();

// Puts the defaults back.
void ResetRecordAccessUi();

}  // namespace records
