// The record access layer over the record manager: the slot table, opening and
// creating files, the open failure that ends the module, seeks, steps, positions, the
// range test, key images, lock modes and the lock retries.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <array>
#include <cctype>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/packed_digits.h"
#include "platform/path.h"
#include "platform/record_manager.h"
#include "platform/record_status.h"
#include "records/record_access.h"
#include "records/record_access_ui.h"
#include "records/record_files.h"
#include "records/record_layouts.h"
#include "session/session.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace records;
using platform::PackDigits;
using testing_support::TempDir;
using testing_support::WriteFile;

// What the layer asked of the screen and the clock.
struct UiLog {
  std::vector<std::string> events;
  std::vector<long long> sleeps;
  // Called on each sleep (with the number of sleeps so far); lets a test release a lock.
  std::function<void(size_t)> onSleep;
};
UiLog& Log() {
  static UiLog log;
  return log;
}

void InstallTestUi() {
  Log() = UiLog{};
  RecordAccessUi& ui = RecordUi();
  ui.showOpenFailure = [](const std::string& m) { Log().events.push_back("message:" + m); };
  ui.closeSequentialFiles = [] { Log().events.push_back("close files"); };
  ui.endModule = [] { Log().events.push_back("end"); };
  ui.showLockNotice = [](const std::string& m) { Log().events.push_back("notice:" + m); };
  ui.removeLockNotice = [] { Log().events.push_back("notice removed"); };
  ui.sleepMilliseconds = [](long long ms) {
    Log().sleeps.push_back(ms);
    if (Log().onSleep) Log().onSleep(Log().sleeps.size());
  };
  ui.uniformRandom = [] { return 0.5; };
}

std::string Packed(int number, int digits) {
  std::string text = std::to_string(number);
  return PackDigits(std::string(static_cast<size_t>(digits) - text.size(), '0') + text);
}

// Writes records straight through the record manager into rootDir + name + ".dat".
void Fill(const std::string& root, const RecordFileInfo& file,
          const std::vector<std::string>& recs) {
  const std::string path = platform::ResolvePath(root + std::string(file.name) + ".dat");
  std::string spec = platform::EncodeFileSpec(CreationSpec(file));
  std::array<uint8_t, 256> key{};
  std::memcpy(key.data(), path.data(), path.size());
  uint32_t n = static_cast<uint32_t>(spec.size());
  ASSERT_EQ(platform::BTRCALL(platform::kOpCreate, nullptr, spec.data(), &n, key.data(),
                              static_cast<uint8_t>(path.size()), 0),
            0);
  std::array<uint8_t, platform::kPositionBlockSize> block{};
  ASSERT_EQ(platform::BTRCALL(platform::kOpOpen, block.data(), nullptr, nullptr, key.data(),
                              static_cast<uint8_t>(path.size()), 0),
            0);
  for (std::string r : recs) {
    r.resize(file.bufferSize, ' ');
    n = static_cast<uint32_t>(r.size());
    std::array<uint8_t, 256> k{};
    ASSERT_EQ(platform::BTRCALL(platform::kOpInsert, block.data(), r.data(), &n, k.data(), 255, 0),
              0);
  }
  ASSERT_EQ(platform::BTRCALL(platform::kOpClose, block.data(), nullptr, nullptr, nullptr, 0, 0),
            0);
}

std::string Text(const std::string& code, const std::string& description = "",
                 const std::string& group = "") {
  TextEntryRecord::Buffer b;
  b.fill(' ');
  SetFieldText(b, TextEntryRecord::code, code);
  SetFieldText(b, TextEntryRecord::description, description);
  SetFieldText(b, TextEntryRecord::group, group);
  return std::string(b.data(), b.size());
}

std::string Owner(int property, int owner, const std::string& name) {
  OwnerRecord::Buffer b;
  b.fill(' ');
  SetFieldText(b, OwnerRecord::ownerCode, Packed(property, 4) + Packed(owner, 4));
  SetFieldText(b, OwnerRecord::ownerName, name);
  return std::string(b.data(), b.size());
}

std::string Receipt(int property, int owner, const std::string& date, int32_t cents) {
  ReceiptRecord::Buffer b;
  b.fill(' ');
  SetFieldText(b, ReceiptRecord::ownerCode, Packed(property, 4) + Packed(owner, 4));
  SetFieldText(b, ReceiptRecord::receiptDate, PackDigits(date));
  SetFieldInt32(b, ReceiptRecord::amount, cents);
  SetFieldText(b, ReceiptRecord::state, "P");
  return std::string(b.data(), b.size());
}

class RecordAccess : public ::testing::Test {
 protected:
  void SetUp() override {
    int16_t status;
    ResetRecordManager(status);
    ResetRecordAccessState();
    InstallTestUi();
    platform::SetRecordManagerBusyTimeout(100);
    session::ResetSession();
    session::Session().rootDir = dir.path();
    platform::MakeDirectories(dir / "DADES");
    platform::MakeDirectories(dir / "ddf");
  }
  void TearDown() override {
    int16_t status;
    ResetRecordManager(status);
    ResetRecordAccessState();
    ResetRecordAccessUi();
    platform::SetRecordManagerBusyTimeout(2000);
    session::ResetSession();
  }

  void WriteCreationBlock(const RecordFileInfo& file) {
    WriteFile(dir / ("ddf/" + std::string(file.baseName) + ".xdf"),
              CreationBlockFileBytes(CreationSpec(file)));
  }

  int16_t Open(const RecordFileInfo& file, std::span<char> buffer) {
    int16_t status = -1;
    OpenRecordFile(file.fileNumber, dir.path() + std::string(file.name), buffer, status);
    return status;
  }

  TempDir dir;
  TextEntryRecord::Buffer texts{};
  PropertyRecord::Buffer properties{};
  OwnerRecord::Buffer owners{};
  ReceiptRecord::Buffer receipts{};
};

TEST_F(RecordAccess, OpenCreatesAMissingFileFromItsCreationBlock) {
  WriteCreationBlock(kTextsFile);
  ASSERT_EQ(Open(kTextsFile, texts), 0);
  EXPECT_TRUE(platform::FileExists(dir / "DADES/Textos.dat"));
  EXPECT_TRUE(Log().events.empty());
  const RecordFileSlot& slot = RecordFileTable().slots[40];
  EXPECT_EQ(slot.fileNumber, 60);
  EXPECT_EQ(slot.recordLength, 64);
  EXPECT_EQ(slot.keyNumber, 0);
  EXPECT_EQ(slot.keyValue, std::string(8, '\0'));
  int16_t status;
  SeekRecord(60, 0, "", 1, status);
  EXPECT_EQ(status, platform::kStatusEndOfFile);
}

TEST_F(RecordAccess, SlotsAreTakenFromTheTopAndNeverTwice) {
  Fill(dir.path(), kTextsFile, {Text("A")});
  ASSERT_EQ(Open(kTextsFile, texts), 0);
  EXPECT_EQ(FindFileSlot(60), 40);
  EXPECT_EQ(FindFileSlot(61), -39);
  // The same number again: 1002, and nothing is asked of the record manager (the
  // name does not even exist).
  int16_t status = -1;
  OpenRecordFile(60, "no such file", texts, status);
  EXPECT_EQ(status, kRecordAlreadyOpen);
  for (int16_t n = 1; n <= 39; ++n) {
    OpenRecordFile(n, dir.path() + "DADES\\Textos", texts, status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(FindFileSlot(n), 40 - n);
  }
  EXPECT_EQ(FindFileSlot(999), 0);
  OpenRecordFile(999, "no such file", texts, status);
  EXPECT_EQ(status, kRecordTableFull);
  EXPECT_TRUE(Log().events.empty());
  // File number 0 means a free slot: never open.
  EXPECT_EQ(FindFileSlot(0), 0);
  StepRecord(0, 1, status);
  EXPECT_EQ(status, platform::kStatusFileNotOpen);

  ResetRecordManager(status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(FindFileSlot(60), -40);
  SeekRecord(60, 0, "A", 1, status);
  EXPECT_EQ(status, platform::kStatusFileNotOpen);
}

TEST_F(RecordAccess, NamesGetDatUnlessTheyHaveAnExtension) {
  struct Case {
    std::string name;       // as the caller gives it, under rootDir
    std::string file;       // the data file made
    std::string blockBase;  // ddf\<base>.xdf it is created from
  } cases[] = {
      {"DADES\\PropietH", "DADES/PropietH.dat", "PropietH"},
      {"DADES\\Y.DAT", "DADES/Y.DAT", "Y"},
      {"DADES/A.B.C", "DADES/A.B.C", "A"},
      {"Z", "Z.dat", "Z"},
  };
  int16_t fileNumber = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(dir / ("ddf/" + c.blockBase + ".xdf"),
              CreationBlockFileBytes(CreationSpec(kOwnersFile)));
    int16_t status = -1;
    OpenRecordFile(fileNumber++, dir.path() + c.name, owners, status);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(platform::FileExists(dir / c.file));
  }
  EXPECT_TRUE(Log().events.empty());
}

TEST_F(RecordAccess, AFileThatCannotBeOpenedEndsTheModuleAfterAMessage) {
  struct Case {
    std::string language;
    std::string prefix;
  } cases[] = {
      {"CAT", "NO ES POT ACCEDIR AL FITXER "},    {"SPA", "NO SE PUEDE ACCEDER AL FICHERO "},
      {"GLG", "NOM SE PODE ACEDER AO FICHEIRO "}, {"OCI", "NON SE P\xE3T ACCEDIR ATH FICH\xD4R "},
      {"ENG", "NO ES POT ACCEDIR AL FITXER "},
  };
  Fill(dir.path(), kTextsFile, {Text("A")});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.language);
    session::Session().languageCode = c.language;
    ResetRecordAccessState();
    InstallTestUi();
    ASSERT_EQ(Open(kTextsFile, texts), 0);
    // No data file and no creation block.
    int16_t status = -1;
    const std::string name = dir.path() + "DADES\\CobramH";
    OpenRecordFile(514, name, receipts, status);
    EXPECT_EQ(status, platform::kStatusFileNotFound);
    EXPECT_EQ(Log().events, (std::vector<std::string>{"message:" + c.prefix + name + " (12)",
                                                      "close files", "end"}));
    // Every file was released.
    EXPECT_EQ(FindFileSlot(60), -40);
    EXPECT_FALSE(platform::FileExists(dir / "DADES/CobramH.dat"));
  }
}

TEST_F(RecordAccess, OpenFailuresReportTheirStatus) {
  WriteFile(dir / "DADES/FinquesH.dat", "this is no record file");
  // A creation block cut short is never handed to Create.
  WriteFile(dir / "ddf/CobramH.xdf",
            CreationBlockFileBytes(CreationSpec(kReceiptsFile)).substr(0, 20));
  // A file whose records are longer than the buffer bound to it.
  Fill(dir.path(), kOwnersFile, {});
  struct Case {
    const RecordFileInfo& file;
    std::span<char> buffer;
    int16_t status;
  } cases[] = {
      {kPropertiesFile, properties, platform::kStatusNotARecordFile},
      {kReceiptsFile, receipts, platform::kStatusFileNotFound},
      {kOwnersFile, std::span<char>(owners.data(), 100), platform::kStatusDataBufferTooShort},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.name);
    InstallTestUi();
    EXPECT_EQ(Open(c.file, c.buffer), c.status);
    ASSERT_EQ(Log().events.size(), 3u);
    EXPECT_EQ(Log().events[0], "message:NO ES POT ACCEDIR AL FITXER " + dir.path() +
                                   std::string(c.file.name) + " (" + std::to_string(c.status) +
                                   ")");
  }
  // A name too long for the key buffer is refused as an invalid name.
  InstallTestUi();
  int16_t status = -1;
  OpenRecordFile(1, std::string(300, 'x'), texts, status);
  EXPECT_EQ(status, platform::kStatusInvalidFileName);
}

TEST(RecordAccessDeathTest, TheOpenFailureEndsTheProcessWithExitCode0) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TempDir dir;
  ResetRecordAccessUi();
  session::ResetSession();
  session::Session().rootDir = dir.path();
  ReceiptRecord::Buffer buffer{};
  EXPECT_EXIT(
      {
        int16_t status = 0;
        OpenRecordFile(514, dir.path() + "DADES\\CobramH", buffer, status);
      },
      ::testing::ExitedWithCode(0), "NO ES POT ACCEDIR AL FITXER .*CobramH \\(12\\)");
  session::ResetSession();
}

TEST_F(RecordAccess, TheLetterRunWalksOwnersByPropertyAndReceiptsByOwner) {
  Fill(dir.path(), kOwnersFile,
       {Owner(3, 7, "LAST"), Owner(1, 2, "B"), Owner(2, 5, "D"), Owner(1, 1, "A"),
        Owner(2, 0, "C")});
  Fill(dir.path(), kReceiptsFile,
       {Receipt(2, 5, "20240301", 300), Receipt(2, 0, "20240101", 100),
        Receipt(2, 5, "20240101", 100), Receipt(2, 5, "20240201", 200),
        Receipt(3, 7, "20230101", 999)});
  ASSERT_EQ(Open(kOwnersFile, owners), 0);
  ASSERT_EQ(Open(kReceiptsFile, receipts), 0);

  // Greater or equal by the 2-byte property number of a 4-byte key, then forward.
  int16_t status = -1;
  SeekRecord(513, 0, Packed(2, 4), 1, status);
  ASSERT_EQ(status, 0);
  std::vector<std::string> names;
  while (status == 0 && FieldText(owners, OwnerRecord::ownerCode).substr(0, 2) == Packed(2, 4)) {
    names.emplace_back(FieldText(owners, OwnerRecord::ownerName).substr(0, 1));
    StepRecord(513, 1, status);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"C", "D"}));
  EXPECT_EQ(status, 0);
  EXPECT_EQ(FieldText(owners, OwnerRecord::ownerName).substr(0, 4), "LAST");
  StepRecord(513, 1, status);
  EXPECT_EQ(status, platform::kStatusEndOfFile);

  // An owner's receipts by its 4-byte code, in date order.
  const std::string owner = Packed(2, 4) + Packed(5, 4);
  SeekRecord(514, 0, owner, 1, status);
  std::vector<int32_t> amounts;
  while (status == 0 && FieldText(receipts, ReceiptRecord::ownerCode) == owner) {
    amounts.push_back(FieldInt32(receipts, ReceiptRecord::amount));
    StepRecord(514, 1, status);
  }
  EXPECT_EQ(amounts, (std::vector<int32_t>{100, 200, 300}));
  EXPECT_EQ(FieldInt32(receipts, ReceiptRecord::amount), 999);
  // Owner number 0 is a valid owner: its code ends in two bytes of 128.
  SeekRecord(514, 0, Packed(2, 4) + Packed(0, 4), 1, status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(FieldText(receipts, ReceiptRecord::ownerCode).substr(2), "\x80\x80");
  // Past the last owner: end of file, the buffer keeps what it had.
  SeekRecord(514, 0, Packed(9999, 4), 1, status);
  EXPECT_EQ(status, platform::kStatusEndOfFile);
  EXPECT_EQ(FieldText(receipts, ReceiptRecord::ownerCode).substr(2), "\x80\x80");
}

TEST_F(RecordAccess, SeekModesAndKeys) {
  Fill(dir.path(), kTextsFile,
       {Text("CARTA1", "first", "G2"), Text("CARTA2", "second", "G1"),
        Text("AVIS", "notice", "G2")});
  ASSERT_EQ(Open(kTextsFile, texts), 0);
  struct Case {
    int16_t keyNumber;
    std::string key;
    int16_t mode;
    int16_t status;
    std::string code;  // of the record reached ("" when the buffer is unchanged)
  } cases[] = {
      {0, "CARTA2  ", 0, 0, "CARTA2"},
      {0, "CARTA", 0, platform::kStatusKeyNotFound, ""},  // a prefix is zero-filled
      {0, "CARTA", 1, 0, "CARTA1"},
      {0, "B", -1, 0, "AVIS"},
      {0, "A", -1, platform::kStatusEndOfFile, ""},
      {0, "ZZZ", 1, platform::kStatusEndOfFile, ""},
      {1, "G1      CARTA2  ", 0, 0, "CARTA2"},
      {1, "G2", 1, 0, "AVIS"},
      {2, "X", 1, kRecordNoSuchKey, ""},
      {-1, "X", 1, kRecordNoSuchKey, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.keyNumber) + " " + c.key + " " + std::to_string(c.mode));
    texts.fill('#');
    int16_t status = -1;
    SeekRecord(60, c.keyNumber, c.key, c.mode, status);
    EXPECT_EQ(status, c.status);
    if (c.code.empty()) {
      EXPECT_EQ(texts[0], '#');
    } else {
      EXPECT_EQ(FieldText(texts, TextEntryRecord::code),
                c.code + std::string(8 - c.code.size(), ' '));
    }
  }
  // 1004 leaves the current key alone.
  EXPECT_EQ(RecordFileTable().slots[40].keyNumber, 1);
  EXPECT_EQ(RecordFileTable().slots[40].keyValue.size(), 16u);

  int16_t keyLength = -1, recordLength = -1;
  KeyInfo(60, 0, keyLength, recordLength);
  EXPECT_EQ(keyLength, 8);
  EXPECT_EQ(recordLength, 64);
  KeyInfo(60, 1, keyLength, recordLength);
  EXPECT_EQ(keyLength, 16);
  KeyInfo(60, 2, keyLength, recordLength);
  EXPECT_EQ(keyLength, 0);
  EXPECT_EQ(recordLength, 64);
  KeyInfo(61, 0, keyLength, recordLength);
  EXPECT_EQ(keyLength, 0);
  EXPECT_EQ(recordLength, 0);
}

TEST_F(RecordAccess, StepsAndPositions) {
  std::vector<std::string> recs;
  for (const char* c : {"A", "B", "C", "D", "E"}) recs.push_back(Text(c));
  Fill(dir.path(), kTextsFile, recs);
  ASSERT_EQ(Open(kTextsFile, texts), 0);
  auto code = [&] { return std::string(1, texts[0]); };
  int16_t status = -1;
  // Before any read there is no record to step from.
  StepRecord(60, 1, status);
  EXPECT_EQ(status, platform::kStatusInvalidPositioning);
  SeekRecord(60, 0, "B       ", 0, status);
  ASSERT_EQ(status, 0);

  const std::string keyBefore = RecordFileTable().slots[40].keyValue;
  texts[63] = '!';
  StepRecord(60, 0, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(texts[63], '!');  // count 0 touches nothing
  EXPECT_EQ(RecordFileTable().slots[40].keyValue, keyBefore);

  StepRecord(60, 1, status);
  EXPECT_EQ(code(), "C");
  StepRecord(60, 2, status);
  EXPECT_EQ(code(), "E");
  EXPECT_EQ(RecordFileTable().slots[40].keyValue, "E       ");
  StepRecord(60, -3, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(code(), "B");
  // Too far: the end of file, and the buffer keeps the record it had.
  StepRecord(60, -5, status);
  EXPECT_EQ(status, platform::kStatusEndOfFile);
  EXPECT_EQ(code(), "B");

  SeekRecord(60, 0, "D       ", 0, status);
  const int32_t pos = RecordPosition(60, 0);
  EXPECT_EQ(pos, 4);
  SeekRecord(60, 0, "A       ", 0, status);
  EXPECT_EQ(RecordPosition(60, pos), 0);
  EXPECT_EQ(code(), "D");
  StepRecord(60, 1, status);
  EXPECT_EQ(code(), "E");
  EXPECT_EQ(RecordPosition(60, 77), platform::kStatusInvalidRecordAddress);
  EXPECT_EQ(code(), "E");
  EXPECT_EQ(RecordPosition(61, 0), 0);
  EXPECT_EQ(RecordPosition(61, 1), 0);
}

TEST_F(RecordAccess, KeyInRangeLooksAheadWithoutMoving) {
  Fill(dir.path(), kTextsFile, {Text("A1"), Text("A2"), Text("B1"), Text("B2")});
  ASSERT_EQ(Open(kTextsFile, texts), 0);
  int16_t status = -1;
  struct Case {
    std::string at;
    int16_t count;
    std::string bound;
    int16_t inRange;
  } cases[] = {
      {"A1", 1, "A", -1},  {"A2", 1, "A", 0},   {"A2", 1, "B", -1},
      {"A1", 2, "A", 0},   {"B2", 1, "Z", 0},  // no next record
      {"A2", -1, "A", -1}, {"B1", -1, "B", 0},  {"A1", -1, "A", 0},
      {"B1", 0, "B", -1},  {"A1", 3, "B2", -1},  // the whole bound: A1 -> B2, not past "B2"
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.at + " " + std::to_string(c.count) + " " + c.bound);
    SeekRecord(60, 0, c.at, 1, status);
    ASSERT_EQ(status, 0);
    texts[63] = '!';
    EXPECT_EQ(KeyInRange(60, c.count, c.bound), c.inRange);
    // Back on the same record, buffer refilled.
    EXPECT_EQ(FieldText(texts, TextEntryRecord::code).substr(0, 2), c.at);
    EXPECT_EQ(texts[63], ' ');
    EXPECT_EQ(RecordFileTable().slots[40].keyValue.substr(0, 2), c.at);
  }
  EXPECT_EQ(KeyInRange(61, 1, "A"), 0);
}

TEST_F(RecordAccess, KeyImagesFollowTheCurrentKey) {
  // A file whose key 0 is a 2-byte binary segment and key 1 uses the upper-case
  // sequence; records of 8 bytes.
  platform::FileSpec spec;
  spec.recordLength = 8;
  spec.pageSize = 512;
  spec.keys.push_back(platform::KeySpec{{platform::KeySegmentSpec{1, 2, platform::kKeyBinary}}});
  spec.keys.push_back(platform::KeySpec{
      {platform::KeySegmentSpec{3, 3, platform::kKeyAlternate | platform::kKeyDuplicates},
       platform::KeySegmentSpec{6, 2, platform::kKeyDuplicates}}});
  platform::AlternateSequence upper;
  upper.name = "UPPER";
  for (int c = 0; c < 256; ++c) upper.table[c] = static_cast<uint8_t>(std::toupper(c));
  spec.alternate = upper;
  WriteFile(dir / "ddf/Mixed.xdf", CreationBlockFileBytes(spec));
  std::array<char, 8> buffer{};
  int16_t status = -1;
  OpenRecordFile(7, dir.path() + "DADES\\Mixed", buffer, status);
  ASSERT_EQ(status, 0);

  // 1 (01 00) gives 00 01, which sorts below the image of 256 (00 01 -> 01 00).
  EXPECT_EQ(KeyImage(std::string("\x01\x00", 2), 7), std::string("\x00\x01", 2));
  EXPECT_EQ(KeyImage(std::string("\x00\x01", 2), 7), std::string("\x01\x00", 2));
  EXPECT_LT(KeyImage(std::string("\x01\x00", 2), 7), KeyImage(std::string("\x00\x01", 2), 7));
  // A short text is padded with zero bytes to the segment's end first.
  EXPECT_EQ(KeyImage("\x05", 7), std::string("\x00\x05", 2));
  EXPECT_EQ(KeyImage("", 7), std::string("\x00\x00", 2));
  // Bytes past the key are left alone.
  EXPECT_EQ(KeyImage(std::string("\x01\x00zz", 4), 7), std::string("\x00\x01zz", 4));
  EXPECT_EQ(CurrentKeyImage(7), std::string(2, '\0'));

  SeekRecord(7, 1, "", 1, status);  // makes key 1 current (the file is empty: 9)
  EXPECT_EQ(status, platform::kStatusEndOfFile);
  EXPECT_EQ(KeyImage("abcde", 7), "ABCde");  // only the alternate segment is mapped
  EXPECT_EQ(KeyImage("ab", 7), "AB");        // mapping stops at the end of the text

  EXPECT_EQ(KeyImage("abc", 8), "abc");  // not open: unchanged
  EXPECT_EQ(CurrentKeyImage(8), "");
}

TEST_F(RecordAccess, AFileOpenedAfterAResetIsReadWithItsOwnKeys) {
  // Two files of different structure opened in turn under one file number: record
  // length, key lengths and key images follow the file open now.
  platform::FileSpec mixed;
  mixed.recordLength = 8;
  mixed.pageSize = 512;
  mixed.keys.push_back(platform::KeySpec{{platform::KeySegmentSpec{1, 2, platform::kKeyBinary}}});
  mixed.keys.push_back(
      platform::KeySpec{{platform::KeySegmentSpec{3, 5, platform::kKeyDuplicates}}});
  platform::FileSpec plain;
  plain.recordLength = 16;
  plain.pageSize = 512;
  plain.keys.push_back(platform::KeySpec{{platform::KeySegmentSpec{1, 6, 0}}});
  WriteFile(dir / "ddf/Mixed.xdf", CreationBlockFileBytes(mixed));
  WriteFile(dir / "ddf/Plain.xdf", CreationBlockFileBytes(plain));
  struct Reset {
    const char* name;
    void (*reset)();
  } resets[] = {
      {"the record manager reset",
       [] {
         int16_t ignored;
         ResetRecordManager(ignored);
       }},
      {"the table emptied", [] { ResetRecordAccessState(); }},
  };
  for (const Reset& r : resets) {
    SCOPED_TRACE(r.name);
    std::array<char, 16> buffer{};
    int16_t status = -1, keyLength = -1, recordLength = -1;
    OpenRecordFile(7, dir.path() + "DADES\\Mixed", buffer, status);
    ASSERT_EQ(status, 0);
    KeyInfo(7, 1, keyLength, recordLength);
    EXPECT_EQ(keyLength, 5);
    EXPECT_EQ(recordLength, 8);
    EXPECT_EQ(KeyImage(std::string("\x01\x00", 2), 7), std::string("\x00\x01", 2));

    r.reset();
    KeyInfo(7, 0, keyLength, recordLength);
    EXPECT_EQ(keyLength, 0);
    EXPECT_EQ(recordLength, 0);
    OpenRecordFile(7, dir.path() + "DADES\\Plain", buffer, status);
    ASSERT_EQ(status, 0);
    KeyInfo(7, 0, keyLength, recordLength);
    EXPECT_EQ(keyLength, 6);
    EXPECT_EQ(recordLength, 16);
    KeyInfo(7, 1, keyLength, recordLength);
    EXPECT_EQ(keyLength, 0);
    EXPECT_EQ(KeyImage(std::string("\x01\x00", 2), 7), std::string("\x01\x00", 2));
    SeekRecord(7, 1, "", 1, status);
    EXPECT_EQ(status, kRecordNoSuchKey);
    SeekRecord(7, 0, "", 1, status);
    EXPECT_EQ(status, platform::kStatusEndOfFile);
    ResetRecordManager(status);
    ASSERT_EQ(status, 0);
  }
}

TEST_F(RecordAccess, KeyValuesKeepTheirLengthThroughZeroBytes) {
  platform::FileSpec spec;
  spec.recordLength = 8;
  spec.pageSize = 512;
  spec.keys.push_back(platform::KeySpec{{platform::KeySegmentSpec{1, 2, platform::kKeyBinary}}});
  WriteFile(dir / "ddf/Bin.xdf", CreationBlockFileBytes(spec));
  std::array<char, 8> buffer{};
  int16_t status = -1;
  OpenRecordFile(7, dir.path() + "DADES\\Bin", buffer, status);
  ASSERT_EQ(status, 0);
  std::array<uint8_t, platform::kPositionBlockSize> block{};
  const std::string path = platform::ResolvePath(dir / "DADES/Bin.dat");
  std::array<uint8_t, 256> key{};
  std::memcpy(key.data(), path.data(), path.size());
  ASSERT_EQ(platform::BTRCALL(platform::kOpOpen, block.data(), nullptr, nullptr, key.data(),
                              static_cast<uint8_t>(path.size()), 0),
            0);
  for (int v : {0, 256, 512, 768}) {
    std::string r(8, ' ');
    r[0] = static_cast<char>(v & 0xFF);
    r[1] = static_cast<char>(v >> 8);
    uint32_t n = 8;
    ASSERT_EQ(
        platform::BTRCALL(platform::kOpInsert, block.data(), r.data(), &n, key.data(), 255, 0), 0);
  }
  SeekRecord(7, 0, std::string("\x00\x00", 2), 0, status);
  ASSERT_EQ(status, 0);
  StepRecord(7, 2, status);  // over 256 (bytes 00 01) to 512
  ASSERT_EQ(status, 0);
  EXPECT_EQ(RecordFileTable().slots[40].keyValue, std::string("\x00\x02", 2));
  StepRecord(7, 1, status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(buffer[1], 3);
}

TEST_F(RecordAccess, LockModesAreSavedAndRestoredPerSlot) {
  Fill(dir.path(), kTextsFile, {});
  Fill(dir.path(), kReceiptsFile, {});
  ASSERT_EQ(Open(kTextsFile, texts), 0);
  ASSERT_EQ(Open(kReceiptsFile, receipts), 0);
  auto mode = [](int16_t file) { return RecordFileTable().slots[FindFileSlot(file)].lockMode; };
  int16_t status = 77;
  SetLockMode(60, "a", status);
  EXPECT_EQ(status, 77);  // left as the caller set it
  EXPECT_EQ(mode(60), 1);
  SetLockMode(514, "+b", status);
  SetLockMode(60, "+B", status);
  EXPECT_EQ(mode(60), 2);
  EXPECT_EQ(mode(514), 2);
  SetLockMode(60, "-", status);
  EXPECT_EQ(mode(60), 1);
  EXPECT_EQ(mode(514), 2);  // the other slot's pair is still there
  SetLockMode(60, "-", status);
  EXPECT_EQ(mode(60), 1);  // nothing saved for this slot any more
  SetLockMode(514, "x-", status);
  EXPECT_EQ(mode(514), 0);
  SetLockMode(514, "+d-", status);
  EXPECT_EQ(mode(514), 0);
  SetLockMode(61, "A", status);
  EXPECT_EQ(status, platform::kStatusFileNotOpen);
}

// A connection of this process that holds the database locked, as another program
// would: exclusively (nobody may even open it), or for writing (readers go on, a
// writer waits); released on demand.
class HeldLock {
 public:
  HeldLock(const std::string& path, bool exclusive) {
    EXPECT_EQ(sqlite3_open(path.c_str(), &db_), SQLITE_OK);
    const char* sql = exclusive ? "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; "
                                  "SELECT count(*) FROM records;"
                                : "BEGIN IMMEDIATE; DELETE FROM records WHERE pos < 0;";
    EXPECT_EQ(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr), SQLITE_OK);
  }
  ~HeldLock() { Release(); }
  void Release() {
    if (db_ == nullptr) return;
    sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db_);
    db_ = nullptr;
  }

 private:
  sqlite3* db_ = nullptr;
};

TEST_F(RecordAccess, AFileLockedAtOpenIsRetriedEveryThreeSeconds) {
  Fill(dir.path(), kTextsFile, {Text("A")});
  HeldLock lock(platform::ResolvePath(dir / "DADES/Textos.dat"), true);
  Log().onSleep = [&](size_t n) {
    if (n == 2) lock.Release();
  };
  ASSERT_EQ(Open(kTextsFile, texts), 0);
  EXPECT_EQ(Log().sleeps, (std::vector<long long>{3000, 3000}));
  EXPECT_TRUE(Log().events.empty());  // no message while waiting at open
}

// Reads never wait for a writer (the files run in WAL mode), so the retries are
// shown with a write sent through DoRecordOperation while another connection holds
// the write lock.
TEST_F(RecordAccess, LockModeAWaitsWithANoticeAndBDoesNot) {
  Fill(dir.path(), kTextsFile, {Text("A")});
  ASSERT_EQ(Open(kTextsFile, texts), 0);
  const int16_t slot = FindFileSlot(60);
  int16_t ignored = 0;
  int16_t status = -1;

  SetLockMode(60, "B", ignored);
  SetFieldText(texts, TextEntryRecord::code, "B");
  {
    HeldLock lock(platform::ResolvePath(dir / "DADES/Textos.dat"), false);
    DoRecordOperation(slot, platform::kOpInsert, status);
    EXPECT_EQ(status, platform::kStatusRecordLocked);
    EXPECT_TRUE(Log().sleeps.empty());
    EXPECT_TRUE(Log().events.empty());
    // A reader is not held up by the writer.
    SeekRecord(60, 0, "A", 1, status);
    EXPECT_EQ(status, 0);
  }

  SetLockMode(60, "A", ignored);
  SetFieldText(texts, TextEntryRecord::code, "C");
  {
    HeldLock lock(platform::ResolvePath(dir / "DADES/Textos.dat"), false);
    Log().onSleep = [&](size_t n) {
      if (n == 3) lock.Release();
    };
    DoRecordOperation(slot, platform::kOpInsert, status);
    EXPECT_EQ(status, 0);
    // 10000 x 0.5 + 1 ms each time; the notice shown once, from the second attempt.
    EXPECT_EQ(Log().sleeps, (std::vector<long long>{5001, 5001, 5001}));
    EXPECT_EQ(Log().events, (std::vector<std::string>{"notice:FITXER BLOQUEJAT. ESPEREU UN MOMENT.",
                                                      "notice removed"}));
  }
  SeekRecord(60, 0, "C       ", 0, status);
  EXPECT_EQ(status, 0);
}

}  // namespace
