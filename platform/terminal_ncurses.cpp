#include "platform/terminal_ncurses.h"

#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <deque>

#include "platform/cp850.h"
#include "platform/env.h"
#include "platform/process.h"
#include "platform/terminal_keys.h"

// ncurses last: its macros (OK, ERR, timeout, ...) must not meet the headers above.
#include <curses.h>

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

// How long the rest of an escape sequence may take to arrive after its ESC before
// the ESC is taken as the Esc key.
constexpr int kEscapeDelayMilliseconds = 30;

// Curses colour numbers of the PC colours 0 .. 7 (the two orders differ: blue and
// red, cyan and brown swap places).
constexpr short kCursesColour[8] = {COLOR_BLACK, COLOR_BLUE,    COLOR_GREEN,  COLOR_CYAN,
                                    COLOR_RED,   COLOR_MAGENTA, COLOR_YELLOW, COLOR_WHITE};

// Wakes the input wait when the window changes size (written by the signal handler).
int g_wakePipe[2] = {-1, -1};
struct sigaction g_oldWinch;

void OnWindowChange(int) {
  const int saved = errno;
  if (g_wakePipe[1] >= 0) {
    ssize_t ignored = ::write(g_wakePipe[1], "w", 1);
    (void)ignored;
  }
  errno = saved;
}

bool Utf8Locale() {
  const char* codeset = ::nl_langinfo(CODESET);
  return codeset != nullptr &&
         (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

// Only the character type follows the environment: numbers written to files must
// keep their "." whatever the user's locale says.
bool ChooseUtf8Locale() {
  std::setlocale(LC_CTYPE, "");
  if (Utf8Locale()) return true;
  for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
    if (std::setlocale(LC_CTYPE, name) != nullptr && Utf8Locale()) return true;
  }
  return false;
}

std::string Base64(std::string_view bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    uint32_t v = (static_cast<uint8_t>(bytes[i]) << 16) |
                 (static_cast<uint8_t>(bytes[i + 1]) << 8) | static_cast<uint8_t>(bytes[i + 2]);
    out += kDigits[v >> 18];
    out += kDigits[(v >> 12) & 63];
    out += kDigits[(v >> 6) & 63];
    out += kDigits[v & 63];
  }
  if (i < bytes.size()) {
    uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    out += kDigits[v >> 18];
    out += kDigits[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? kDigits[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

class NcursesTerminal;
NcursesTerminal* g_active = nullptr;

class NcursesTerminal final : public Terminal {
 public:
  NcursesTerminal() = default;
  ~NcursesTerminal() override { Close(); }

  bool Open(int inFd, int outFd, std::string& message);
  void Close();

  void Beep() override {
    Present();
    ::beep();
  }
  void Flush() override { Present(); }
  bool PollEvent(InputEvent& event) override;
  bool WaitForInput(int timeoutMilliseconds) override;
  void SetMouseReporting(bool on) override;
  int16_t MouseButtons() const override { return mouseButtons_; }
  void DiscardInput() override;
  void SendClipboard(std::string_view utf8) override;

  void Suspend();
  void Resume();

 private:
  void Present();
  void DrawCell(int16_t row, int16_t column);
  int PairFor(uint8_t attribute, attr_t& extra);
  bool ReadInput(int timeoutMilliseconds);
  void Decode(bool final);
  void Gather(int timeoutMilliseconds);
  void HandleResize();
  void WriteRaw(std::string_view bytes);
  void HangUp();

  SCREEN* screen_ = nullptr;
  std::FILE* inFile_ = nullptr;
  std::FILE* outFile_ = nullptr;
  int inFd_ = -1;
  int outFd_ = -1;
  KeyDecoder decoder_;
  std::deque<InputEvent> queue_;
  bool utf8_ = true;
  bool colours_ = false;
  bool colours16_ = false;
  int maxPairs_ = 0;
  std::array<int, 256> pairs_{};
  int nextPair_ = 1;
  bool mouseOn_ = false;
  int16_t mouseButtons_ = 0;
  bool tooSmall_ = false;
  bool suspended_ = false;
  int cursorMode_ = -1;  // what curs_set was last given
};

bool NcursesTerminal::Open(int inFd, int outFd, std::string& message) {
  if (g_active != nullptr) {
    message = "the terminal is already open";
    return false;
  }
  if (!::isatty(inFd) || !::isatty(outFd)) {
    message = "standard input and output must be a terminal";
    return false;
  }
  utf8_ = ChooseUtf8Locale();
  inFd_ = inFd;
  outFd_ = outFd;

  if (::pipe2(g_wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    message = std::string("cannot watch the window size: ") + std::strerror(errno);
    return false;
  }
  // Our own handler, installed before ncurses starts, keeps ncurses from installing
  // its own: resizes are then seen by the input wait.
  struct sigaction sa {};
  sa.sa_handler = OnWindowChange;
  sigemptyset(&sa.sa_mask);
  ::sigaction(SIGWINCH, &sa, &g_oldWinch);

  int inCopy = ::fcntl(inFd, F_DUPFD_CLOEXEC, 3);
  int outCopy = ::fcntl(outFd, F_DUPFD_CLOEXEC, 3);
  inFile_ = inCopy >= 0 ? ::fdopen(inCopy, "r") : nullptr;
  outFile_ = outCopy >= 0 ? ::fdopen(outCopy, "w") : nullptr;
  if (inFile_ == nullptr || outFile_ == nullptr) {
    if (inFile_ == nullptr && inCopy >= 0) ::close(inCopy);
    if (outFile_ == nullptr && outCopy >= 0) ::close(outCopy);
    message = "cannot open the terminal";
    Close();
    return false;
  }
  screen_ = ::newterm(nullptr, outFile_, inFile_);
  if (screen_ == nullptr) {
    std::string term = GetEnv("TERM");
    message = "unknown terminal type \"" + term + "\"";
    Close();
    return false;
  }
  ::set_term(screen_);
  g_active = this;
  ::raw();
  ::noecho();
  ::nonl();
  ::keypad(stdscr, FALSE);
  ::typeahead(-1);
  ::intrflush(stdscr, FALSE);
  ::leaveok(stdscr, FALSE);
  if (::has_colors()) {
    ::start_color();
    colours_ = true;
    colours16_ = COLORS >= 16;
    maxPairs_ = COLOR_PAIRS;
  }
  const char* mouseKey = ::tigetstr(const_cast<char*>("kmous"));
  const std::string term = GetEnv("TERM");
  const bool mouseTerm = (mouseKey != nullptr && mouseKey != reinterpret_cast<char*>(-1)) ||
                         term.rfind("xterm", 0) == 0 || term.rfind("screen", 0) == 0 ||
                         term.rfind("tmux", 0) == 0 || term.rfind("rxvt", 0) == 0;
  mouseButtons_ = mouseTerm ? 3 : 0;
  HandleResize();
  return true;
}

void NcursesTerminal::Close() {
  if (screen_ != nullptr) {
    if (!suspended_) {
      if (mouseOn_) SetMouseReporting(false);
      ::curs_set(1);
      ::endwin();
    }
    ::delscreen(screen_);
    screen_ = nullptr;
  }
  if (inFile_ != nullptr) std::fclose(inFile_);
  if (outFile_ != nullptr) std::fclose(outFile_);
  inFile_ = outFile_ = nullptr;
  if (g_wakePipe[0] >= 0) {
    ::sigaction(SIGWINCH, &g_oldWinch, nullptr);
    ::close(g_wakePipe[0]);
    ::close(g_wakePipe[1]);
    g_wakePipe[0] = g_wakePipe[1] = -1;
  }
  if (g_active == this) g_active = nullptr;
}

int NcursesTerminal::PairFor(uint8_t attribute, attr_t& extra) {
  const int fg = attribute & 15;
  const int bg = attribute >> 4;
  extra = A_NORMAL;
  if (!colours_) {
    // Monochrome: a coloured background reads as reverse video, a bright foreground
    // as bold.
    if ((bg & 7) != 0) extra |= A_REVERSE;
    if (fg & 8) extra |= A_BOLD;
    return 0;
  }
  short cf = kCursesColour[fg & 7];
  short cb = kCursesColour[bg & 7];
  if (colours16_) {
    if (fg & 8) cf = static_cast<short>(cf + 8);
    if (bg & 8) cb = static_cast<short>(cb + 8);
  } else if (fg & 8) {
    extra |= A_BOLD;  // eight colours: the bright half of the foregrounds is bold
  }
  const int key = cf * 16 + cb;
  if (pairs_[key] == 0) {
    if (nextPair_ >= maxPairs_) return 0;
    if (::init_extended_pair(nextPair_, cf, cb) == ERR) return 0;
    pairs_[key] = nextPair_++;
  }
  return pairs_[key];
}

void NcursesTerminal::DrawCell(int16_t row, int16_t column) {
  const Cell cell = ReadCell(row, column);
  char32_t glyph = Cp850Glyph(cell.character);
  if (!utf8_ && glyph >= 0x80) glyph = U'?';
  wchar_t text[2] = {static_cast<wchar_t>(glyph), L'\0'};
  attr_t extra = A_NORMAL;
  int pair = PairFor(cell.attribute, extra);
  cchar_t cc;
  ::setcchar(&cc, text, extra, 0, &pair);
  mvwadd_wch(stdscr, row - 1, column - 1, &cc);
}

void NcursesTerminal::Present() {
  if (screen_ == nullptr || suspended_ || tooSmall_) return;
  if (!AnyDirty()) return;
  for (int16_t r = 1; r <= Rows(); ++r) {
    for (int16_t c = 1; c <= Columns(); ++c) {
      if (CellDirty(r, c)) DrawCell(r, c);
    }
  }
  ClearDirty();
  int mode = !CursorVisible() ? 0 : GetCursorHeight() == CursorHeight::kFull ? 2 : 1;
  if (mode != cursorMode_) {
    // Some terminals know only one visible cursor shape; curs_set then fails for 2.
    if (::curs_set(mode) == ERR && mode == 2) ::curs_set(1);
    cursorMode_ = mode;
  }
  ::wmove(stdscr, CursorRow() - 1, CursorColumn() - 1);
  ::wnoutrefresh(stdscr);
  ::doupdate();
}

void NcursesTerminal::WriteRaw(std::string_view bytes) {
  std::fflush(outFile_);
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(outFd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

void NcursesTerminal::SetMouseReporting(bool on) {
  if (screen_ == nullptr || mouseButtons_ == 0 || on == mouseOn_) return;
  mouseOn_ = on;
  if (suspended_) return;
  Present();
  // Button presses and releases (1000) in the SGR form (1006), which tells which
  // button was released and works past column 223.
  WriteRaw(on ? "\x1b[?1000h\x1b[?1006h" : "\x1b[?1006l\x1b[?1000l");
}

void NcursesTerminal::SendClipboard(std::string_view utf8) {
  if (screen_ == nullptr || suspended_) return;
  Present();
  WriteRaw("\x1b]52;c;" + Base64(utf8) + "\x07");
}

void NcursesTerminal::HangUp() {
  // The terminal is gone (its input ended): end as a hang-up would.
  Close();
  ::signal(SIGHUP, SIG_DFL);
  ::raise(SIGHUP);
  ::_exit(129);
}

bool NcursesTerminal::ReadInput(int timeoutMilliseconds) {
  pollfd fds[2] = {{inFd_, POLLIN, 0}, {g_wakePipe[0], POLLIN, 0}};
  int rc = ::poll(fds, 2, timeoutMilliseconds);
  if (rc <= 0) return false;
  if (fds[1].revents & POLLIN) {
    char drain[64];
    while (::read(g_wakePipe[0], drain, sizeof drain) > 0) {
    }
    HandleResize();
  }
  if (fds[0].revents & POLLIN) {
    char buffer[512];
    ssize_t n = ::read(inFd_, buffer, sizeof buffer);
    if (n > 0) {
      decoder_.Feed(std::string_view(buffer, static_cast<size_t>(n)));
      return true;
    }
    if (n == 0 || (errno != EINTR && errno != EAGAIN)) HangUp();
  } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
    HangUp();
  }
  return false;
}

void NcursesTerminal::Decode(bool final) {
  for (;;) {
    InputEvent event;
    DecodeResult r = decoder_.Next(event, final);
    if (r == DecodeResult::kEvent) {
      // Keys typed while the window is too small to see the console are dropped.
      if (!tooSmall_) queue_.push_back(event);
    } else if (r == DecodeResult::kRefused) {
      if (!tooSmall_) ::beep();
    } else if (r != DecodeResult::kIgnored) {
      return;
    }
  }
}

void NcursesTerminal::Gather(int timeoutMilliseconds) {
  ReadInput(timeoutMilliseconds);
  Decode(false);
  // The start of a sequence: its rest comes at once or never.
  while (!decoder_.Empty()) {
    if (!ReadInput(kEscapeDelayMilliseconds)) {
      Decode(true);
      break;
    }
    Decode(false);
  }
}

bool NcursesTerminal::PollEvent(InputEvent& event) {
  event = InputEvent{};
  Present();
  if (queue_.empty() && screen_ != nullptr && !suspended_) Gather(0);
  if (queue_.empty()) return false;
  event = queue_.front();
  queue_.pop_front();
  return true;
}

bool NcursesTerminal::WaitForInput(int timeoutMilliseconds) {
  Present();
  if (!queue_.empty()) return true;
  if (screen_ == nullptr || suspended_) return false;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
  for (;;) {
    int wait = -1;
    if (timeoutMilliseconds >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      wait = static_cast<int>(std::max<long long>(0, left.count()));
    }
    const bool wasTooSmall = tooSmall_;
    Gather(wait);
    if (!queue_.empty()) return true;
    if (wasTooSmall != tooSmall_) return false;  // a resize: let the caller look again
    if (timeoutMilliseconds >= 0 && Clock::now() >= deadline) return false;
  }
}

void NcursesTerminal::DiscardInput() {
  if (screen_ != nullptr && !suspended_) ::tcflush(inFd_, TCIFLUSH);
  decoder_.Clear();
  queue_.clear();
}

void NcursesTerminal::HandleResize() {
  int rows = 0;
  int columns = 0;
  if (!QueryTerminalSize(outFd_, rows, columns)) {
    rows = LINES;
    columns = COLS;
  }
  if (rows != LINES || columns != COLS) ::resizeterm(rows, columns);
  tooSmall_ = rows < kConsoleRows || columns < kConsoleColumns;
  ::clearok(curscr, TRUE);
  werase(stdscr);
  if (tooSmall_) {
    queue_.clear();
    attrset(A_NORMAL);
    const std::string en = "Please make the window at least 80x25 (now " + std::to_string(columns) +
                           "x" + std::to_string(rows) + ").";
    const std::string ca = "Cal una finestra de 80x25 com a m\xc3\xadnim.";
    mvaddnstr(0, 0, en.c_str(), columns);
    if (rows > 1) mvaddnstr(1, 0, ca.c_str(), columns);
    ::curs_set(0);
    cursorMode_ = -1;
    ::refresh();
    return;
  }
  MarkAllDirty();
  cursorMode_ = -1;
  Present();
}

void NcursesTerminal::Suspend() {
  if (screen_ == nullptr || suspended_) return;
  Present();
  if (mouseOn_) WriteRaw("\x1b[?1006l\x1b[?1000l");
  ::def_prog_mode();
  ::curs_set(1);
  ::endwin();
  suspended_ = true;
}

void NcursesTerminal::Resume() {
  if (screen_ == nullptr || !suspended_) return;
  suspended_ = false;
  ::reset_prog_mode();
  decoder_.Clear();
  HandleResize();
  if (mouseOn_) WriteRaw("\x1b[?1000h\x1b[?1006h");
}

void SuspendActive() {
  if (g_active != nullptr) g_active->Suspend();
}

void ResumeActive() {
  if (g_active != nullptr) g_active->Resume();
}

}  // namespace

bool QueryTerminalSize(int fd, int& rows, int& columns) {
  winsize ws{};
  if (::ioctl(fd, TIOCGWINSZ, &ws) != 0 || ws.ws_row == 0 || ws.ws_col == 0) return false;
  rows = ws.ws_row;
  columns = ws.ws_col;
  return true;
}

std::string TerminalTooSmallMessage(std::string_view program, int rows, int columns) {
  const std::string size = std::to_string(columns) + "x" + std::to_string(rows);
  std::string p(program);
  return p + ": the terminal is " + size + "; it needs at least 80 columns and 25 rows\n" + p +
         ": el terminal fa " + size + "; necessita com a m\xc3\xadnim 80 columnes i 25 files";
}

bool CheckTerminalSize(std::string_view program, std::string& message) {
  int rows = 0;
  int columns = 0;
  if (!::isatty(STDIN_FILENO) || !QueryTerminalSize(STDOUT_FILENO, rows, columns)) {
    message = std::string(program) + ": standard input and output must be a terminal";
    return false;
  }
  if (rows < kConsoleRows || columns < kConsoleColumns) {
    message = TerminalTooSmallMessage(program, rows, columns);
    return false;
  }
  return true;
}

std::unique_ptr<Terminal> OpenNcursesTerminal(int inFd, int outFd, std::string& message) {
  auto terminal = std::make_unique<NcursesTerminal>();
  if (!terminal->Open(inFd, outFd, message)) return nullptr;
  return terminal;
}

bool StartRealTerminal(std::string_view program, std::string& message) {
  if (!CheckTerminalSize(program, message)) return false;
  std::string reason;
  std::unique_ptr<Terminal> terminal = OpenNcursesTerminal(STDIN_FILENO, STDOUT_FILENO, reason);
  if (!terminal) {
    message = std::string(program) + ": " + reason;
    return false;
  }
  InstallTerminal(std::move(terminal));
  SetChildHooks(SuspendActive, ResumeActive);
  return true;
}

void StopRealTerminal() {
  SetChildHooks(nullptr, nullptr);
  InstallTerminal(nullptr);
}

}  // namespace platform
