// What a program waiting for a key costs: on the real terminal (ncursesw on a pseudo-
// terminal) with nothing typed, a loop polling GetKey as the line editor does, and the
// CPU time used per second of waiting ("cpu_per_wall_s"; a busy loop shows about 1).
// WaitKey itself blocks in the terminal read and uses nothing while it waits.
#include <benchmark/benchmark.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>

#include "forms/keys.h"
#include "platform/terminal.h"
#include "platform/terminal_ncurses.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_IdleWaitForKey(benchmark::State& state) {
  int master = -1;
  int slave = -1;
  winsize size{};
  size.ws_row = 25;
  size.ws_col = 80;
  if (::openpty(&master, &slave, nullptr, nullptr, &size) != 0) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  ::setenv("TERM", "xterm-256color", 0);
  std::string message;
  std::unique_ptr<platform::Terminal> terminal =
      platform::OpenNcursesTerminal(slave, slave, message);
  if (!terminal) {
    state.SkipWithError(message.c_str());
    return;
  }
  platform::InstallTerminal(std::move(terminal));
  double cpu = 0;
  double wall = 0;
  for (auto _ : state) {
    const double cpuBefore = CpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    // The editor's polling loop with nothing typed, for a quarter of a second.
    while (std::chrono::steady_clock::now() - wallBefore < std::chrono::milliseconds(250)) {
      int16_t key = 0, button = 0, row = 0, column = 0;
      forms::GetKey(key, button, row, column);
    }
    cpu += CpuSeconds() - cpuBefore;
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
  }
  state.counters["cpu_per_wall_s"] = wall > 0 ? cpu / wall : 0;
  platform::InstallTerminal(nullptr);
  ::close(slave);
  ::close(master);
}
BENCHMARK(BM_IdleWaitForKey)->Iterations(8)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
