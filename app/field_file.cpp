#include "app/field_file.h"

#include <algorithm>
#include <array>
#include <string>

#include "app/letter_state.h"
#include "app/pending_receipts.h"
#include "format/date_text.h"
#include "format/packed_date.h"
#include "format/text.h"
#include "format/words.h"
#include "platform/binary_file.h"
#include "records/record_layouts.h"
#include "session/session.h"

namespace app {
namespace {

using records::FieldText;

// Code page 850 capitals and their small letters.
constexpr unsigned char kSmallLetters[][2] = {
    {154, 129}, {144, 130}, {182, 131}, {142, 132}, {183, 133}, {143, 134}, {128, 135},
    {210, 136}, {211, 137}, {212, 138}, {216, 139}, {215, 140}, {222, 141}, {146, 145},
    {226, 147}, {153, 148}, {227, 149}, {234, 150}, {235, 151}, {181, 160}, {214, 161},
    {224, 162}, {233, 163}, {165, 164}, {199, 198}, {209, 208}, {229, 228}, {237, 236},
};

constexpr std::array<unsigned char, 256> BuildLowerMap() {
  std::array<unsigned char, 256> map{};
  for (int c = 0; c < 256; ++c) map[c] = static_cast<unsigned char>(c);
  for (int c = 'A'; c <= 'Z'; ++c) map[c] = static_cast<unsigned char>(c + 32);
  for (const auto& pair : kSmallLetters) map[pair[0]] = pair[1];
  return map;
}

constexpr std::array<unsigned char, 256> kLowerMap = BuildLowerMap();

std::string LowerText(std::string text) {
  for (char& c : text) c = static_cast<char>(kLowerMap[static_cast<unsigned char>(c)]);
  return text;
}

// The text after its first blank; the whole text when it has none.
std::string AfterFirstBlank(const std::string& text) {
  const size_t blank = text.find(' ');
  return blank == std::string::npos ? text : text.substr(blank + 1);
}

// The number held by packed bytes [offset, offset + size) of the date; 0 when the
// date is shorter.
double PackedNumber(const std::string& packedDate, size_t offset, size_t size) {
  if (packedDate.size() < offset + size) return 0;
  const std::string digits = format::UnpackDigits(packedDate.substr(offset, size));
  double value = 0;
  for (char d : digits) value = value * 10 + (d - '0');
  return value;
}

}  // namespace

std::string FieldFilePath() {
  return session::Session().workDir + "merge.tmp";
}

void WriteField(std::string& fieldText, std::string_view name, std::string_view value) {
  fieldText += kNameLineMark;
  fieldText += name;
  fieldText += "\r\n";
  for (char c : value) {
    const unsigned char u = static_cast<unsigned char>(c);
    fieldText += (u == '\r' || u == '\n' || u == 26 || u == 127 || u == 255) ? ' ' : c;
  }
  fieldText += kValueEnd;
  fieldText += "\r\n";
}

LetterProblem WriteFieldFile() {
  LetterState& state = Letters();
  std::string& file = state.fieldText;
  file.clear();
  const session::SessionContext& session = session::Session();
  for (size_t i = 0; i < session.letterhead.size(); ++i) {
    WriteField(file, "MEM" + std::to_string(i + 1), session.letterhead[i]);
  }

  const std::string& date = state.selection.letterDate;
  const std::string inWords = format::DateText(date, 2, "dma");
  const std::string dayInWords = format::AmountInWords(PackedNumber(date, 3, 1), "m");
  std::string monthAndYear = AfterFirstBlank(inWords);
  std::string month =
      monthAndYear.substr(0, monthAndYear.size() - std::min<size_t>(5, monthAndYear.size()));
  WriteField(file, "FEC0", LowerText(format::DateText(date, 0, "dma")));
  WriteField(file, "FEC1", LowerText(format::DateText(date, 1, "dma")));
  WriteField(file, "FECHA", LowerText(inWords));
  WriteField(file, "FEC3", LowerText(dayInWords + " " + monthAndYear));
  WriteField(file, "FEC4",
             LowerText(dayInWords + " " + month + " " +
                       format::AmountInWords(PackedNumber(date, 0, 2), "m")));

  for (size_t i = 0; i < state.addressBlock.size(); ++i) {
    WriteField(file, "DES" + std::to_string(i), state.addressBlock[i]);
  }
  const auto& property = state.buffers.property;
  const auto& owner = state.buffers.owner;
  WriteField(file, "DES5",
             format::NameDisplayOrder(FieldText(property, records::PropertyRecord::addressLine1)) +
                 " " + std::string(FieldText(owner, records::OwnerRecord::unit)));

  PendingReceipts(&file);

  LetterProblem problem;
  const std::string path = FieldFilePath();
  platform::BinaryFile out;
  const long long size = static_cast<long long>(file.size());
  if (!out.Open(path, platform::BinaryFile::Mode::kReadWrite) ||
      !out.WriteAt(0, file.data(), file.size()) || (out.Length() != size && !out.Truncate(size))) {
    problem = {kFieldFileNotWritten, path};
  }
  return problem;
}

}  // namespace app
