#include "records/record_access.h"

#include <cmath>
#include <cstring>
#include <string>

#include "platform/binary_file.h"
#include "platform/record_status.h"
#include "records/record_access_ui.h"
#include "session/session.h"

namespace records {
namespace {

using Buffer = std::array<uint8_t, kDataBufferSize>;
using KeyBuffer = std::array<uint8_t, kKeyBufferSize>;

// The key length handed to the record manager for a 256-byte key buffer the manager
// may fill: the buffer's room, so that a whole key always comes back.
constexpr uint8_t kKeyRoom = 255;

// Status 22 (data buffer too short) counts as success outside the open.
void ShortIsSuccess(int16_t& status) {
  if (status == platform::kStatusDataBufferTooShort) status = 0;
}

int16_t Call(uint16_t op, RecordFileSlot& slot, void* data, uint32_t* length, void* key,
             uint8_t keyLength, int16_t keyNumber) {
  return platform::BTRCALL(op, slot.positionBlock.data(), data, length, key, keyLength,
                           static_cast<int8_t>(keyNumber));
}

// The texts of the session's language: "CAT" and any code not listed are Catalan.
enum class Text { kCannotOpen, kLocked };

std::string LanguageText(Text which) {
  const std::string& code = session::Session().languageCode;
  if (which == Text::kCannotOpen) {
    if (code == "SPA") return "NO SE PUEDE ACCEDER AL FICHERO ";
    if (code == "GLG") return "NOM SE PODE ACEDER AO FICHEIRO ";
    if (code == "OCI") return "NON SE P\xE3T ACCEDIR ATH FICH\xD4R ";
    return "NO ES POT ACCEDIR AL FITXER ";
  }
  if (code == "SPA") return "FICHERO BLOQUEADO. ESPERE UN MOMENTO.";
  if (code == "GLG") return "FICHEIRO BLOQUEADO. ESPERE UM MOMENTO.";
  if (code == "OCI") return "FICH\xD4R BLOQUEJAT. ESPERATZ UN MOMENT.";
  return "FITXER BLOQUEJAT. ESPEREU UN MOMENT.";
}

// The name handed to the record manager: the caller's name, with ".dat" when it has
// no extension. The base name is what lies between the directory part (up to the
// last ":", "\" or "/") and the first "." after it.
void SplitName(std::string_view name, std::string& fullName, std::string& baseName) {
  const size_t sep = name.find_last_of(":\\/");
  const size_t baseStart = sep == std::string_view::npos ? 0 : sep + 1;
  const size_t dot = name.find('.', baseStart);
  baseName = std::string(name.substr(
      baseStart, dot == std::string_view::npos ? std::string_view::npos : dot - baseStart));
  fullName = std::string(name);
  if (dot == std::string_view::npos) fullName += ".dat";
}

// Reads the creation block of ddf\<base>.xdf into data. False when the file is
// missing or cannot be read whole, or the block would not fit the data buffer.
bool ReadCreationBlock(const std::string& baseName, Buffer& data) {
  const std::string path = session::Session().rootDir + "ddf\\" + baseName + ".xdf";
  platform::BinaryFile file;
  if (!file.Open(path, platform::BinaryFile::Mode::kRead)) return false;
  uint8_t head[2];
  if (file.ReadAt(0, head, 2) != 2) return false;
  const size_t n = static_cast<size_t>(head[0] | (head[1] << 8));
  if (n > data.size()) return false;
  data.fill(' ');
  return file.ReadAt(2, data.data(), n) == static_cast<long long>(n);
}

// Walks the Stat reply (kDataBufferSize bytes): the segment descriptions from byte
// 16, 16 bytes each, each key's segments running while flag 0x10 is set. Calls
// visit(key, segmentOffset) for every segment inside the reply; returns the offset
// past the last one.
template <typename Visit>
size_t WalkSegments(const uint8_t* reply, Visit visit) {
  const int keys = reply[4] | (reply[5] << 8);
  size_t at = 16;
  for (int k = 0; k < keys; ++k) {
    bool more = true;
    while (more && at + 16 <= kDataBufferSize) {
      const int flags = reply[at + 4] | (reply[at + 5] << 8);
      visit(k, at);
      more = (flags & 0x10) != 0;
      at += 16;
    }
  }
  return at;
}

// The file's Stat reply: kept in the slot once read, otherwise asked as the layer
// asks it (first with a buffer of blanks to learn the page size, then with a buffer
// of page-size zero bytes) and kept. Null when Stat fails.
const uint8_t* FileStructure(RecordFileSlot& slot) {
  if (slot.fileStructure.size() != kDataBufferSize) {
    KeyBuffer key;
    key.fill(' ');
    Buffer reply;
    reply.fill(' ');
    uint32_t length = kDataBufferSize;
    int16_t status = Call(platform::kOpStat, slot, reply.data(), &length, key.data(), 255, 0);
    const size_t pageSize = static_cast<size_t>(reply[2] | (reply[3] << 8));
    reply.fill(' ');
    std::memset(reply.data(), 0, pageSize < reply.size() ? pageSize : reply.size());
    length = kDataBufferSize;
    status = Call(platform::kOpStat, slot, reply.data(), &length, key.data(), 255, 0);
    if (status != 0) return nullptr;
    slot.fileStructure.assign(reinterpret_cast<const char*>(reply.data()), reply.size());
  }
  return reinterpret_cast<const uint8_t*>(slot.fileStructure.data());
}

int CompareBytes(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  const int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
  if (c != 0) return c;
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

void ClearSlot(RecordFileSlot& slot) {
  slot = RecordFileSlot{};
}

// Ends the module after an open that failed: message, key wait, files released.
void FailOpen(std::string_view name, int16_t status) {
  std::string message = LanguageText(Text::kCannotOpen);
  message += name;
  message += " (" + std::to_string(status) + ")";
  RecordAccessUi& ui = RecordUi();
  ui.showOpenFailure(message);
  ui.closeSequentialFiles();
  int16_t ignored = 0;
  ResetRecordManager(ignored);
  ui.endModule();
}

}  // namespace

RecordAccessState& RecordFileTable() {
  static RecordAccessState state;
  return state;
}

void ResetRecordAccessState() {
  RecordFileTable() = RecordAccessState{};
}

int16_t FindFileSlot(int16_t fileNumber) {
  // Files take the highest free slot, so the search runs downwards: an open file is
  // found after a few slots. A file number is open in one slot at most.
  auto& slots = RecordFileTable().slots;
  int16_t free = 0;
  for (int16_t s = kRecordFileSlots - 1; s >= 1; --s) {
    if (fileNumber != 0 && slots[s].fileNumber == fileNumber) return s;
    if (free == 0 && slots[s].fileNumber == 0) free = static_cast<int16_t>(-s);
  }
  return free;
}

void OpenRecordFile(int16_t fileNumber, std::string_view name, std::span<char> recordBuffer,
                    int16_t& status) {
  const int16_t s = static_cast<int16_t>(-FindFileSlot(fileNumber));
  if (s < 0) {
    status = kRecordAlreadyOpen;
    return;
  }
  if (s == 0) {
    status = kRecordTableFull;
    return;
  }
  RecordFileSlot& slot = RecordFileTable().slots[s];
  ClearSlot(slot);
  slot.fileNumber = fileNumber;
  slot.recordBuffer = recordBuffer;

  std::string fullName, baseName;
  SplitName(name, fullName, baseName);
  KeyBuffer key{};
  Buffer data;
  status = platform::kStatusInvalidFileName;
  if (fullName.size() < key.size()) {
    // The owner name of the record files, followed by a zero byte.
    std::string owner;
    for (char piece : {'Z', 'D', 'A', 'T'}) owner.push_back(piece);
    for (;;) {
      key.fill(0);
      std::memcpy(key.data(), fullName.data(), fullName.size());
      data.fill(' ');
      std::memcpy(data.data(), owner.c_str(), owner.size() + 1);
      uint32_t length = 5;
      status = Call(platform::kOpOpen, slot, data.data(), &length, key.data(),
                    static_cast<uint8_t>(fullName.size()), platform::kOpenNormal);
      if (status == platform::kStatusFileLocked) {
        RecordUi().sleepMilliseconds(3000);
        continue;
      }
      if (status == platform::kStatusFileNotFound) {
        // A block that cannot be read whole is never handed to Create: the open then
        // fails with "file not found".
        if (!ReadCreationBlock(baseName, data)) break;
        length = kDataBufferSize;
        const int16_t created =
            Call(platform::kOpCreate, slot, data.data(), &length, key.data(),
                 static_cast<uint8_t>(fullName.size()), platform::kCreateNoReplace);
        if (created == 0) continue;
        status = created;
      }
      break;
    }
  }

  if (status == 0) {
    int16_t keyLength = 0, recordLength = 0;
    KeyInfo(fileNumber, 0, keyLength, recordLength);
    // A record longer than the bound buffer (or the data buffer) would overrun it.
    if (recordLength <= 0 || static_cast<size_t>(recordLength) > recordBuffer.size() ||
        static_cast<size_t>(recordLength) > kDataBufferSize) {
      status = platform::kStatusDataBufferTooShort;
    } else {
      slot.keyValue.assign(static_cast<size_t>(keyLength), '\0');
      slot.recordLength = recordLength;
      return;
    }
  }
  FailOpen(name, status);
}

void ResetRecordManager(int16_t& status) {
  RecordAccessState& table = RecordFileTable();
  for (RecordFileSlot& slot : table.slots) ClearSlot(slot);
  RecordFileSlot& scratch = table.slots[0];
  scratch.positionBlock.fill(' ');
  uint32_t length = 0;
  status = Call(platform::kOpReset, scratch, nullptr, &length, nullptr, 0, 0);
  scratch.positionBlock.fill(' ');
  if (status == 0) {
    for (int s = 1; s < kRecordFileSlots; ++s) ClearSlot(table.slots[s]);
  }
}

void DoRecordOperation(int16_t slotNumber, uint16_t operation, int16_t& status) {
  RecordFileSlot& slot = RecordFileTable().slots[slotNumber];
  uint16_t op = operation;
  if (slot.lockMode != 0 &&
      ((op >= 5 && op <= 13) || op == 19 || (op >= 22 && op <= 24) || (op >= 33 && op <= 35))) {
    op = static_cast<uint16_t>(op + 200);
  }
  RecordAccessUi& ui = RecordUi();
  const size_t recordLength = static_cast<size_t>(slot.recordLength);
  const size_t keyLength = slot.keyValue.size();
  int attempt = 0;
  // The data buffer: the record, then blanks. It is kept all blanks between calls
  // (the record manager writes no further than the length it is given), so that only
  // the record's bytes are copied in and blanked again.
  static Buffer data = [] {
    Buffer blanks;
    blanks.fill(' ');
    return blanks;
  }();
  KeyBuffer key;
  for (;;) {
    if (attempt == 1) ui.showLockNotice(LanguageText(Text::kLocked));
    if (recordLength > 0) std::memcpy(data.data(), slot.recordBuffer.data(), recordLength);
    uint32_t length = static_cast<uint32_t>(recordLength);
    const uint8_t pad = (op == 8 || op == 9) ? 0 : (op == 10 || op == 11) ? 255 : ' ';
    key.fill(pad);
    if (keyLength > 0) std::memcpy(key.data(), slot.keyValue.data(), keyLength);
    status = Call(op, slot, data.data(), &length, key.data(), static_cast<uint8_t>(keyLength),
                  slot.keyNumber);
    const size_t copied = length < recordLength ? length : recordLength;
    if (copied > 0) std::memcpy(slot.recordBuffer.data(), data.data(), copied);
    std::memset(data.data(), ' ', recordLength);
    slot.keyValue.assign(reinterpret_cast<const char*>(key.data()), keyLength);
    if ((status == platform::kStatusRecordLocked || status == platform::kStatusFileLocked) &&
        slot.lockMode == 1) {
      ui.sleepMilliseconds(std::llround(10000.0 * ui.uniformRandom() + 1.0));
      if (attempt < 2) ++attempt;
      continue;
    }
    if (attempt != 0) ui.removeLockNotice();
    return;
  }
}

void SeekRecord(int16_t fileNumber, int16_t keyNumber, std::string_view key, int16_t mode,
                int16_t& status) {
  const int16_t s = FindFileSlot(fileNumber);
  if (s < 1) {
    status = platform::kStatusFileNotOpen;
    return;
  }
  int16_t keyLength = 0, recordLength = 0;
  KeyInfo(fileNumber, keyNumber, keyLength, recordLength);
  if (keyLength <= 0) {
    status = kRecordNoSuchKey;
    return;
  }
  RecordFileSlot& slot = RecordFileTable().slots[s];
  slot.keyNumber = keyNumber;
  slot.keyValue.assign(key.substr(0, static_cast<size_t>(keyLength)));
  slot.keyValue.resize(static_cast<size_t>(keyLength), '\0');
  const uint16_t op = mode == 0  ? platform::kOpGetEqual
                      : mode > 0 ? platform::kOpGetGreaterOrEqual
                                 : platform::kOpGetLessOrEqual;
  DoRecordOperation(s, op, status);
  ShortIsSuccess(status);
}

void StepRecord(int16_t fileNumber, int16_t count, int16_t& status) {
  const int16_t s = FindFileSlot(fileNumber);
  if (s < 1) {
    status = platform::kStatusFileNotOpen;
    return;
  }
  RecordFileSlot& slot = RecordFileTable().slots[s];
  const uint16_t op = count >= 0 ? platform::kOpGetNext : platform::kOpGetPrevious;
  int n = count >= 0 ? count : -static_cast<int>(count);
  status = 0;
  if (n > 1) {
    // The steps in between read into scratch buffers; only the keyValue follows them.
    Buffer data;
    KeyBuffer key{};
    while (n > 1 && status == 0) {
      uint32_t length = kDataBufferSize;
      status = Call(op, slot, data.data(), &length, key.data(), kKeyRoom, slot.keyNumber);
      slot.keyValue.assign(reinterpret_cast<const char*>(key.data()), slot.keyValue.size());
      ShortIsSuccess(status);
      --n;
    }
  }
  if (n != 0 && status == 0) {
    DoRecordOperation(s, op, status);
    ShortIsSuccess(status);
  }
}

int32_t RecordPosition(int16_t fileNumber, int32_t position) {
  const int16_t s = FindFileSlot(fileNumber);
  if (s < 1) return 0;
  RecordFileSlot& slot = RecordFileTable().slots[s];
  Buffer data;
  data.fill(0);
  KeyBuffer key{};
  std::memcpy(data.data(), &position, 4);
  uint32_t length = kDataBufferSize;
  if (position == 0) {
    const int16_t status =
        Call(platform::kOpGetPosition, slot, data.data(), &length, key.data(), 0, 0);
    if (status != 0) return 0;
    int32_t found;
    std::memcpy(&found, data.data(), 4);
    return found;
  }
  int16_t status = Call(platform::kOpGetDirect, slot, data.data(), &length, key.data(), kKeyRoom,
                        slot.keyNumber);
  slot.keyValue.assign(reinterpret_cast<const char*>(key.data()), slot.keyValue.size());
  ShortIsSuccess(status);
  if (status == 0) {
    const size_t recordLength = static_cast<size_t>(slot.recordLength);
    const size_t copied = length < recordLength ? length : recordLength;
    if (copied > 0) std::memcpy(slot.recordBuffer.data(), data.data(), copied);
  }
  return status;
}

int16_t KeyInRange(int16_t fileNumber, int16_t count, std::string_view bound) {
  const int16_t s = FindFileSlot(fileNumber);
  if (s < 1) return 0;
  RecordFileSlot& slot = RecordFileTable().slots[s];
  // The position to come back to. It lives in a local variable; the console's value
  // stack (PushValue/PopValue) may hold it instead once the console is wired in,
  // with the same effect.
  const int32_t remembered = RecordPosition(fileNumber, 0);
  const uint16_t op = count >= 0 ? platform::kOpGetNext : platform::kOpGetPrevious;
  KeyBuffer key{};
  std::memcpy(key.data(), slot.keyValue.data(), slot.keyValue.size());
  Buffer data;
  int16_t status = 0;
  const int steps = count >= 0 ? count : -static_cast<int>(count);
  for (int i = 0; i < steps && status == 0; ++i) {
    uint32_t length = kDataBufferSize;
    status = Call(op, slot, data.data(), &length, key.data(), kKeyRoom, slot.keyNumber);
    ShortIsSuccess(status);
  }
  const size_t take = bound.size() < key.size() ? bound.size() : key.size();
  std::string reached(reinterpret_cast<const char*>(key.data()), take);
  reached = reached.substr(0, reached.find('\0'));
  const std::string image = KeyImage(reached, fileNumber);
  bool inside = false;
  if (status == 0) {
    const int c = CompareBytes(image, bound);
    inside = count >= 0 ? c <= 0 : c >= 0;
  }
  RecordPosition(fileNumber, remembered);
  return inside ? -1 : 0;
}

std::string CurrentKeyImage(int16_t fileNumber) {
  const int16_t s = FindFileSlot(fileNumber);
  if (s < 1) return "";
  return KeyImage(RecordFileTable().slots[s].keyValue, fileNumber);
}

std::string KeyImage(std::string_view keyText, int16_t fileNumber) {
  std::string text(keyText);
  const int16_t s = FindFileSlot(fileNumber);
  if (s < 1) return text;
  RecordFileSlot& slot = RecordFileTable().slots[s];
  const uint8_t* reply = FileStructure(slot);
  if (reply == nullptr) return text;
  const size_t end = WalkSegments(reply, [](int, size_t) {});
  const bool hasSequence = end + 265 <= kDataBufferSize;
  size_t g = 1;
  WalkSegments(reply, [&](int k, size_t at) {
    if (k != slot.keyNumber) return;
    const size_t length = static_cast<size_t>(reply[at + 2] | (reply[at + 3] << 8));
    const int flags = reply[at + 4] | (reply[at + 5] << 8);
    const size_t first = g - 1;
    if (flags & 0x04) {
      if (text.size() < first + length) text.resize(first + length, '\0');
      for (size_t i = 0; i < length / 2; ++i) {
        std::swap(text[first + i], text[first + length - 1 - i]);
      }
    } else if ((flags & 0x20) && hasSequence) {
      const uint8_t* table = reply + end + 9;
      for (size_t i = first; i < first + length && i < text.size(); ++i) {
        text[i] = static_cast<char>(table[static_cast<uint8_t>(text[i])]);
      }
    }
    g += length;
  });
  return text;
}

void SetLockMode(int16_t fileNumber, std::string_view letters, int16_t& status) {
  const int16_t s = FindFileSlot(fileNumber);
  if (s < 1) {
    status = platform::kStatusFileNotOpen;
    return;
  }
  RecordAccessState& table = RecordFileTable();
  RecordFileSlot& slot = table.slots[s];
  std::string& saved = table.savedLockModes;
  for (char c : letters) {
    switch (c) {
      case 'D':
      case 'd':
        slot.lockMode = 0;
        break;
      case 'A':
      case 'a':
        slot.lockMode = 1;
        break;
      case 'B':
      case 'b':
        slot.lockMode = 2;
        break;
      case '+':
        saved.push_back(static_cast<char>(s));
        saved.push_back(static_cast<char>(slot.lockMode));
        break;
      case '-':
        for (size_t i = saved.size(); i >= 2; i -= 2) {
          if (saved[i - 2] == static_cast<char>(s)) {
            slot.lockMode = saved[i - 1];
            saved.erase(i - 2, 2);
            break;
          }
        }
        break;
      default:
        break;
    }
  }
}

void KeyInfo(int16_t fileNumber, int16_t keyNumber, int16_t& keyLength, int16_t& recordLength) {
  keyLength = 0;
  recordLength = 0;
  const int16_t s = FindFileSlot(fileNumber);
  if (s < 1) return;
  const uint8_t* reply = FileStructure(RecordFileTable().slots[s]);
  if (reply == nullptr) return;
  recordLength = static_cast<int16_t>(reply[0] | (reply[1] << 8));
  const int keys = reply[4] | (reply[5] << 8);
  if (keyNumber < 0 || keyNumber >= keys) return;
  int total = 0;
  WalkSegments(reply, [&](int k, size_t at) {
    if (k == keyNumber) total += reply[at + 2] | (reply[at + 3] << 8);
  });
  keyLength = static_cast<int16_t>(total);
}

}  // namespace records
