// Hostile calculator state files: any bytes as ZURCALC.TMP. A state that loads keeps
// its bounds and survives a save and a load unchanged; fuzzed keys on it keep the
// display 22 characters wide; the pop-up run over the screen with fuzzed keys puts
// the screen back. Any crash, hang or sanitizer report is a fault.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "console/calculator.h"
#include "console/console_state.h"
#include "fuzz/fuzz_support.h"
#include "platform/terminal.h"
#include "platform/terminal_memory.h"
#include "session/session.h"

namespace {

using fuzz_support::Check;

const char kKeys[] = "0123456789.+-*/=%RCTrct\r\b";

void CheckBounds(const console::CalculatorState& s) {
  Check(s.column >= 1 && s.column <= 80 - console::kCalculatorWidth + 1);
  Check(s.firstVisible >= 2 && s.firstVisible <= console::kNoTapeShown);
  Check(s.decimals >= 0 && s.decimals <= 99);
  for (const console::TapeLine& line : s.tape) Check(line.decimals >= 0 && line.decimals <= 99);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  session::ResetSession();
  session::Session().terminalDir = fuzz_support::PrivateDir();
  const std::string path = console::CalculatorFilePath();
  std::vector<uint8_t> keys;
  const size_t keyCount = in.ConsumeIntegralInRange<size_t>(0, 24);
  for (size_t i = 0; i < keyCount; ++i) {
    keys.push_back(
        static_cast<uint8_t>(kKeys[in.ConsumeIntegralInRange<size_t>(0, sizeof kKeys - 2)]));
  }
  fuzz_support::WriteBytes(path, in.ConsumeRemainingBytesAsString());

  console::CalculatorState state = console::LoadCalculatorState(path);
  CheckBounds(state);
  Check(console::SaveCalculatorState(path, state));
  Check(console::LoadCalculatorState(path) == state);

  console::CalculatorState worked = state;
  for (uint8_t key : keys) {
    console::CalculatorKey(worked, key);
    CheckBounds(worked);
    Check(
        console::CalculatorNumber(worked.displayValue, worked.pointTyped, worked.decimals).size() ==
        22);
  }
  console::CalculatorResult(worked);

  // The pop-up over a drawn screen, on the state as loaded.
  fuzz_support::WriteBytes(path, "");
  Check(console::SaveCalculatorState(path, state));
  auto owned = std::make_unique<platform::MemoryTerminal>();
  platform::MemoryTerminal* t = owned.get();
  platform::InstallTerminal(std::move(owned));
  console::ResetConsole();
  session::Session().workDir = fuzz_support::PrivateDir();
  for (int16_t r = 1; r <= 25; ++r) {
    t->MoveCursor(r, 1);
    t->Write(std::string(80, static_cast<char>('a' + r)));
  }
  const std::vector<platform::Cell> before = fuzz_support::ScreenCells(*t);
  for (uint8_t key : keys) t->PushCharacter(key);
  t->PushScan(platform::scan::kEscape);
  t->PushCharacter(27);
  console::ShowCalculator();
  Check(fuzz_support::ScreenCells(*t) == before);
  CheckBounds(console::LoadCalculatorState(path));

  console::ResetConsole();
  platform::InstallTerminal(nullptr);
  return 0;
}
