#include "records/record_files.h"

namespace records {

platform::FileSpec CreationSpec(const RecordFileInfo& file) {
  using platform::KeySegmentSpec;
  using platform::KeySpec;
  constexpr uint16_t kChangeable = platform::kKeyModifiable;
  constexpr uint16_t kDuplicates = platform::kKeyModifiable | platform::kKeyDuplicates;
  platform::FileSpec spec;
  spec.recordLength = static_cast<uint16_t>(file.bufferSize);
  if (file.fileNumber == kTextsFile.fileNumber) {
    spec.pageSize = 512;
    spec.keys.push_back(KeySpec{{KeySegmentSpec{1, 8, kChangeable}}});
    spec.keys.push_back(
        KeySpec{{KeySegmentSpec{49, 8, kChangeable}, KeySegmentSpec{1, 8, kChangeable}}});
  } else if (file.fileNumber == kPropertiesFile.fileNumber) {
    spec.pageSize = 1024;
    spec.keys.push_back(KeySpec{{KeySegmentSpec{1, 2, kChangeable}}});
  } else if (file.fileNumber == kOwnersFile.fileNumber) {
    spec.pageSize = 1024;
    spec.keys.push_back(KeySpec{{KeySegmentSpec{1, 4, kChangeable}}});
    spec.keys.push_back(KeySpec{{KeySegmentSpec{9, 30, kDuplicates}}});
  } else if (file.fileNumber == kReceiptsFile.fileNumber) {
    spec.pageSize = 512;
    spec.keys.push_back(KeySpec{{KeySegmentSpec{1, 8, kDuplicates}}});
  } else {
    return platform::FileSpec{};
  }
  return spec;
}

std::string CreationBlockFileBytes(const platform::FileSpec& spec) {
  const std::string block = platform::EncodeFileSpec(spec);
  std::string out;
  out.push_back(static_cast<char>(block.size() & 0xFF));
  out.push_back(static_cast<char>((block.size() >> 8) & 0xFF));
  return out + block;
}

std::string CreationBlockPath(std::string_view rootDir, std::string_view baseName) {
  std::string path(rootDir);
  path += "ddf\\";
  path += baseName;
  path += ".xdf";
  return path;
}

}  // namespace records
