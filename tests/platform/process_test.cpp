#include "platform/process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/temp_dir.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

int g_before = 0, g_after = 0;

TEST(RunProgram, ExitCodesAndReasons) {
  TempDir dir;
  WriteFile(dir / "plain.txt", "not a program");
  WriteFile(dir / "ok.sh", "#!/bin/sh\nexit 0\n");
  ::chmod((dir / "ok.sh").c_str(), 0755);
  struct Case {
    std::string program;
    std::vector<std::string> args;
    int expected;
    const char* reason;
  } cases[] = {
      {dir / "ok.sh", {}, 0, ""},
      {"/bin/sh", {"-c", "exit 3"}, 3, ""},
      {"/bin/sh", {"-c", "kill -9 $$"}, platform::kProgramKilled, ""},
      {dir / "missing", {}, platform::kProgramNotStarted, "not found"},
      {dir / "plain.txt", {}, platform::kProgramNotStarted, "not executable"},
      {dir.path(), {}, platform::kProgramNotStarted, "not executable"},
  };
  for (const Case& c : cases) {
    std::string why;
    EXPECT_EQ(platform::RunProgram(c.program, c.args, &why), c.expected) << c.program;
    if (c.expected == platform::kProgramNotStarted) {
      EXPECT_EQ(why, c.reason) << c.program;
    }
  }
}

TEST(RunProgram, FindsTheProgramWithoutRegardToCase) {
  TempDir dir;
  WriteFile(dir / "bin/zurprint", "#!/bin/sh\nexit 7\n");
  ::chmod((dir / "bin/zurprint").c_str(), 0755);
  EXPECT_EQ(platform::RunProgram(dir.path() + "BIN\\ZURPRINT"), 7);
}

TEST(RunProgram, OutputGoesToTheFileAndHooksRunAroundTheChild) {
  TempDir dir;
  platform::SetChildHooks([] { ++g_before; }, [] { ++g_after; });
  EXPECT_EQ(platform::RunProgram("/bin/sh", {"-c", "echo out; echo err >&2"}, nullptr,
                                 dir / "log.txt"),
            0);
  platform::SetChildHooks(nullptr, nullptr);
  EXPECT_EQ(ReadFile(dir / "log.txt"), std::optional<std::string>("out\nerr\n"));
  EXPECT_EQ(g_before, 1);
  EXPECT_EQ(g_after, 1);

  std::string why;
  EXPECT_EQ(platform::RunProgram("/bin/sh", {"-c", "true"}, &why, dir / "no/such/log.txt"),
            platform::kProgramNotStarted);
  EXPECT_FALSE(why.empty());
}

}  // namespace
