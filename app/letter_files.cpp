#include "app/letter_files.h"

#include <span>
#include <string>

#include "app/letter_state.h"
#include "records/record_access.h"
#include "records/record_layouts.h"
#include "session/session.h"

namespace app {

int16_t OpenLetterFiles() {
  LetterRecordBuffers& buffers = Letters().buffers;
  struct FileToOpen {
    const records::RecordFileInfo& file;
    std::span<char> buffer;
  };
  const FileToOpen files[] = {
      {records::kTextsFile, buffers.text},
      {records::kPropertiesFile, buffers.property},
      {records::kOwnersFile, buffers.owner},
      {records::kReceiptsFile, buffers.receipt},
  };
  const std::string& root = session::Session().rootDir;
  for (const FileToOpen& f : files) {
    int16_t status = 0;
    records::OpenRecordFile(f.file.fileNumber, root + std::string(f.file.name), f.buffer, status);
    if (status != 0) return status;
  }
  return 0;
}

}  // namespace app
