#include "records/record_access_ui.h"

#include <cstdio>
#include <cstdlib>

#include "platform/clock.h"
#include "platform/cp850.h"

namespace records {
namespace {

void PrintMessage(const std::string& message) {
  const std::string text = platform::Cp850ToUtf8(message);
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
}

void Nothing() {}

void EndProcess() {
  std::exit(0);
}

RecordAccessUi Defaults() {
  return RecordAccessUi{PrintMessage,           Nothing, EndProcess,
                        PrintMessage,           Nothing, platform::SleepMilliseconds,
                        platform::UniformRandom};
}

}  // namespace

RecordAccessUi& RecordUi() {
  static RecordAccessUi ui = Defaults();
  return ui;
}

void ResetRecordAccessUi() {
  RecordUi() = Defaults();
}

}  // namespace records
