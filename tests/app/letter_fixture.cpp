#include "tests/app/letter_fixture.h"

#include <sstream>

#include "app/field_file.h"
#include "app/letter_files.h"
#include "app/letter_state.h"
#include "format/format_state.h"
#include "format/number_mask.h"
#include "platform/clock.h"
#include "platform/packed_digits.h"
#include "platform/path.h"
#include "print/spool.h"
#include "records/record_access.h"
#include "records/record_access_ui.h"
#include "records/record_files.h"
#include "session/session.h"
#include "tools/zurdata/data_tool.h"

namespace app_test {

using testing_support::ReadFile;
using testing_support::WriteFile;

std::string Number(long value) {
  return (value < 0 ? "-" : " ") + std::to_string(value < 0 ? -value : value) + " ";
}

std::string Text(long column, const std::string& text, long advance) {
  return Number(column) + "," + text + "," + Number(advance);
}

std::string Page(long lines) {
  return "PAGE" + Number(lines);
}

std::string Command(const std::string& command) {
  return "*" + command;
}

std::string Justify(const std::string& code) {
  return "JUS" + code;
}

std::string Pad(const std::string& text, size_t width) {
  std::string padded = text;
  padded.resize(width, ' ');
  return padded;
}

void Append(Lines& lines, const Lines& more) {
  lines.insert(lines.end(), more.begin(), more.end());
}

std::string OwnerCodeOf(int property, int owner) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%04d%04d", property, owner);
  return platform::PackDigits(digits);
}

namespace {

void IgnoreMessage(const std::string&) {}
void Nothing() {}
void NoSleep(long long) {}
double Half() {
  return 0.5;
}

void InstallQuietRecordUi() {
  records::RecordAccessUi& ui = records::RecordUi();
  ui.showOpenFailure = IgnoreMessage;
  ui.closeSequentialFiles = Nothing;
  ui.endModule = Nothing;
  ui.showLockNotice = IgnoreMessage;
  ui.removeLockNotice = Nothing;
  ui.sleepMilliseconds = NoSleep;
  ui.uniformRandom = Half;
}

}  // namespace

void LetterFixture::SetUp() {
  root = dir.path();
  work = root + "TMP/";
  ASSERT_TRUE(platform::MakeDirectories(work));
  int16_t status = 0;
  records::ResetRecordManager(status);
  records::ResetRecordAccessState();
  InstallQuietRecordUi();

  session::ResetSession();
  session::SessionContext& s = session::Session();
  s.rootDir = root;
  s.workDir = work;
  s.languageCode = "CAT";
  const char* letterhead[8] = {"Finques Roca",
                               "Administraci\xA2 de finques",
                               "C. Diputaci\xA2, 212",
                               "08011 Barcelona",
                               "",
                               "",
                               "",
                               "Barcelona"};
  for (int i = 0; i < 8; ++i) s.letterhead[i] = Pad(letterhead[i], 35);

  zurRoot_ = std::make_unique<testing_support::ScopedEnv>("ZURROOT", root);
  WriteFile(root + "Orva.ini",
            "[Usuari]\r\nDecCaracter=,\r\nMilCaracter=.\r\nDatCaracter=/\r\nDatOrdre=DMA\r\n");
  format::ResetFormatState();
  format::SetCurrency("a,E");
  platform::SetToday(platform::CalendarDate{2026, 3, 15});
  print::ResetSpool();
  app::ResetLetterState();
}

void LetterFixture::TearDown() {
  int16_t status = 0;
  records::ResetRecordManager(status);
  records::ResetRecordAccessState();
  records::ResetRecordAccessUi();
  print::ResetSpool();
  app::ResetLetterState();
  session::ResetSession();
  format::ResetFormatState();
  platform::SetToday(std::nullopt);
}

void LetterFixture::InstallData(const std::string& properties, const std::string& owners,
                                const std::string& receipts) {
  std::ostringstream out, err;
  ASSERT_EQ(zurdata::Init(root, out, err), 0) << err.str();
  const struct {
    zurdata::Kind kind;
    const char* header;
    const std::string& rows;
  } files[] = {
      {zurdata::Kind::kProperties, "property,address1,address2,address3\n", properties},
      {zurdata::Kind::kOwners, "property,owner,name,unit,mail1,mail2,mail3\n", owners},
      {zurdata::Kind::kReceipts, "property,owner,date,amount,state\n", receipts},
  };
  for (const auto& f : files) {
    const std::string csv = root + "csv/" + std::string(zurdata::KindName(f.kind)) + ".csv";
    WriteFile(csv, f.header + f.rows);
    ASSERT_EQ(zurdata::Import(root, f.kind, csv, false, false, out, err), 0) << err.str();
  }
  ASSERT_EQ(app::OpenLetterFiles(), 0);
}

void LetterFixture::WriteTemplate(const std::string& name, const Lines& lines) {
  std::string bytes;
  for (const std::string& line : lines) bytes += line + "\r\n";
  WriteFile(root + "TEXTOS/" + name + ".txt", bytes);
}

void LetterFixture::OpenSpool() {
  ASSERT_TRUE(print::OpenSpool("TEST"));
}

void LetterFixture::ReopenSpool() {
  print::ResetSpool();
  OpenSpool();
}

Lines LetterFixture::SpoolLines() {
  EXPECT_TRUE(print::CloseSpool());
  const std::optional<std::string> bytes = ReadFile(work + "zurprint.tmp");
  Lines lines;
  if (!bytes) {
    ADD_FAILURE() << "no spool file";
    return lines;
  }
  size_t at = 0;
  while (at < bytes->size()) {
    const size_t end = bytes->find("\r\n", at);
    if (end == std::string::npos) {
      ADD_FAILURE() << "spool line without CR LF: " << bytes->substr(at);
      break;
    }
    lines.push_back(bytes->substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

std::string LetterFixture::FieldFileBytes() {
  return ReadFile(work + "merge.tmp").value_or("");
}

void LetterFixture::ReadOwner(int property, int owner) {
  int16_t status = -1;
  const std::string code = OwnerCodeOf(property, owner);
  records::SeekRecord(records::kPropertiesFile.fileNumber, 0, code.substr(0, 2), 0, status);
  ASSERT_EQ(status, 0) << "property " << property;
  records::SeekRecord(records::kOwnersFile.fileNumber, 0, code, 0, status);
  ASSERT_EQ(status, 0) << "owner " << property << "." << owner;
}

}  // namespace app_test
