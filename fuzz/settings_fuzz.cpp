// Hostile settings files: any bytes as Sessio.ini, looked up with fuzzed and with the
// suite's own section and key names. A value is always a piece of one line of the
// file; any crash, hang or sanitizer report is a fault.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "session/settings.h"

namespace {

using fuzz_support::Check;

const char* const kNames[][2] = {
    {"Terminal", "Dir"},    {"Menu", "Titol"},        {"Menu", "NomMenu"},  {"Sistema", "Sortida"},
    {"Usuari", "DatOrdre"}, {"Usuari", "Capcalera1"}, {"Colors", "Normal"}, {"Sessio", "Idioma"},
};

void Look(const std::string& path, const std::string& file, const std::string& section,
          const std::string& key) {
  const std::string value = session::ReadSetting(path, section, key);
  Check(value.size() <= file.size());
  Check(value.find('\n') == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string section = in.ConsumeRandomLengthString(32);
  const std::string key = in.ConsumeRandomLengthString(32);
  const std::string file = in.ConsumeRemainingBytesAsString();
  const std::string path = fuzz_support::PrivateDir() + "Sessio.ini";
  fuzz_support::WriteBytes(path, file);
  Look(path, file, section, key);
  for (const auto& name : kNames) Look(path, file, name[0], name[1]);
  return 0;
}
