#pragma once
// Record files for the forms tests: the module's files made under a folder with the
// record manager, filled with records built here, and opened through the record
// access layer with buffers that live as long as the fixture.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "platform/packed_digits.h"
#include "platform/path.h"
#include "platform/record_file_spec.h"
#include "platform/record_manager.h"
#include "records/record_access.h"
#include "records/record_files.h"
#include "records/record_layouts.h"

namespace record_fixture {

inline std::string Packed(int number, int digits) {
  std::string text = std::to_string(number);
  text.insert(0, static_cast<size_t>(digits) - text.size(), '0');
  return platform::PackDigits(text);
}

inline std::string TextRecord(const std::string& code, const std::string& description,
                              const std::string& group = "") {
  records::TextEntryRecord::Buffer b;
  b.fill(' ');
  records::SetFieldText(b, records::TextEntryRecord::code, code);
  records::SetFieldText(b, records::TextEntryRecord::description, description);
  records::SetFieldText(b, records::TextEntryRecord::group, group);
  return std::string(b.data(), b.size());
}

inline std::string PropertyRecord(int property, const std::string& address) {
  records::PropertyRecord::Buffer b;
  b.fill(' ');
  records::SetFieldText(b, records::PropertyRecord::propertyNumber, Packed(property, 4));
  records::SetFieldText(b, records::PropertyRecord::addressLine1, address);
  return std::string(b.data(), b.size());
}

inline std::string OwnerRecord(int property, int owner, const std::string& name,
                               const std::string& unit = "") {
  records::OwnerRecord::Buffer b;
  b.fill(' ');
  records::SetFieldText(b, records::OwnerRecord::ownerCode, Packed(property, 4) + Packed(owner, 4));
  records::SetFieldText(b, records::OwnerRecord::ownerName, name);
  records::SetFieldText(b, records::OwnerRecord::unit, unit);
  return std::string(b.data(), b.size());
}

// Creates root + the file's name + ".dat" with the records, through the record manager.
inline void MakeFile(const std::string& root, const records::RecordFileInfo& file,
                     const std::vector<std::string>& recs) {
  platform::MakeDirectories(root + "DADES");
  const std::string path = platform::ResolvePath(root + std::string(file.name) + ".dat");
  std::string spec = platform::EncodeFileSpec(records::CreationSpec(file));
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
  // One transaction: large files are made quickly.
  ASSERT_EQ(platform::BTRCALL(platform::kOpBeginTransaction, block.data(), nullptr, nullptr,
                              nullptr, 0, 0),
            0);
  for (std::string r : recs) {
    r.resize(file.bufferSize, ' ');
    n = static_cast<uint32_t>(r.size());
    std::array<uint8_t, 256> k{};
    ASSERT_EQ(platform::BTRCALL(platform::kOpInsert, block.data(), r.data(), &n, k.data(), 255, 0),
              0);
  }
  ASSERT_EQ(
      platform::BTRCALL(platform::kOpEndTransaction, block.data(), nullptr, nullptr, nullptr, 0, 0),
      0);
  ASSERT_EQ(platform::BTRCALL(platform::kOpClose, block.data(), nullptr, nullptr, nullptr, 0, 0),
            0);
}

// The module's buffers, bound when a file is opened.
struct Buffers {
  records::TextEntryRecord::Buffer texts{};
  records::PropertyRecord::Buffer properties{};
  records::OwnerRecord::Buffer owners{};
};

// Opens a file made by MakeFile; the status of the open.
inline int16_t OpenFile(const std::string& root, const records::RecordFileInfo& file,
                        std::span<char> buffer) {
  int16_t status = -1;
  records::OpenRecordFile(file.fileNumber, root + std::string(file.name), buffer, status);
  return status;
}

inline void CloseAll() {
  int16_t status = 0;
  records::ResetRecordManager(status);
  records::ResetRecordAccessState();
}

}  // namespace record_fixture
