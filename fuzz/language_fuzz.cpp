// Hostile language files: any bytes as LOCALE\<module>.LNG, asked for fuzzed texts and
// for texts the file itself holds, in every language code. Catalan never touches the
// file; any crash, hang or sanitizer report is a fault.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "session/language.h"
#include "session/session.h"

namespace {

using fuzz_support::Check;

const char* const kCodes[] = {"CAT", "SPA", "GLG", "OCI", "ENG", "", "SPAX"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string& dir = fuzz_support::PrivateDir();
  fuzz_support::MakeFolder(dir + "LOCALE");
  session::ResetSession();
  session::Session().rootDir = dir;
  session::Session().moduleName = "FUZZ";
  session::Session().languageCode = kCodes[in.ConsumeIntegralInRange<int>(0, 6)];
  const std::string text = in.ConsumeRandomLengthString(64);
  const std::string file = in.ConsumeRemainingBytesAsString();
  fuzz_support::WriteBytes(dir + "LOCALE/FUZZ.LNG", file);

  std::string translated = session::Translate(text);
  if (session::Session().languageCode == "CAT") Check(translated == text);
  Check(translated.size() <= text.size() + file.size());
  // A text the file lists: its first line.
  const std::string first = file.substr(0, file.find_first_of("\r\n,"));
  translated = session::Translate(first);
  Check(translated.size() <= first.size() + file.size());
  session::ResetSession();
  return 0;
}
