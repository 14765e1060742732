#pragma once
// Help for a topic (F1 in a form). In a "WIN" session the suite's help launcher
// opens the topic's web page; otherwise the text help file AJUDA\<topic>.HLP is shown
// in a scrolling window over the screen.
//
// A .HLP file is a run of fixed-length records, one per line, as long as the console
// is wide (80 bytes), with no header and no line ends; the line count is the file
// length divided by 80, rounded to the nearest whole number (halves to even). Up to
// 76 characters of a line are shown. Three bytes inside a line switch colours and
// are not shown; each is a toggle, off at the start of every line:
//   30  highlight ("h" on, "n" off; no effect while underline is on)
//   31  underline ("u" on, "n" off)
//   16  reverse   ("r" on, "n" off)

#include <string>
#include <string_view>

namespace console {

// Name of the suite menu's own help topic, which F1 opens over any other help.
inline constexpr std::string_view kMenuHelpTopic = "UXAVIPAN";

// The launcher's command line of a "WIN" session: COMSPEC + " /C UOBRIR AJUDA\" +
// topic + ".HTM".
std::string HelpCommandLine(std::string_view topic);

// Shows the topic's help and returns when the operator leaves it (Esc in the
// viewer, or when the launcher ends); the screen is left as it was. A missing or
// empty help file gives an empty window that Esc closes.
void ShowHelp(std::string_view topic);

}  // namespace console
