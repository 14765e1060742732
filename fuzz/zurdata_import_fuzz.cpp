// Hostile CSV for `zurdata import`: any bytes imported into each kind of record file,
// with and without replace. An import is all or nothing: when it fails, an export
// afterwards is byte for byte the export before; when it succeeds, importing its own
// export again changes nothing. Any crash, hang or sanitizer report is a fault.

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>

#include "fuzz/fuzz_support.h"
#include "records/record_access.h"
#include "tools/zurdata/data_tool.h"
#include "tools/zurdata/record_rows.h"

namespace {

using fuzz_support::Check;

// A few sound rows of each kind, loaded before the fuzzed import.
const char* const kBaseline[] = {
    "code,description,group\nRECORDA,Recordatori,CARTES\n",
    "property,address1,address2,address3\n1,C. Major 1,08001 Barcelona,\n",
    "property,owner,name,unit,mail1,mail2,mail3\n1,1,Serra Pujol*Anna,1r 1a,C. Major 1,,\n",
    "property,owner,date,amount,state\n1,1,2026-01-01,12.50,P\n",
};

std::string Export(const std::string& root, zurdata::Kind kind) {
  std::ostringstream out, err;
  Check(zurdata::Export(root, kind, "", out, err) == 0);
  return out.str();
}

void Release() {
  int16_t status = 0;
  records::ResetRecordManager(status);
  records::ResetRecordAccessState();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string& root = fuzz_support::PrivateDir();
  const auto kind = static_cast<zurdata::Kind>(in.ConsumeIntegralInRange<int>(0, 3));
  const bool replace = in.ConsumeBool();
  const std::string csv = root + "fuzz.csv";
  fuzz_support::WriteBytes(csv, in.ConsumeRemainingBytesAsString());

  // A fresh installation with its baseline rows.
  for (const char* name : {"Textos", "FinquesH", "PropietH", "CobramH"}) {
    for (const char* suffix : {".dat", ".dat-wal", ".dat-shm"})
      ::unlink((root + "DADES/" + name + suffix).c_str());
  }
  std::ostringstream out, err;
  Check(zurdata::Init(root, out, err) == 0);
  const std::string baseline = root + "baseline.csv";
  fuzz_support::WriteBytes(baseline, kBaseline[static_cast<int>(kind)]);
  Check(zurdata::Import(root, kind, baseline, false, false, out, err) == 0);
  const std::string before = Export(root, kind);

  err.str("");
  const int rc = zurdata::Import(root, kind, csv, replace, false, out, err);
  const std::string after = Export(root, kind);
  if (rc != 0) {
    Check(!err.str().empty());
    Check(after == before);
  } else {
    // Its own export, imported in place of what is there, gives the same export.
    fuzz_support::WriteBytes(csv, after);
    Check(zurdata::Import(root, kind, csv, true, false, out, err) == 0);
    Check(Export(root, kind) == after);
  }
  Release();
  return 0;
}
