#pragma once
// Turns the bytes a terminal sends for keys and mouse clicks into input events:
// UTF-8 characters (converted to code page 850), control characters, the escape
// sequences of xterm, tmux/screen, rxvt and the Linux console for function and
// cursor keys with their Shift/Ctrl/Alt modifiers, Alt+key sent as an ESC prefix,
// and xterm mouse reports (SGR and the older three-byte form).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/terminal.h"

namespace platform {

// Longest escape sequence taken as one; longer ones are thrown away unread, so a
// hostile stream cannot make the decoder hold an unbounded buffer.
inline constexpr size_t kMaxEscapeSequence = 32;

enum class DecodeResult {
  kEvent,     // `event` holds the next event
  kRefused,   // a character code page 850 lacks (or bad UTF-8) was dropped: beep
  kIgnored,   // bytes that mean nothing to the console were dropped
  kNeedMore,  // what is buffered may be the start of a sequence: wait for more bytes
  kEmpty,     // nothing buffered
};

class KeyDecoder {
 public:
  // Adds bytes read from the terminal.
  void Feed(std::string_view bytes);

  // Decodes the next event from the buffered bytes. With `final` set the bytes are
  // taken as complete, so a lone ESC becomes the Esc key and a cut-short sequence
  // is dropped, instead of kNeedMore.
  DecodeResult Next(InputEvent& event, bool final);

  bool Empty() const { return buffer_.empty(); }
  void Clear() { buffer_.clear(); }

 private:
  std::string buffer_;
  uint8_t lastPressed_ = 0;  // button of the last press in the three-byte mouse form
};

}  // namespace platform
