#include "forms/lookup.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <string_view>

#include "console/colour.h"
#include "console/screen.h"
#include "console/window_stack.h"
#include "format/text.h"
#include "forms/form_model.h"
#include "forms/form_runner.h"
#include "forms/keys.h"
#include "platform/binary_file.h"
#include "platform/terminal.h"
#include "records/record_access.h"
#include "session/session.h"

namespace forms {
namespace {

LookupHooks& Hooks() {
  static LookupHooks hooks{LookupStartKey, LookupLine, LookupAccept};
  return hooks;
}

constexpr std::string_view kLookupKeys = "d,1b,4800,5000,4900,5100,4b00,4d00";
constexpr int32_t kMaxLineLength = 32767;

int32_t ReadInt32(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                              (static_cast<uint32_t>(p[2]) << 16) |
                              (static_cast<uint32_t>(p[3]) << 24));
}
void WriteInt32(uint8_t* p, int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(u >> (8 * i));
}

struct Entry {
  int32_t previous = 0;  // position of the previous entry; 0 = first
  int32_t record = 0;    // record position in the record file; 0 = none
  std::string text;
  int32_t position = 0;  // where the entry stands (1-based)
  bool present = false;  // false past the end of the list
};

class Browser {
 public:
  Browser(int16_t number, const Lookup& def)
      : number_(number),
        def_(def),
        height_(static_cast<int16_t>(def.box[2] - def.box[0] - 1)),
        width_(static_cast<int16_t>(def.box[3] - def.box[1] - 1)) {}

  // Opens Browse.tmp: emptied for a record file, browsed as it is without one.
  void Open() {
    const std::string path = BrowseFilePath();
    if (def_.recordFile != 0) {
      if (!file_.Open(path, platform::BinaryFile::Mode::kCreate)) exhausted_ = true;
      limit_ = 0;
    } else {
      exhausted_ = true;
      if (file_.Open(path, platform::BinaryFile::Mode::kRead)) limit_ = file_.Length();
    }
    if (limit_ < 0) limit_ = 0;
    if (limit_ > 0x7FFFFFFFLL - 1) limit_ = 0x7FFFFFFFLL - 1;
  }
  void Close() { file_.Close(); }

  // Runs the window's key loop; returns the key that left it.
  int16_t Run() {
    current_.position = 1;
    DrawTitle();
    Fill(1);
    for (;;) {
      ShowCurrent("u");
      const int16_t key = NextKey();
      ShowCurrent("h");
      switch (key) {
        case kKeyLeft:
          if (offset_ > 1) {
            offset_ = static_cast<int16_t>(offset_ - 8);
            DrawTitle();
            Fill(top_);
          }
          break;
        case kKeyRight:
          if (offset_ <= widest_) {
            offset_ = static_cast<int16_t>(offset_ + 8);
            DrawTitle();
            Fill(top_);
          }
          break;
        case kKeyUp:
          if (!atStart_) {
            MoveBy(-1);
            if (row_ < 2) {
              Fill(current_.position);
            } else {
              --row_;
            }
          }
          break;
        case kKeyDown:
          if (!atEnd_) {
            const int32_t oldTop = top_;
            MoveBy(1);
            if (row_ >= height_) {
              Fill(EntryAfter(oldTop));
            } else {
              ++row_;
            }
          }
          break;
        case kKeyPageUp:
          if (top_ >= 2) PageUp();
          break;
        case kKeyPageDown:
          if (nextPage_ >= 1) {
            MoveBy(height_);
            Fill(nextPage_);
          }
          break;
        default:
          return key;
      }
    }
  }

  const Entry& current() const { return current_; }

 private:
  // The entry at a position of Browse.tmp; false past the usable end or when the
  // bytes there are no sound entry. Reading forwards, such bytes end the usable part
  // of the file there; a position reached through a previous-entry field only fails.
  bool ReadEntryAt(int32_t position, Entry& e, bool forward) {
    const long long offset = static_cast<long long>(position) - 1;
    if (position < 1 || !file_.IsOpen() || offset >= limit_) return false;
    const auto bad = [&] { return forward ? Damaged(offset) : false; };
    std::array<uint8_t, kBrowseHeaderSize> h{};
    if (offset + static_cast<long long>(kBrowseHeaderSize) > limit_ ||
        file_.ReadAt(offset, h.data(), h.size()) != static_cast<long long>(h.size())) {
      return bad();
    }
    const int16_t n = static_cast<int16_t>(h[8] | (h[9] << 8));
    if (n < 0 || offset + static_cast<long long>(kBrowseHeaderSize) + n > limit_) return bad();
    e.text.assign(static_cast<size_t>(n), ' ');
    if (n > 0 && file_.ReadAt(offset + static_cast<long long>(kBrowseHeaderSize), e.text.data(),
                              e.text.size()) != n) {
      return bad();
    }
    e.previous = ReadInt32(h.data());
    // Only an entry before this one can be its previous one: walking back always ends.
    if (e.previous < 1 || e.previous >= position) e.previous = 0;
    e.record = ReadInt32(h.data() + 4);
    e.position = position;
    e.present = true;
    return true;
  }

  bool Damaged(long long offset) {
    limit_ = offset;
    exhausted_ = true;
    return false;
  }

  int32_t EntryAfter(int32_t position) {
    Entry e;
    if (!ReadEntryAt(position, e, false)) return position;
    return static_cast<int32_t>(position + static_cast<int32_t>(kBrowseHeaderSize) +
                                static_cast<int32_t>(e.text.size()));
  }

  // True when the current record's key lies past the bound.
  bool PastBound() {
    if (bound_.empty()) return false;
    std::string key = records::CurrentKeyImage(def_.recordFile);
    key.resize(std::min(key.size(), bound_.size()));
    key = records::KeyImage(key, def_.recordFile);
    return std::string_view(key) > std::string_view(bound_);
  }

  // Looks at the keyboard without waiting while the list is being filled: Esc stops
  // the reading; other keys are kept for the window.
  void LookAtKeyboard() {
    // With the queue full, what is typed stays with the terminal for later.
    if (keptKeys_.size() >= kMaxKeysKeptWhileFilling) return;
    platform::InputEvent event;
    if (!platform::CurrentTerminal().PollEvent(event)) return;
    if (event.kind != platform::EventKind::kKey) return;
    if (event.modifiers & (platform::kAnyAlt | platform::kAnyCtrl)) return;
    const int16_t key = event.character != 0
                            ? static_cast<int16_t>(event.character)
                            : static_cast<int16_t>(static_cast<uint16_t>(event.scanCode << 8));
    if (key == kKeyEsc) {
      exhausted_ = true;
      return;
    }
    keptKeys_.push_back(key);
  }

  bool Append(const std::string& line) {
    const int32_t n = static_cast<int32_t>(std::min<size_t>(line.size(), kMaxLineLength));
    if (limit_ + static_cast<long long>(kBrowseHeaderSize) + n > 0x7FFFFFFFLL - 1) return false;
    std::string bytes(kBrowseHeaderSize, '\0');
    uint8_t* h = reinterpret_cast<uint8_t*>(bytes.data());
    WriteInt32(h, lastWritten_);
    WriteInt32(h + 4, records::RecordPosition(def_.recordFile, 0));
    h[8] = static_cast<uint8_t>(n & 0xFF);
    h[9] = static_cast<uint8_t>(n >> 8);
    bytes.append(line, 0, static_cast<size_t>(n));
    if (!file_.WriteAt(limit_, bytes.data(), bytes.size())) return false;
    lastWritten_ = static_cast<int32_t>(limit_ + 1);
    limit_ += static_cast<long long>(bytes.size());
    return true;
  }

  // Reads records until one with a non-empty line has been appended, or the list
  // ends.
  void ReadRecords() {
    int16_t status = 0;
    if (!started_) {
      started_ = true;
      records::SeekRecord(def_.recordFile, def_.keyNumber, startKey_, 1, status);
      bound_ = records::KeyImage(bound_, def_.recordFile);
      if (status != 0 || PastBound()) exhausted_ = true;
    }
    bool appended = false;
    while (!exhausted_ && !appended) {
      std::string line = CurrentLookupHooks().line(number_);
      line.erase(line.find_last_not_of(' ') + 1);
      if (!line.empty()) {
        if (!Append(line)) {
          exhausted_ = true;
          break;
        }
        appended = true;
      }
      records::StepRecord(def_.recordFile, 1, status);
      if (status != 0 || PastBound()) {
        exhausted_ = true;
      } else {
        LookAtKeyboard();
      }
    }
  }

  void ReadNext() {
    Entry e;
    e.position = readPos_;
    if (static_cast<long long>(readPos_) - 1 >= limit_ && !exhausted_) ReadRecords();
    if (ReadEntryAt(readPos_, e, true)) {
      readPos_ = static_cast<int32_t>(readPos_ + static_cast<int32_t>(kBrowseHeaderSize) +
                                      static_cast<int32_t>(e.text.size()));
      // Look at what follows now, so that the last sound entry knows it is the last.
      Entry next;
      if (static_cast<long long>(readPos_) - 1 < limit_) ReadEntryAt(readPos_, next, true);
    } else {
      e = Entry{};
      e.position = readPos_;
    }
    current_ = e;
    atStart_ = current_.previous == 0;
    atEnd_ = static_cast<long long>(readPos_) - 1 >= limit_ && exhausted_;
  }

  int MoveBy(int n) {
    int moved = 0;
    for (; n < 0; ++n, ++moved) {
      if (atStart_) break;
      Entry previous;
      if (!ReadEntryAt(current_.previous, previous, false)) {
        atStart_ = true;  // a previous-entry field that leads nowhere: the start
        break;
      }
      readPos_ = current_.previous;
      ReadNext();
    }
    for (; n > 0; --n, ++moved) {
      if (atEnd_) break;
      ReadNext();
    }
    return moved;
  }

  void PageUp() {
    MoveBy(-height_);
    int32_t start = top_;
    int steps = 0;
    Entry e;
    while (steps < height_ && ReadEntryAt(start, e, false) && e.previous != 0 &&
           ReadEntryAt(e.previous, e, false)) {
      start = e.position;
      ++steps;
    }
    if (steps < height_) {
      const int k = height_ - steps;
      row_ = static_cast<int16_t>(row_ > k ? row_ - k : 1);
    }
    Fill(start);
  }

  void PrintLine(int16_t row, const std::string& text) {
    std::string shown;
    if (static_cast<size_t>(offset_ - 1) < text.size()) {
      shown = text.substr(static_cast<size_t>(offset_ - 1), static_cast<size_t>(width_));
    }
    shown.resize(static_cast<size_t>(width_), ' ');
    console::LocateInWindow(row, 1);
    console::Print(shown);
  }

  void Fill(int32_t start) {
    const int32_t saved = current_.position;
    readPos_ = start;
    top_ = start;
    bool ended = false;
    for (int16_t r = 1; r <= height_; ++r) {
      ReadNext();
      PrintLine(r, current_.text);
      widest_ = std::max(widest_, static_cast<int>(current_.text.size()) - width_);
      if (atEnd_) {
        if (row_ > r) row_ = r;
        for (int16_t b = static_cast<int16_t>(r + 1); b <= height_; ++b) PrintLine(b, "");
        ended = true;
        break;
      }
    }
    nextPage_ = ended ? 0 : readPos_;
    readPos_ = saved;
    ReadNext();
  }

  void ShowCurrent(const char* colour) {
    console::SetColour(colour);
    PrintLine(row_, current_.text);
  }

  void DrawTitle() {
    console::SetColour("+n");
    console::LocateInWindow(0, 0);
    std::string frame(1, offset_ == 1 ? '\xC9' : '\x11');  // ╔ or ◄
    const std::string& title = def_.title;
    for (int i = offset_; i < offset_ + width_; ++i) {
      if (static_cast<size_t>(i) > title.size()) {
        frame.push_back('\xCD');  // ═
      } else {
        const char c = title[static_cast<size_t>(i - 1)];
        frame.push_back(c == '_' ? ' ' : c == ' ' ? '\xCD' : c);
      }
    }
    const bool titleInside = title.size() < static_cast<size_t>(offset_ + width_);
    frame.push_back(widest_ < offset_ && titleInside ? '\xBB' : '\x10');  // ╗ or ►
    console::Print(frame);
    console::SetColour("-");
  }

  int16_t NextKey() {
    for (;;) {
      int16_t key = 0;
      if (!keptKeys_.empty()) {
        key = keptKeys_.front();
        keptKeys_.pop_front();
      } else {
        WaitKey(key);
      }
      const InputState& in = Input();
      const auto found = std::find(in.activeKeys.begin(), in.activeKeys.end(), key);
      if (found != in.activeKeys.end()) {
        return in.keyTranslation[static_cast<size_t>(found - in.activeKeys.begin())];
      }
    }
  }

 public:
  std::string startKey_;
  std::string bound_;

 private:
  int16_t number_;
  Lookup def_;
  int16_t height_;
  int16_t width_;
  platform::BinaryFile file_;
  long long limit_ = 0;  // usable length of Browse.tmp
  int32_t readPos_ = 1;
  Entry current_;
  int32_t top_ = 1;
  int32_t nextPage_ = 0;
  int16_t row_ = 1;
  int16_t offset_ = 1;
  int widest_ = 0;
  int32_t lastWritten_ = 0;
  bool started_ = false;
  bool exhausted_ = false;
  bool atStart_ = true;
  bool atEnd_ = false;
  std::deque<int16_t> keptKeys_;
};

}  // namespace

std::string BrowseFilePath() {
  return session::Session().workDir + kBrowseFileName;
}

const LookupHooks& CurrentLookupHooks() {
  return Hooks();
}

void SetLookupHooks(const LookupHooks& hooks) {
  LookupHooks& h = Hooks();
  h.startKey = hooks.startKey != nullptr ? hooks.startKey : LookupStartKey;
  h.line = hooks.line != nullptr ? hooks.line : LookupLine;
  h.accept = hooks.accept != nullptr ? hooks.accept : LookupAccept;
}

void ResetLookupHooks() {
  Hooks() = LookupHooks{LookupStartKey, LookupLine, LookupAccept};
}

LookupChoice& LastLookupChoice() {
  static LookupChoice choice;
  return choice;
}

void LookupWindow(int16_t& lookup, int16_t& result) {
  result = -1;
  const Lookup* found = FindLookup(lookup);
  if (found == nullptr) return;
  const Lookup def = *found;
  if (def.filterScreen != 0) {
    int16_t screen = def.filterScreen;
    int16_t upExit = 0;
    int16_t downExit = 0;
    int16_t key = 0;
    RunScreen(screen, upExit, downExit, key);
    if (key == kKeyEsc) return;
  }
  Browser browser(lookup, def);
  result = CurrentLookupHooks().startKey(lookup, browser.startKey_, browser.bound_);
  if (result != 0) return;
  int16_t status = 0;
  if (def.recordFile > 0) records::SetLockMode(def.recordFile, "+d", status);
  console::SetColour("+n");
  console::PushWindow(def.box[0], def.box[1], def.box[2], def.box[3]);
  console::DrawWindowFrame(2);
  console::SetColour("h");
  SetKeyList("+ea", kLookupKeys);
  if (def.nestedLookup != 0) SetKeyList("a", "3e00");

  browser.Open();
  const int16_t key = browser.Run();
  result = -1;
  const Entry& chosen = browser.current();
  if (key == kKeyEnter && chosen.present) {
    if (def.recordFile != 0) {
      if (chosen.record != 0 && def.recordFile > 0) {
        result = static_cast<int16_t>(records::RecordPosition(def.recordFile, chosen.record));
      }
    } else {
      LastLookupChoice() = LookupChoice{chosen.record, chosen.text};
      result = 0;
    }
  }
  browser.Close();
  if (key == kKeyF4 && def.nestedLookup != 0) {
    int16_t nested = def.nestedLookup;
    LookupWindow(nested, result);
    if (result == 0) {
      int16_t screen = 0;
      int16_t field = 0;
      CurrentLookupHooks().accept(nested, screen, field);
    }
  }
  SetKeyList("-", "");
  console::PopWindow();
  console::SetColour("-");
  if (def.recordFile > 0) records::SetLockMode(def.recordFile, "-", status);
}

}  // namespace forms
