#include "platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/path.h"

namespace platform {
namespace {

void (*g_beforeChild)() = nullptr;
void (*g_afterChild)() = nullptr;

int WaitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return kProgramNotStarted;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return kProgramKilled;
}

// Exit code a child uses when exec fails, reported back through a pipe.
constexpr int kExecFailed = 127;

int Spawn(const std::string& path, const std::vector<std::string>& args, std::string* errorText,
          const std::string& outputPath) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  int outputFd = -1;
  if (!outputPath.empty()) {
    outputFd = ::open(ResolvePath(outputPath).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                      0666);
    if (outputFd < 0) {
      if (errorText) *errorText = std::strerror(errno);
      return kProgramNotStarted;
    }
  }
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
    if (errorText) *errorText = std::strerror(errno);
    if (outputFd >= 0) ::close(outputFd);
    return kProgramNotStarted;
  }
  if (g_beforeChild) g_beforeChild();
  pid_t pid = ::fork();
  if (pid < 0) {
    int err = errno;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    if (outputFd >= 0) ::close(outputFd);
    if (g_afterChild) g_afterChild();
    if (errorText) *errorText = std::strerror(err);
    return kProgramNotStarted;
  }
  if (pid == 0) {
    ::close(pipeFds[0]);
    ::signal(SIGPIPE, SIG_DFL);
    if (outputFd >= 0) {
      ::dup2(outputFd, STDOUT_FILENO);
      ::dup2(outputFd, STDERR_FILENO);
    }
    ::execv(path.c_str(), argv.data());
    int err = errno;
    ssize_t ignored = ::write(pipeFds[1], &err, sizeof err);
    (void)ignored;
    ::_exit(kExecFailed);
  }
  ::close(pipeFds[1]);
  if (outputFd >= 0) ::close(outputFd);
  int childErr = 0;
  ssize_t n;
  do {
    n = ::read(pipeFds[0], &childErr, sizeof childErr);
  } while (n < 0 && errno == EINTR);
  ::close(pipeFds[0]);
  int rc = WaitFor(pid);
  if (g_afterChild) g_afterChild();
  if (n == static_cast<ssize_t>(sizeof childErr)) {
    if (errorText) *errorText = std::strerror(childErr);
    return kProgramNotStarted;
  }
  return rc;
}

}  // namespace

int RunProgram(const std::string& suitePath, const std::vector<std::string>& args,
               std::string* errorText, const std::string& outputPath) {
  std::string path = ResolvePath(suitePath);
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) {
    if (errorText) *errorText = "not found";
    return kProgramNotStarted;
  }
  if (S_ISDIR(st.st_mode) || ::access(path.c_str(), X_OK) != 0) {
    if (errorText) *errorText = "not executable";
    return kProgramNotStarted;
  }
  return Spawn(path, args, errorText, outputPath);
}

int RunCommandLine(const std::string& commandLine) {
  return Spawn("/bin/sh", {"-c", commandLine}, nullptr, {});
}

void SetChildHooks(void (*beforeChild)(), void (*afterChild)()) {
  g_beforeChild = beforeChild;
  g_afterChild = afterChild;
}

}  // namespace platform
