#include "console/help.h"

#include <algorithm>
#include <vector>

#include "console/colour.h"
#include "console/key_wait.h"
#include "console/screen.h"
#include "console/window_stack.h"
#include "platform/binary_file.h"
#include "platform/env.h"
#include "platform/process.h"
#include "session/session.h"

namespace console {
namespace {

constexpr int kVisibleCharacters = 76;
constexpr char kHighlightByte = 30;
constexpr char kUnderlineByte = 31;
constexpr char kReverseByte = 16;

constexpr int16_t kF1 = 0x3B00;
constexpr int16_t kUp = 0x4800;
constexpr int16_t kDown = 0x5000;
constexpr int16_t kPageUp = 0x4900;
constexpr int16_t kPageDown = 0x5100;
constexpr int16_t kHome = 0x4700;
constexpr int16_t kEnd = 0x4F00;
constexpr int16_t kEsc = 27;

class HelpFile {
 public:
  HelpFile(std::string_view topic, int recordLength) : recordLength_(recordLength) {
    if (file_.Open("AJUDA\\" + std::string(topic) + ".HLP", platform::BinaryFile::Mode::kRead)) {
      const long long length = std::max(0LL, file_.Length());
      // Nearest whole number of records, a half going to the even one.
      const long long whole = length / recordLength_;
      const long long rest = length % recordLength_;
      total_ = whole;
      if (2 * rest > recordLength_ || (2 * rest == recordLength_ && whole % 2 == 1)) ++total_;
    }
  }

  long long Total() const { return total_; }

  // Line k (1-based), blank-padded to the record length; blank past the end.
  std::string Line(long long k) const {
    std::string line(static_cast<size_t>(recordLength_), ' ');
    if (k < 1 || k > total_ || !file_.IsOpen()) return line;
    const long long got =
        file_.ReadAt((k - 1) * recordLength_, line.data(), static_cast<size_t>(recordLength_));
    if (got < 0) std::fill(line.begin(), line.end(), ' ');
    return line;
  }

 private:
  platform::BinaryFile file_;
  int recordLength_;
  long long total_ = 0;
};

void ShowLine(const HelpFile& help, long long k, int16_t row) {
  SetColour("n");
  const std::string line = help.Line(k);
  LocateInWindow(row, 2);
  const bool plain = line.find_first_of(std::string{kHighlightByte, kUnderlineByte,
                                                    kReverseByte}) == std::string::npos;
  if (plain) {
    Print(std::string_view(line).substr(0, kVisibleCharacters));
    return;
  }
  bool highlight = false;
  bool underline = false;
  bool reverse = false;
  int written = 0;
  for (char ch : line) {
    if (written >= kVisibleCharacters) break;
    if (ch == kHighlightByte) {
      highlight = !highlight;
      if (!underline) SetColour(highlight ? "h" : "n");
    } else if (ch == kUnderlineByte) {
      underline = !underline;
      SetColour(underline ? "u" : "n");
    } else if (ch == kReverseByte) {
      reverse = !reverse;
      SetColour(reverse ? "r" : "n");
    } else {
      Print(std::string_view(&ch, 1));
      ++written;
    }
  }
}

void ShowViewer(std::string_view topic) {
  const int16_t rows = ScreenRows();
  const int16_t columns = ScreenColumns();
  const long long page = rows - 8;
  HelpFile help(topic, columns);
  const long long total = help.Total();

  SetColour("+h");
  PushWindow(4, 1, static_cast<int16_t>(rows - 3), columns);
  DrawWindowFrame(2);
  SetColour("n");

  auto showPage = [&](long long first) {
    for (long long r = 1; r <= page; ++r) ShowLine(help, first + r - 1, static_cast<int16_t>(r));
  };
  auto scroll = [&](long long n) {
    ScrollArea(4, 1, static_cast<int16_t>(rows - 5), static_cast<int16_t>(columns - 2),
               static_cast<int16_t>(n));
  };

  showPage(1);
  long long nextLine = page + 1;
  for (;;) {
    const int16_t key = ReadConsoleKey();
    if (key == kEsc) break;
    switch (key) {
      case kF1:
        if (topic != kMenuHelpTopic) ShowHelp(kMenuHelpTopic);
        break;
      case kDown:
        if (nextLine <= total) {
          scroll(1);
          ShowLine(help, nextLine, static_cast<int16_t>(page));
          ++nextLine;
        }
        break;
      case kUp:
        if (nextLine - page > 1) {
          --nextLine;
          scroll(-1);
          ShowLine(help, nextLine - page, 1);
        }
        break;
      case kPageDown:
        if (nextLine <= total) {
          scroll(page);
          if (nextLine + page - 1 > total) nextLine = total - page + 1;
          showPage(nextLine);
          nextLine += page;
        }
        break;
      case kPageUp:
        if (nextLine - page > 1) {
          scroll(-page);
          if (nextLine - 2 * page < 1) nextLine = 2 * page;
          showPage(nextLine - 2 * page + 1);
          nextLine = nextLine - page + 1;
        }
        break;
      case kHome:
        if (nextLine - page > 1) {
          scroll(-page);
          showPage(1);
          nextLine = page + 1;
        }
        break;
      case kEnd:
        if (nextLine <= total) {
          scroll(page);
          showPage(total - page + 1);
          nextLine = total + 1;
        }
        break;
      default:
        break;
    }
  }
  PopWindow();
  SetColour("-");
}

}  // namespace

std::string HelpCommandLine(std::string_view topic) {
  return platform::GetEnv("COMSPEC") + " /C UOBRIR AJUDA\\" + std::string(topic) + ".HTM";
}

void ShowHelp(std::string_view topic) {
  if (session::Session().sessionKind == "WIN") {
    // The words of HelpCommandLine, handed over without a shell, so that nothing in
    // the topic or the variable is read as shell syntax.
    platform::RunProgram(platform::GetEnv("COMSPEC"),
                         {"/C", "UOBRIR", "AJUDA\\" + std::string(topic) + ".HTM"});
    return;
  }
  ShowViewer(topic);
}

}  // namespace console
