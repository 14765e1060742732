// The zurprint program itself, run as the letter module runs it: no arguments, the
// session in the environment, one line of output and the exit status.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/temp_dir.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

struct Outcome {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string Program() {
  return ZURPRINT_PROGRAM;
}

// Runs the program with the given arguments in folder `cwd`, with ZURTMP set to workDir.
Outcome RunProgram(const TempDir& dir, const std::string& cwd, const std::string& workDir,
                   const std::string& args = "") {
  std::string command = "cd '" + cwd + "' && env -u ZURROOT -u ZURTERM ZURTMP='" + workDir + "' '" +
                        Program() + "' " + args + " >'" + (dir / "stdout") + "' 2>'" +
                        (dir / "stderr") + "' </dev/null";
  int status = std::system(command.c_str());
  Outcome o;
  o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  o.out = ReadFile(dir / "stdout").value_or("");
  o.err = ReadFile(dir / "stderr").value_or("");
  return o;
}

TEST(ZurprintProgram, PrintsTheSpoolOfTheSession) {
  TempDir dir;
  WriteFile(dir / "work/zurprint.tmp",
            "DEVICEPDF:OUT\\letter.pdf\r\nPAGE 66 \r\n*@\r\n*e\r\n"
            " 10 ,Benvolgut senyor, 1 \r\n");
  WriteFile(dir / "root/out/keep", "");
  Outcome o = RunProgram(dir, dir / "root", dir / "work");
  EXPECT_EQ(o.exitCode, 0) << o.err;
  EXPECT_EQ(o.out, "zurprint: 1 page written to out/letter.pdf\n");
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(ReadFile(dir / "root/out/letter.pdf").value_or("").rfind("%PDF-", 0), 0u);
}

TEST(ZurprintProgram, FailuresGiveOneLineAndAnExitStatus) {
  struct Case {
    const char* name;
    const char* spool;  // nullptr: no spool
    std::string err;
  } cases[] = {
      {"missing spool", nullptr, "zurprint: cannot read the spool "},
      {"no device line", "PAGE 66 \r\n", "does not begin with a DEVICE line\n"},
      {"a bad line", "DEVICE\r\nPAGE 66 \r\n1 ,no end\r\n", ", line 3: not a spool line"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    if (c.spool != nullptr) WriteFile(dir / "work/zurprint.tmp", c.spool);
    WriteFile(dir / "work/keep", "");
    Outcome o = RunProgram(dir, dir.path(), dir / "work");
    EXPECT_EQ(o.exitCode, 1) << c.name;
    EXPECT_EQ(o.out, "") << c.name;
    EXPECT_NE(o.err.find(c.err), std::string::npos) << c.name << ": " << o.err;
    EXPECT_EQ(o.err.find('\n'), o.err.size() - 1) << c.name << ": " << o.err;
  }
}

TEST(ZurprintProgram, HelpAndVersion) {
  TempDir dir;
  Outcome help = RunProgram(dir, dir.path(), dir.path(), "--help");
  EXPECT_EQ(help.exitCode, 0);
  for (const char* text : {"zurprint.tmp", "DEVICEPDF:path", "DEVICETXT:path", "lp -d", "1 to 1000",
                           "96 to 250", "beyond column 250 is refused"}) {
    EXPECT_NE(help.out.find(text), std::string::npos) << text << "\n" << help.out;
  }
  Outcome version = RunProgram(dir, dir.path(), dir.path(), "--version");
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("zurprint ", 0), 0u) << version.out;

  Outcome unknown = RunProgram(dir, dir.path(), dir.path(), "--bogus");
  EXPECT_NE(unknown.exitCode, 0);
}

}  // namespace
