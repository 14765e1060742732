#include "tests/support/tmux.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

extern char** environ;

namespace testing_support {
namespace {

constexpr int kPollMilliseconds = 25;

// Runs argv (looked up in PATH) and waits; the exit code (-1 when it could not run),
// with its standard output collected when `output` is given.
int Run(const std::vector<std::string>& argv, std::string* output) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  int pipeFds[2] = {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (output != nullptr) {
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  pid_t pid = 0;
  int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (output != nullptr) ::close(pipeFds[1]);
  if (rc != 0) {
    if (output != nullptr) ::close(pipeFds[0]);
    return -1;
  }
  if (output != nullptr) {
    output->clear();
    char buffer[4096];
    for (;;) {
      ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      output->append(buffer, static_cast<size_t>(n));
    }
    ::close(pipeFds[0]);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string UniqueSocketName() {
  static std::atomic<int> counter{0};
  return "zurtest-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

}  // namespace

bool TmuxSession::Available() {
  std::string out;
  return Run({"tmux", "-V"}, &out) == 0;
}

TmuxSession::TmuxSession(const TmuxOptions& options) : socket_(UniqueSocketName()) {
  char path[] = "/tmp/zurtmux-XXXXXX";
  int fd = ::mkstemp(path);
  if (fd < 0) {
    error_ = "cannot create the tmux configuration";
    return;
  }
  ::close(fd);
  configPath_ = path;
  {
    // The pane stays after the program ends, so that its exit code and last screen
    // can be read; no status line, so the pane is the whole window.
    std::ofstream config(configPath_);
    config << "set -g remain-on-exit on\n"
           << "set -g status off\n"
           << "set -g default-terminal \"" << options.term << "\"\n"
           << "set -g escape-time 0\n";
  }
  std::vector<std::string> args = {"-f",          configPath_,
                                   "new-session", "-d",
                                   "-s",          "main",
                                   "-x",          std::to_string(options.columns),
                                   "-y",          std::to_string(options.rows)};
  if (!options.workingDirectory.empty()) {
    args.push_back("-c");
    args.push_back(options.workingDirectory);
  }
  for (const auto& [name, value] : options.environment) {
    args.push_back("-e");
    args.push_back(name + "=" + value);
  }
  // A sanitizer report of the program (or of any program it starts) goes to a log of
  // this session's own, which the session examines when it ends: a report is never
  // lost on a screen nobody reads again.
  sanitizerLogPrefix_ = configPath_ + ".sanitizer";
  for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
    const char* inherited = std::getenv(name);
    std::string value = inherited != nullptr ? inherited : "";
    for (const auto& [given, givenValue] : options.environment) {
      if (given == name) value = givenValue;
    }
    args.push_back("-e");
    args.push_back(std::string(name) + "=" + (value.empty() ? "" : value + ":") +
                   "log_path=" + sanitizerLogPrefix_);
  }
  // The program runs under a small shell that writes its exit code to a file: tmux
  // does not always learn the status of a program that ends at once.
  statusPath_ = configPath_ + ".status";
  args.push_back("/bin/sh");
  args.push_back("-c");
  args.push_back("\"$0\" \"$@\"; echo $? > '" + statusPath_ + "'");
  for (const std::string& word : options.command) args.push_back(word);
  if (Tmux(args) != 0) {
    error_ = "tmux new-session failed";
    return;
  }
  started_ = true;
}

TmuxSession::~TmuxSession() {
  Tmux({"kill-server"});
  const std::string reports = SanitizerReports();
  if (!reports.empty()) ADD_FAILURE() << "sanitizer report of the program in tmux:\n" << reports;
  if (!configPath_.empty()) std::remove(configPath_.c_str());
  if (!statusPath_.empty()) std::remove(statusPath_.c_str());
}

std::string TmuxSession::SanitizerReports() const {
  std::string reports;
  if (sanitizerLogPrefix_.empty()) return reports;
  const size_t slash = sanitizerLogPrefix_.rfind('/');
  const std::string folder = sanitizerLogPrefix_.substr(0, slash);
  const std::string stem = sanitizerLogPrefix_.substr(slash + 1);
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return reports;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.rfind(stem, 0) != 0) continue;
    const std::string path = folder + "/" + name;
    std::ifstream in(path);
    reports += path + ":\n" + std::string(std::istreambuf_iterator<char>(in), {}) + "\n";
    std::remove(path.c_str());
  }
  ::closedir(dir);
  return reports;
}

int TmuxSession::Tmux(const std::vector<std::string>& args, std::string* output) const {
  std::vector<std::string> argv = {"tmux", "-L", socket_};
  argv.insert(argv.end(), args.begin(), args.end());
  return Run(argv, output);
}

void TmuxSession::SendKeys(const std::vector<std::string>& keys) {
  std::vector<std::string> args = {"send-keys", "-t", "main"};
  args.insert(args.end(), keys.begin(), keys.end());
  Tmux(args);
}

void TmuxSession::SendText(const std::string& text) {
  Tmux({"send-keys", "-t", "main", "-l", text});
}

void TmuxSession::SendBytes(const std::string& bytes) {
  std::vector<std::string> args = {"send-keys", "-t", "main", "-H"};
  for (char ch : bytes) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(ch));
    args.push_back(hex);
  }
  Tmux(args);
}

void TmuxSession::Resize(int columns, int rows) {
  Tmux({"resize-window", "-t", "main", "-x", std::to_string(columns), "-y", std::to_string(rows)});
}

std::string TmuxSession::Capture(bool withEscapes) const {
  std::string out;
  std::vector<std::string> args = {"capture-pane", "-p", "-t", "main"};
  if (withEscapes) args.push_back("-e");
  Tmux(args, &out);
  return out;
}

std::string TmuxSession::CaptureWithHistory() const {
  std::string out;
  Tmux({"capture-pane", "-p", "-S", "-", "-t", "main"}, &out);
  return out;
}

std::vector<std::string> TmuxSession::CaptureLines() const {
  std::vector<std::string> lines;
  std::string screen = Capture();
  size_t start = 0;
  while (start < screen.size()) {
    size_t end = screen.find('\n', start);
    if (end == std::string::npos) end = screen.size();
    lines.push_back(screen.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

bool TmuxSession::WaitForText(const std::string& text, int timeoutMilliseconds) {
  return WaitFor([&](const std::string& screen) { return screen.find(text) != std::string::npos; },
                 timeoutMilliseconds);
}

bool TmuxSession::WaitForTextWithHistory(const std::string& text, int timeoutMilliseconds) {
  return Poll([this] { return CaptureWithHistory(); },
              [&](const std::string& screen) { return screen.find(text) != std::string::npos; },
              timeoutMilliseconds);
}

bool TmuxSession::WaitFor(const std::function<bool(const std::string&)>& predicate,
                          int timeoutMilliseconds, bool withEscapes) {
  return Poll([this, withEscapes] { return Capture(withEscapes); }, predicate, timeoutMilliseconds);
}

bool TmuxSession::Poll(const std::function<std::string()>& capture,
                       const std::function<bool(const std::string&)>& predicate,
                       int timeoutMilliseconds) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
  for (;;) {
    lastScreen_ = capture();
    if (predicate(lastScreen_)) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMilliseconds));
  }
}

std::optional<int> TmuxSession::WaitForExit(int timeoutMilliseconds) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
  for (;;) {
    std::ifstream status(statusPath_);
    int code = -1;
    if (status >> code) return code;
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMilliseconds));
  }
}

int TmuxSession::ProgramPid() const {
  std::string out;
  if (Tmux({"display-message", "-p", "-t", "main", "#{pane_pid}"}, &out) != 0) return 0;
  const std::string shell = std::to_string(std::atoi(out.c_str()));
  // The pane runs the shell that waits for the program: the program is its child.
  std::ifstream children("/proc/" + shell + "/task/" + shell + "/children");
  int pid = 0;
  return children >> pid ? pid : 0;
}

}  // namespace testing_support
