// Hostile input to the forms: arbitrary bytes as a form definition file, and as the
// lookup window's work file browsed with arbitrary keys. A loaded model must keep
// its promises (every value exactly its field's width, links to things that exist,
// boxes on the console); any crash, hang or sanitizer report is a fault.

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "forms/form_model.h"
#include "forms/keys.h"
#include "forms/lookup.h"
#include "fuzz/fuzz_support.h"
#include "platform/terminal.h"
#include "platform/terminal_memory.h"
#include "session/session.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

const std::string& WorkDir() {
  return fuzz_support::PrivateDir();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  Check(f != nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

void CheckModel() {
  const forms::FormModel& m = forms::Form();
  for (int16_t s = 1; s <= m.screenCount; ++s) {
    const forms::Screen* screen = forms::FindScreen(s);
    Check(screen != nullptr);
    Check(screen->nextScreen >= 0 && screen->nextScreen <= m.screenCount);
    Check(screen->nextScreen != s);
    for (int16_t f = 1; f <= screen->fieldCount; ++f) {
      const forms::FormField* field = forms::FindField(s, f);
      Check(field != nullptr);
      Check(static_cast<int>(field->value.size()) == field->width);
      Check(field->lookup >= 0 && field->lookup <= m.lookupCount);
    }
  }
  for (int16_t l = 1; l <= m.lookupCount; ++l) {
    const forms::Lookup* lookup = forms::FindLookup(l);
    Check(lookup != nullptr);
    Check(lookup->box[0] >= 1 && lookup->box[2] <= 25 && lookup->box[0] + 1 < lookup->box[2]);
    Check(lookup->box[1] >= 1 && lookup->box[3] <= 80 && lookup->box[1] + 1 < lookup->box[3]);
  }
}

// A form whose only lookup browses the work file as it is.
void LoadWorkFileForm() {
  std::string text = "1,15\r\n\"\",15,0,0,0,0,0\r\n";
  for (int i = 0; i < 15; ++i)
    text += "25," + std::to_string(1 + 5 * i) + ",\"\",4,0,0,4,0,0,\"\"\r\n";
  text += "1\r\n0,0,3,10,9,60,0,\"Entrades\",0\r\n";
  WriteBytes(WorkDir() + "WORK.ZPN", text);
  std::string message;
  Check(forms::LoadFormDefinitionFrom(WorkDir() + "WORK.ZPN", message) == forms::kFormLoaded);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  auto terminal = std::make_unique<platform::MemoryTerminal>();
  platform::MemoryTerminal* t = terminal.get();
  platform::InstallTerminal(std::move(terminal));
  forms::ResetInput();
  session::ResetSession();
  session::Session().workDir = WorkDir();
  session::Session().languageCode = "CAT";

  if (in.ConsumeBool()) {
    WriteBytes(WorkDir() + "FUZZ.ZPN", in.ConsumeRemainingBytesAsString());
    std::string message;
    const int16_t status = forms::LoadFormDefinitionFrom(WorkDir() + "FUZZ.ZPN", message);
    if (status == forms::kFormLoaded) {
      CheckModel();
    } else {
      Check(forms::Form().screenCount == 0 && !message.empty());
    }
  } else {
    LoadWorkFileForm();
    const uint8_t keys[] = {platform::scan::kUp,     platform::scan::kDown,
                            platform::scan::kPageUp, platform::scan::kPageDown,
                            platform::scan::kLeft,   platform::scan::kRight};
    const size_t count = in.ConsumeIntegralInRange<size_t>(0, 40);
    for (size_t i = 0; i < count; ++i) t->PushScan(keys[in.ConsumeIntegralInRange<size_t>(0, 5)]);
    t->PushCharacter(13);
    WriteBytes(forms::BrowseFilePath(), in.ConsumeRemainingBytesAsString());
    int16_t lookup = 1;
    int16_t result = 0;
    forms::LookupWindow(lookup, result);
    Check(result == 0 || result == -1);
    Check(!t->Starved());
  }
  forms::ResetForm();
  platform::InstallTerminal(nullptr);
  return 0;
}
