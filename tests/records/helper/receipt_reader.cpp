// A reader of the receipts file for the tests, in a process of its own: walks the file
// through the record access layer, as the module does, again and again until STOP
// exists (or 120 seconds have passed), and checks every walk.
//   receipt_reader ROOT READY STOP COUNT [CONNECTION]
// ROOT is the installation's root folder (ending with "/"); READY is made after the
// first walk; CONNECTION, when given, is the database the files are in (else ZURDB).
// Each receipt's amount tells its property and owner and its state letter which import
// wrote it. A walk must see every receipt whole, in key order, exactly COUNT of
// them, and never a letter older than one it saw before: a reader sees an import all or
// nothing, so a walk that runs while one commits goes on in the new receipts, and never
// back. Prints "walks W mixed M letters L" (M: walks that saw two imports, L: the
// letters seen) and exits 0, or prints what was wrong and exits 1.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "platform/packed_digits.h"
#include "platform/record_manager.h"
#include "platform/record_status.h"
#include "records/record_access.h"
#include "records/record_access_ui.h"
#include "records/record_layouts.h"
#include "session/session.h"

namespace {

int Fail(const std::string& what) {
  std::printf("%s\n", what.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace records;
  ::alarm(120);
  if (argc < 5) return 2;
  const std::string root = argv[1];
  const std::string ready = argv[2];
  const std::string stop = argv[3];
  const int receipts = std::atoi(argv[4]);
  if (argc > 5) platform::SetRecordManagerDatabase(argv[5]);
  platform::SetRecordManagerRoot(root.c_str());
  session::ResetSession();
  session::Session().rootDir = root;
  ResetRecordAccessState();
  ResetRecordAccessUi();
  int16_t status = -1;
  ReceiptRecord::Buffer buffer{};
  OpenRecordFile(514, root + "DADES\\CobramH", buffer, status);
  if (status != 0) return Fail("open: status " + std::to_string(status));

  int walks = 0, mixed = 0;
  std::set<char> letters;
  do {
    SeekRecord(514, 0, "", 1, status);
    std::string lastKey;
    char letter = 0;
    bool changed = false;
    int seen = 0;
    while (status == 0) {
      const std::string code(FieldText(buffer, ReceiptRecord::ownerCode));
      const std::string digits = platform::UnpackDigits(code);
      const int property = std::atoi(digits.substr(0, 4).c_str());
      const int owner = std::atoi(digits.substr(4, 4).c_str());
      if (FieldInt32(buffer, ReceiptRecord::amount) != property * 100 + owner) {
        return Fail("a receipt not whole at " + digits);
      }
      const std::string state(FieldText(buffer, ReceiptRecord::state));
      if (state.size() != 1) return Fail("a receipt without its letter at " + digits);
      if (letter != 0 && state[0] < letter) {
        return Fail(std::string("back from import ") + letter + " to " + state[0]);
      }
      if (letter != 0 && state[0] != letter) changed = true;
      letter = state[0];
      letters.insert(letter);
      const std::string key = code + std::string(FieldText(buffer, ReceiptRecord::receiptDate));
      if (key < lastKey) return Fail("out of key order at " + digits);
      lastKey = key;
      ++seen;
      StepRecord(514, 1, status);
    }
    if (status != platform::kStatusEndOfFile) {
      return Fail("walk ended with status " + std::to_string(status));
    }
    if (seen != receipts) return Fail("a walk saw " + std::to_string(seen) + " receipts");
    ++walks;
    if (changed) ++mixed;
    if (walks == 1) {
      std::FILE* f = std::fopen(ready.c_str(), "w");
      if (f != nullptr) std::fclose(f);
    }
  } while (::access(stop.c_str(), F_OK) != 0);
  ResetRecordManager(status);
  std::printf("walks %d mixed %d letters %s\n", walks, mixed,
              std::string(letters.begin(), letters.end()).c_str());
  return 0;
}
