// Hostile saved-screen files: any bytes as WinPush.tmp (records another program of
// the terminal left, or a damaged file), then pop-ups pushed and popped over a drawn
// screen, with the file replaced by other fuzzed bytes at a fuzzed moment. However
// odd the file, this process's pop-ups put the screen back as it was when the file
// was left alone; any crash, hang or sanitizer report is a fault.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "console/console_state.h"
#include "console/window_stack.h"
#include "fuzz/fuzz_support.h"
#include "platform/terminal.h"
#include "platform/terminal_memory.h"
#include "session/session.h"

namespace {

using fuzz_support::Check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  auto owned = std::make_unique<platform::MemoryTerminal>();
  platform::MemoryTerminal* t = owned.get();
  platform::InstallTerminal(std::move(owned));
  console::ResetConsole();
  session::ResetSession();
  session::Session().workDir = fuzz_support::PrivateDir();

  // A screen with something in every cell.
  for (int16_t r = 1; r <= 25; ++r) {
    t->MoveCursor(r, 1);
    t->SetAttribute(static_cast<uint8_t>(r * 7));
    t->Write(std::string(80, static_cast<char>('A' + r)));
  }

  const int windows = in.ConsumeIntegralInRange<int>(0, 6);
  const int replaceAt = in.ConsumeIntegralInRange<int>(-1, 2 * windows);
  const std::string later = in.ConsumeRandomLengthString(8192);
  fuzz_support::WriteBytes(console::WindowFilePath(), in.ConsumeRandomLengthString(65536));
  std::vector<int16_t> boxes;
  for (int i = 0; i < windows; ++i) {
    for (int k = 0; k < 4; ++k) boxes.push_back(in.ConsumeIntegralInRange<int16_t>(-2, 82));
  }
  int step = 0;
  int firstCounted = -1;              // the first push that opened a window
  std::vector<platform::Cell> under;  // the screen just before it
  for (int i = 0; i < windows; ++i, ++step) {
    if (step == replaceAt) fuzz_support::WriteBytes(console::WindowFilePath(), later);
    const int16_t* b = &boxes[static_cast<size_t>(4 * i)];
    const int16_t depth = console::Console().window.windowDepth;
    const std::vector<platform::Cell> screen = fuzz_support::ScreenCells(*t);
    console::PushWindow(b[0], b[1], b[2], b[3]);
    const bool onConsole = b[0] >= 1 && b[0] <= 25 && b[2] >= 1 && b[2] <= 25 && b[1] >= 1 &&
                           b[1] <= 80 && b[3] >= 1 && b[3] <= 80;
    Check(console::Console().window.windowDepth == depth + (onConsole ? 1 : 0));
    if (onConsole && firstCounted < 0) {
      firstCounted = i;
      under = screen;
    }
    // Draw over the whole screen: only a pop puts it back.
    t->SetAttribute(0x1F);
    for (int16_t r = 1; r <= 25; ++r) {
      t->MoveCursor(r, 1);
      t->Write(std::string(80, static_cast<char>('0' + i)));
    }
  }
  const int16_t pushed = console::Console().window.windowDepth;
  for (int i = 0; i < pushed; ++i, ++step) {
    if (step == replaceAt) fuzz_support::WriteBytes(console::WindowFilePath(), later);
    console::PopWindow();
  }
  Check(console::Console().window.windowDepth == 0);
  // The cells under the first window are back as they were before it opened, unless
  // the file was replaced while windows were open (another program's doing: a sound
  // record in the file is then what a pop restores).
  if (firstCounted >= 0 && (replaceAt < 0 || replaceAt >= step)) {
    const int16_t* b = &boxes[static_cast<size_t>(4 * firstCounted)];
    const std::vector<platform::Cell> after = fuzz_support::ScreenCells(*t);
    for (int16_t r = b[0]; r <= b[2]; ++r)
      for (int16_t c = b[1]; c <= b[3]; ++c) {
        const size_t at = static_cast<size_t>((r - 1) * 80 + (c - 1));
        Check(after[at] == under[at]);
      }
  }
  console::PopWindow();  // nothing of this process open: must leave the file alone

  console::ResetConsole();
  platform::InstallTerminal(nullptr);
  return 0;
}
