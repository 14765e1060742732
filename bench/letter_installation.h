#pragma once
// A generated installation for the letter run's benchmark: the demo installation laid
// out by demo/layout.py, with record files of `owners` owners (ten to a property) and
// ten receipts each, made by the data tool's import. The same numbers give the same
// files on every run: names, addresses, amounts and states come from a fixed
// pseudo-random sequence, and every owner has at least one pending receipt.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "platform/path.h"
#include "tools/zurdata/data_tool.h"

namespace letter_bench {

// A small linear congruential sequence: deterministic and independent of the library.
class Sequence {
 public:
  uint32_t Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }
  uint32_t Below(uint32_t n) { return Next() % n; }

 private:
  uint32_t state_ = 2026;
};

inline const char* const kSurnames[] = {
    "Serra",  "Pujol", "Vila",  "Puig", "Soler", "Ferrer", "Roca", "Font",  "Riera", "Vidal",
    "Casals", "Bosch", "Martí", "Sala", "Coll",  "Güell",  "Prat", "Camps", "Oliva", "Valls"};
inline const char* const kNames[] = {"Anna",  "Enric", "Laia", "Marc",   "Marta", "Jordi",
                                     "Núria", "Pau",   "Rosa", "Xavier", "Ona",   "Aina"};
inline const char* const kStreets[] = {"Carrer Major",       "Rambla Nova",
                                       "Plaça de la Paeria", "Carrer de Sant Pere",
                                       "Passeig Marítim",    "Carrer Alt"};
inline const char* const kTowns[] = {"17001 Girona", "43001 Tarragona", "25007 Lleida",
                                     "08500 Vic",    "08870 Sitges",    "08001 Barcelona"};

inline void WriteText(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr || std::fwrite(text.data(), 1, text.size(), f) != text.size()) std::abort();
  std::fclose(f);
}

// The CSV files of an installation of `owners` owners, in folder (ending with "/").
inline void WriteCsv(const std::string& folder, int owners) {
  Sequence random;
  std::string properties = "property,address1,address2,address3\n";
  std::string ownerRows = "property,owner,name,unit,mail1,mail2,mail3\n";
  std::string receipts = "property,owner,date,amount,state\n";
  const int propertyCount = (owners + 9) / 10;
  for (int p = 1; p <= propertyCount; ++p) {
    const uint32_t town = random.Below(6);
    properties += std::to_string(p) + ",\"" + kStreets[random.Below(6)] + ", " +
                  std::to_string(1 + random.Below(120)) + "\"," + kTowns[town] + ",Catalunya\n";
  }
  for (int i = 0; i < owners; ++i) {
    const int property = 1 + i / 10, owner = 1 + i % 10;
    const std::string code = std::to_string(property) + "," + std::to_string(owner);
    ownerRows += code + "," + kSurnames[random.Below(20)] + " " + kSurnames[random.Below(20)] +
                 "*" + kNames[random.Below(12)] + "," + std::to_string(1 + owner / 4) + "r " +
                 std::to_string(1 + owner % 4) + "a";
    if (random.Below(7) == 0) {
      ownerRows += ",\"" + std::string(kStreets[random.Below(6)]) + ", " +
                   std::to_string(1 + random.Below(99)) + "\"," + kTowns[random.Below(6)] +
                   ",Catalunya\n";
    } else {
      ownerRows += ",,,\n";
    }
    for (int r = 0; r < 10; ++r) {
      const uint32_t pick = random.Below(10);
      const char state = r == 0 ? 'P' : pick < 3 ? 'P' : pick < 4 ? 'D' : 'C';
      char row[96];
      std::snprintf(row, sizeof row, "%s,2025-%02d-01,%u.%02u,%c\n", code.c_str(), r + 1,
                    40 + random.Below(160), random.Below(100), state);
      receipts += row;
    }
  }
  WriteText(folder + "properties.csv", properties);
  WriteText(folder + "owners.csv", ownerRows);
  WriteText(folder + "receipts.csv", receipts);
}

// Lays the demo installation out in root (ending with "/") and fills its record
// files. Aborts on any failure: a benchmark without its data measures nothing.
inline void MakeInstallation(const std::string& sourceDir, const std::string& root, int owners) {
  const std::string layout = "python3 '" + sourceDir + "/demo/layout.py' '" + root + "'";
  if (std::system(layout.c_str()) != 0) std::abort();
  WriteCsv(root, owners);
  std::ostringstream out, err;
  if (zurdata::Init(root, out, err) != 0) std::abort();
  for (auto [kind, file] : {std::pair{zurdata::Kind::kProperties, "properties.csv"},
                            std::pair{zurdata::Kind::kOwners, "owners.csv"},
                            std::pair{zurdata::Kind::kReceipts, "receipts.csv"}}) {
    if (zurdata::Import(root, kind, root + file, false, false, out, err) != 0) {
      std::fputs(err.str().c_str(), stderr);
      std::abort();
    }
  }
}

}  // namespace letter_bench
