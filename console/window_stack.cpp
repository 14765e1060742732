#include "console/window_stack.h"

#include <array>
#include <string_view>

#include "console/console_state.h"
#include "format/number_mask.h"
#include "platform/binary_file.h"
#include "platform/path.h"
#include "platform/terminal.h"
#include "session/session.h"

namespace console {
namespace {

struct SavedWindow {
  int16_t cursorRow = 0;
  int16_t cursorColumn = 0;
  std::array<int16_t, 4> previousWindow{};
  std::array<int16_t, 4> rectangle{};
  std::string_view cells;  // 2 bytes per cell
};

size_t CellCount(int16_t top, int16_t left, int16_t bottom, int16_t right) {
  if (bottom < top || right < left) return 0;
  return static_cast<size_t>(bottom - top + 1) * static_cast<size_t>(right - left + 1);
}

// Reads a field of decimal digits; false when any byte is not a digit.
bool Digits(std::string_view text, long& value) {
  value = 0;
  if (text.empty()) return false;
  for (char ch : text) {
    if (ch < '0' || ch > '9') return false;
    value = value * 10 + (ch - '0');
  }
  return true;
}

std::string Number(long value, int16_t width) {
  return format::ZeroPad(static_cast<double>(value), width);
}

// A record as laid out in the header comment, checked field by field. A record
// read from the file must also lie on the console, since its cells are written back.
bool DecodeRecord(std::string_view record, SavedWindow& saved) {
  if (record.size() < kRecordFixedSize || record.size() > kMaxRecordSize) return false;
  long fields[10];
  for (size_t i = 0; i < 10; ++i) {
    if (!Digits(record.substr(2 * i, 2), fields[i])) return false;
  }
  long length = 0;
  if (!Digits(record.substr(record.size() - kRecordLengthSize), length) ||
      static_cast<size_t>(length) != record.size()) {
    return false;
  }
  saved.cursorRow = static_cast<int16_t>(fields[0]);
  saved.cursorColumn = static_cast<int16_t>(fields[1]);
  for (size_t i = 0; i < 4; ++i) {
    saved.previousWindow[i] = static_cast<int16_t>(fields[2 + i]);
    saved.rectangle[i] = static_cast<int16_t>(fields[6 + i]);
  }
  const auto [top, left, bottom, right] = saved.rectangle;
  const int16_t rows = platform::kConsoleRows;
  const int16_t columns = platform::kConsoleColumns;
  if (top < 1 || top > rows || bottom < 1 || bottom > rows || left < 1 || left > columns ||
      right < 1 || right > columns || saved.cursorRow < 1 || saved.cursorRow > rows ||
      saved.cursorColumn < 1 || saved.cursorColumn > columns) {
    return false;
  }
  const size_t count = CellCount(top, left, bottom, right);
  if (record.size() != kRecordFixedSize + 2 * count) return false;
  saved.cells = record.substr(kRecordHeadSize, 2 * count);
  return true;
}

std::string EncodeRecord(int16_t top, int16_t left, int16_t bottom, int16_t right) {
  const platform::Terminal& terminal = platform::CurrentTerminal();
  const WindowState& w = Console().window;
  std::string record = Number(terminal.CursorRow(), 2) + Number(terminal.CursorColumn(), 2);
  for (int16_t v : w.currentWindow) record += Number(v, 2);
  for (int16_t v : {top, left, bottom, right}) record += Number(v, 2);
  if (CellCount(top, left, bottom, right) != 0) {
    for (int16_t r = top; r <= bottom; ++r) {
      for (int16_t c = left; c <= right; ++c) {
        const platform::Cell cell = terminal.ReadCell(r, c);
        record.push_back(static_cast<char>(cell.character));
        record.push_back(static_cast<char>(cell.attribute));
      }
    }
  }
  record += Number(static_cast<long>(record.size() + kRecordLengthSize), kRecordLengthSize);
  return record;
}

bool ReadHeader(const platform::BinaryFile& file, long long& end) {
  unsigned char bytes[4];
  if (file.ReadAt(0, bytes, sizeof bytes) != 4) return false;
  const uint32_t raw =
      bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
  end = static_cast<int32_t>(raw);
  return true;
}

bool WriteHeader(platform::BinaryFile& file, long long end) {
  const auto raw = static_cast<uint32_t>(end);
  const unsigned char bytes[4] = {
      static_cast<unsigned char>(raw), static_cast<unsigned char>(raw >> 8),
      static_cast<unsigned char>(raw >> 16), static_cast<unsigned char>(raw >> 24)};
  return file.WriteAt(0, bytes, sizeof bytes);
}

// E for the next push: the header's when it names a place inside the file (or just
// after it), else that of an empty stack, so a damaged header cannot send the record
// far past the end of the file.
long long NextRecordPosition(const platform::BinaryFile& file) {
  const long long length = file.Length();
  long long end = kEmptyStackEnd;
  if (length > 3 && ReadHeader(file, end) && end >= kEmptyStackEnd && end <= length + 1) return end;
  return kEmptyStackEnd;
}

void Restore(const SavedWindow& saved) {
  platform::Terminal& terminal = platform::CurrentTerminal();
  const auto [top, left, bottom, right] = saved.rectangle;
  size_t i = 0;
  if (!saved.cells.empty()) {
    for (int16_t r = top; r <= bottom; ++r) {
      for (int16_t c = left; c <= right; ++c, i += 2) {
        terminal.SetAttribute(static_cast<uint8_t>(saved.cells[i + 1]));
        terminal.MoveCursor(r, c);
        terminal.Write(saved.cells.substr(i, 1));
      }
    }
  }
  terminal.MoveCursor(saved.cursorRow, saved.cursorColumn);
  Console().window.currentWindow = saved.previousWindow;
}

// Writes the file afresh from this process's own records (after a damaged one was
// found); deletes it when none is left.
void RewriteFromOwnRecords(const std::string& path) {
  const std::vector<std::string>& records = Console().savedWindows;
  if (records.empty()) {
    platform::RemoveFile(path);
    return;
  }
  platform::BinaryFile file;
  if (!file.Open(path, platform::BinaryFile::Mode::kCreate)) return;
  long long end = kEmptyStackEnd;
  for (const std::string& record : records) {
    file.WriteAt(end - 1, record.data(), record.size());
    end += static_cast<long long>(record.size());
  }
  WriteHeader(file, end);
}

}  // namespace

std::string WindowFilePath() {
  return session::Session().workDir + kWindowFileName;
}

void PushWindow(int16_t top, int16_t left, int16_t bottom, int16_t right) {
  const int16_t rows = platform::CurrentTerminal().Rows();
  const int16_t columns = platform::CurrentTerminal().Columns();
  if (top < 1 || top > rows || bottom < 1 || bottom > rows || left < 1 || left > columns ||
      right < 1 || right > columns) {
    return;
  }
  ConsoleState& state = Console();
  std::string record = EncodeRecord(top, left, bottom, right);

  platform::BinaryFile file;
  if (file.Open(WindowFilePath(), platform::BinaryFile::Mode::kReadWrite)) {
    const long long end = NextRecordPosition(file);
    if (file.WriteAt(end - 1, record.data(), record.size())) {
      WriteHeader(file, end + static_cast<long long>(record.size()));
    }
  }
  state.window.currentWindow = {top, left, bottom, right};
  ++state.window.windowDepth;
  state.savedWindows.push_back(std::move(record));
}

void PopWindow() {
  ConsoleState& state = Console();
  const std::string path = WindowFilePath();
  if (state.window.windowDepth <= 0 || state.savedWindows.empty()) {
    // Nothing of this process is open: an empty file goes, other programs' records
    // stay.
    const long long length = platform::FileLength(path);
    if (length >= 0 && length <= 3) platform::RemoveFile(path);
    return;
  }
  const std::string own = std::move(state.savedWindows.back());
  state.savedWindows.pop_back();

  std::string fromFile;
  long long start = 0;
  SavedWindow saved;
  {
    platform::BinaryFile file;
    if (file.Open(path, platform::BinaryFile::Mode::kReadWrite) && file.Length() > 3) {
      long long end = 0;
      char digits[kRecordLengthSize];
      long length = 0;
      if (ReadHeader(file, end) &&
          end >= kEmptyStackEnd + static_cast<long long>(kRecordFixedSize) &&
          end <= file.Length() + 1 &&
          file.ReadAt(end - 1 - static_cast<long long>(kRecordLengthSize), digits, sizeof digits) ==
              static_cast<long long>(sizeof digits) &&
          Digits(std::string_view(digits, sizeof digits), length) &&
          length >= static_cast<long>(kRecordFixedSize) && end - length >= kEmptyStackEnd) {
        fromFile.resize(static_cast<size_t>(length));
        if (file.ReadAt(end - length - 1, fromFile.data(), fromFile.size()) ==
                static_cast<long long>(fromFile.size()) &&
            DecodeRecord(fromFile, saved)) {
          start = end - length;
          WriteHeader(file, start);
        }
      }
    }
  }
  --state.window.windowDepth;
  if (start > 0) {
    Restore(saved);
    if (start < 6) platform::RemoveFile(path);
    return;
  }
  // The file lost or damaged the record: this process's own copy puts the screen back.
  if (DecodeRecord(own, saved)) Restore(saved);
  RewriteFromOwnRecords(path);
}

}  // namespace console
