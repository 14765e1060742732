#pragma once
// The clipboard: one text for the whole process. Setting it also hands it to the
// terminal (OSC 52 on a real terminal), so that other programs can paste it where
// the terminal allows.

#include <string>
#include <string_view>

namespace platform {

// The clipboard's text, code page 850; empty at start.
std::string ClipboardText();

// Replaces the clipboard's text and sends it, as UTF-8, to the current terminal.
void SetClipboardText(std::string_view cp850);

}  // namespace platform
