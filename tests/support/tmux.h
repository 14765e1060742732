#pragma once
// Drives a program in a detached tmux session for end-to-end tests: its own tmux
// server (a private socket), a terminal of a given size and type, keys sent by name
// or as literal text, the screen read back as text (optionally with its colours as
// escape sequences), waits for a screen state with a timeout, and the program's exit
// code. The session and its server go away with the object.

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

struct TmuxOptions {
  int columns = 80;
  int rows = 25;
  std::string term = "tmux-256color";  // TERM inside the session
  std::vector<std::string> command;    // program and arguments, run without a shell
  std::vector<std::pair<std::string, std::string>> environment;  // added for the program
  std::string workingDirectory;  // empty: the test's current directory
};

class TmuxSession {
 public:
  // True when a tmux program can be run.
  static bool Available();

  explicit TmuxSession(const TmuxOptions& options);
  ~TmuxSession();
  TmuxSession(const TmuxSession&) = delete;
  TmuxSession& operator=(const TmuxSession&) = delete;

  // False when the session could not be started (the reason is in Error()).
  bool Started() const { return started_; }
  const std::string& Error() const { return error_; }

  // Keys by tmux name, each one key: "F1", "S-F1", "C-Left", "M-x", "Escape", "Enter",
  // "BSpace", "PageDown", "a".
  void SendKeys(const std::vector<std::string>& keys);
  // Text typed as it stands (UTF-8).
  void SendText(const std::string& text);
  // Raw bytes as the terminal would send them (escape sequences, mouse reports).
  void SendBytes(const std::string& bytes);

  // Changes the terminal's size, as a user resizing the window would.
  void Resize(int columns, int rows);

  // The visible screen, one line per row joined by "\n" (trailing blanks cut by
  // tmux). With escapes: the colours and attributes as SGR sequences.
  std::string Capture(bool withEscapes = false) const;
  std::vector<std::string> CaptureLines() const;
  // The screen with the lines scrolled off its top before it (tmux scrolls a line
  // away when it marks an ended program's pane).
  std::string CaptureWithHistory() const;

  // Polls the screen until it contains the text / satisfies the predicate, or the
  // timeout passes. False on timeout; LastScreen() then shows what was seen.
  bool WaitForText(const std::string& text, int timeoutMilliseconds = 10000);
  bool WaitFor(const std::function<bool(const std::string&)>& predicate,
               int timeoutMilliseconds = 10000, bool withEscapes = false);
  const std::string& LastScreen() const { return lastScreen_; }
  // As WaitForText, over the screen and the lines scrolled off its top: for what a
  // program writes as it ends, which tmux may show a moment after the exit is known.
  bool WaitForTextWithHistory(const std::string& text, int timeoutMilliseconds = 10000);

  // Waits for the program to end and returns its exit code; nullopt on timeout.
  std::optional<int> WaitForExit(int timeoutMilliseconds = 10000);

  // The process id of the program in the pane; 0 when unknown.
  int ProgramPid() const;
  // The sanitizer reports the program and its children wrote so far (each file is
  // removed once read); "" when there are none. The session's end fails the test
  // when any report is left.
  std::string SanitizerReports() const;

 private:
  // Captures (into lastScreen_) until the predicate holds or the timeout passes.
  bool Poll(const std::function<std::string()>& capture,
            const std::function<bool(const std::string&)>& predicate, int timeoutMilliseconds);
  // Runs tmux with the arguments on this session's server; the exit code, and its
  // standard output in *output when given.
  int Tmux(const std::vector<std::string>& args, std::string* output = nullptr) const;

  std::string socket_;
  std::string configPath_;
  std::string statusPath_;
  std::string sanitizerLogPrefix_;
  bool started_ = false;
  std::string error_;
  std::string lastScreen_;
};

}  // namespace testing_support
