#pragma once
// Test helpers for tests that need a second process: start a program with a pipe on
// its standard input, wait for a file to appear, wait for the program to end.

#include <string>
#include <vector>

namespace testing_support {

class ChildProcess {
 public:
  // Starts argv[0] with the arguments; its standard output goes to outputPath when
  // given. Fails the test when it cannot start.
  explicit ChildProcess(const std::vector<std::string>& argv, const std::string& outputPath = "");
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Closes the child's standard input (the helpers take that as "stop").
  void CloseInput();
  // Waits up to timeoutMs for the child to end. Its exit code, -2 when killed by a
  // signal, or -1 when it is still running (it is then killed).
  int Wait(int timeoutMs);
  // True while the child has not ended (reaps it when it has).
  bool Running();

 private:
  int pid_ = -1;
  int input_ = -1;
  int exitCode_ = -1;
};

// Polls for the file every few milliseconds; false when it has not appeared within
// timeoutMs.
bool WaitForFile(const std::string& path, int timeoutMs);

}  // namespace testing_support
