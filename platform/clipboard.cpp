#include "platform/clipboard.h"

#include "platform/cp850.h"
#include "platform/terminal.h"

namespace platform {
namespace {

std::string& Text() {
  static std::string text;
  return text;
}

}  // namespace

std::string ClipboardText() {
  return Text();
}

void SetClipboardText(std::string_view cp850) {
  Text() = cp850;
  CurrentTerminal().SendClipboard(Cp850ToUtf8(cp850));
}

}  // namespace platform
