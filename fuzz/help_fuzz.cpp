// Hostile help files: any bytes as AJUDA\<topic>.HLP shown in the help viewer on the
// in-memory terminal and scrolled with fuzzed keys until Esc. The viewer leaves the
// screen as it found it and never waits for a key it was not given. Any crash, hang
// or sanitizer report is a fault.

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "console/console_state.h"
#include "console/help.h"
#include "fuzz/fuzz_support.h"
#include "platform/terminal.h"
#include "platform/terminal_memory.h"
#include "session/session.h"

namespace {

using fuzz_support::Check;

const uint8_t kScans[] = {
    platform::scan::kUp,       platform::scan::kDown,  platform::scan::kPageUp,
    platform::scan::kPageDown, platform::scan::kHome,  platform::scan::kEnd,
    platform::scan::kLeft,     platform::scan::kRight, platform::scan::kF1};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string& dir = fuzz_support::PrivateDir();
  static const bool entered = [&] {
    fuzz_support::MakeFolder(dir + "AJUDA");
    return ::chdir(dir.c_str()) == 0;
  }();
  Check(entered);
  auto owned = std::make_unique<platform::MemoryTerminal>();
  platform::MemoryTerminal* t = owned.get();
  platform::InstallTerminal(std::move(owned));
  console::ResetConsole();
  session::ResetSession();
  session::Session().rootDir = dir;
  session::Session().workDir = dir;
  session::Session().sessionKind = "DOS";

  for (int16_t r = 1; r <= 25; ++r) {
    t->MoveCursor(r, 1);
    t->SetAttribute(static_cast<uint8_t>(r));
    t->Write(std::string(80, static_cast<char>('a' + r)));
  }
  const std::vector<platform::Cell> before = fuzz_support::ScreenCells(*t);
  const size_t count = in.ConsumeIntegralInRange<size_t>(0, 40);
  for (size_t i = 0; i < count; ++i) {
    if (in.ConsumeBool()) {
      t->PushScan(kScans[in.ConsumeIntegralInRange<size_t>(0, sizeof kScans - 1)]);
    } else {
      t->PushCharacter(in.ConsumeIntegralInRange<uint8_t>(32, 255));
    }
  }
  // Esc for the menu's own help when F1 opened it last, then for the topic's.
  t->PushCharacter(27);
  t->PushCharacter(27);
  fuzz_support::WriteBytes(dir + "AJUDA/FUZZ.HLP", in.ConsumeRemainingBytesAsString());
  console::ShowHelp("FUZZ");
  Check(fuzz_support::ScreenCells(*t) == before);
  Check(!t->Starved());

  console::ResetConsole();
  platform::InstallTerminal(nullptr);
  return 0;
}
