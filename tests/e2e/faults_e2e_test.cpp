// Faults from outside, on the real programs: files written to a full disk, a record
// file removed or replaced while the module runs, an import killed half-way, a print
// program that hangs, and a work folder that takes no files. After each fault the
// operator has been told, nothing is reported as done that was not, and the record
// files hold what they held (their exports are compared byte for byte).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tmux.h"

namespace {

using testing_support::ChildProcess;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::TmuxOptions;
using testing_support::TmuxSession;
using testing_support::WaitForFile;
using testing_support::WriteFile;

constexpr const char* kTitle = "Cartes i etiquetes als propietaris";
constexpr const char* kDateLabel = "Data de les cartes";
constexpr const char* kConfirmation = "Imprimeixo la tramesa?";
constexpr const char* kPrinted = "TRAMESA ENVIADA A IMPRIMIR";
constexpr int kWait = 30000;
const char* const kKinds[] = {"texts", "properties", "owners", "receipts"};

// The print program the module starts: counts its runs and says so.
constexpr const char* kCountingPrinter =
    "#!/bin/sh\n"
    "n=$(cat \"${ZURTMP}count\" 2>/dev/null || echo 0)\n"
    "echo $((n + 1)) > \"${ZURTMP}count\"\n"
    "echo \"printed\"\n";

// A print program that never ends by itself: it leaves its process id and sleeps.
constexpr const char* kHangingPrinter =
    "#!/bin/sh\n"
    "echo $$ > \"${ZURTMP}printer.pid.part\"\n"
    "mv \"${ZURTMP}printer.pid.part\" \"${ZURTMP}printer.pid\"\n"
    "exec sleep 3600\n";

int Shell(const std::string& command) {
  return std::system(command.c_str());
}

std::string Zurdata(const std::string& root, const std::string& arguments) {
  return "'" + std::string(ZUR_ZURDATA) + "' --root '" + root + "' " + arguments;
}

// Standard output of a shell command; "<failed>" when it does not end with 0.
std::string Output(const std::string& command) {
  std::string out;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return "<failed>";
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  return ::pclose(pipe) == 0 ? out : "<failed>";
}

// Every record file's export, by kind.
std::map<std::string, std::string> Exports(const std::string& root) {
  std::map<std::string, std::string> exports;
  for (const char* kind : kKinds) exports[kind] = Output(Zurdata(root, "export ") + kind);
  return exports;
}

// A fresh installation: the demo's forms, language file and templates, the test data
// loaded with the data tool.
std::string Install(const TempDir& dir, const char* printer) {
  const std::string root = dir.path();
  EXPECT_EQ(Shell("python3 '" + std::string(ZUR_SOURCE_DIR) + "/demo/layout.py' '" + root +
                  "' --date 20260315 --language CAT"),
            0);
  const std::string data = std::string(ZUR_SOURCE_DIR) + "/tests/e2e/data/";
  EXPECT_EQ(Shell(Zurdata(root, "init >/dev/null")), 0);
  for (const char* kind : kKinds) {
    EXPECT_EQ(Shell(Zurdata(root, "import ") + kind + " '" + data + kind + ".csv' >/dev/null"), 0);
  }
  WriteFile(root + "bin/zurprint", printer);
  ::chmod((root + "bin/zurprint").c_str(), 0755);
  return root;
}

std::unique_ptr<TmuxSession> StartModule(const std::string& root, const std::string& workDir,
                                         const std::string& database = "") {
  TmuxOptions options;
  options.command = {ZUR_PLECAVUN};
  options.environment = {{"ZURROOT", root},
                         {"ZUREXE", root + "bin/"},
                         {"ZURTMP", workDir},
                         {"ZURTODAY", "2026-03-15"},
                         {"ZURDB", database}};
  options.workingDirectory = root;
  return std::make_unique<TmuxSession>(options);
}

class FaultsEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TmuxSession::Available()) GTEST_SKIP() << "tmux is not installed";
  }

  void Start() {
    session_ = StartModule(root_, root_ + "TMP/");
    ASSERT_TRUE(session_->Started()) << session_->Error();
    ASSERT_TRUE(session_->WaitForText(kDateLabel, kWait)) << session_->LastScreen();
  }

  // The reminder letters to every owner with pending receipts: the template typed
  // in the second field, Enter through the rest, confirmed.
  void RunBatch() {
    session_->SendKeys({"Enter", "C-y"});
    session_->SendText("RECORDA");
    std::vector<std::string> keys(14, "Enter");
    session_->SendKeys(keys);
    ASSERT_TRUE(session_->WaitForText(kConfirmation, kWait)) << session_->LastScreen();
    session_->SendKeys({"Enter"});
  }

  // Puts the notice away and waits for the selection screen.
  void BackToSelection(const std::string& notice) {
    session_->SendKeys({"Enter"});
    ASSERT_TRUE(session_->WaitFor(
        [&](const std::string& screen) {
          return screen.find(notice) == std::string::npos &&
                 screen.find(kDateLabel) != std::string::npos;
        },
        kWait))
        << session_->LastScreen();
  }

  void Leave() {
    session_->SendKeys({"Escape"});
    std::optional<int> code = session_->WaitForExit(kWait);
    ASSERT_TRUE(code.has_value()) << session_->LastScreen();
    EXPECT_EQ(*code, 0) << session_->CaptureWithHistory();
  }

  TempDir dir_;
  std::string root_;
  std::unique_ptr<TmuxSession> session_;
};

TEST_F(FaultsEndToEnd, WorkFilesOnAFullDiskStopTheBatchAndAreReported) {
  struct Case {
    const char* file;
    const char* message;  // as the screen shows it
  };
  const Case cases[] = {
      {"zurprint.tmp", "NO ES POT ESCRIURE EL FITXER D'IMPRESSIÓ"},
      {"merge.tmp", "NO ES POT ESCRIURE EL FITXER"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    TempDir dir;
    root_ = Install(dir, kCountingPrinter);
    const auto before = Exports(root_);
    ASSERT_EQ(::symlink("/dev/full", (root_ + "TMP/" + c.file).c_str()), 0);
    Start();
    RunBatch();
    ASSERT_TRUE(session_->WaitForText(c.message, kWait)) << session_->LastScreen();
    EXPECT_EQ(session_->LastScreen().find(kPrinted), std::string::npos);
    BackToSelection(c.message);
    Leave();
    session_.reset();
    // The print program never ran: the batch was not handed on as printed.
    EXPECT_FALSE(ReadFile(root_ + "TMP/count").has_value());
    EXPECT_EQ(Exports(root_), before);
  }
}

TEST_F(FaultsEndToEnd, RecordFileRemovedOrReplacedWhileTheModuleRuns) {
  struct Case {
    const char* name;
    const char* change;  // shell commands run in DADES while the module waits
  };
  const Case cases[] = {
      {"owners removed", "rm -f PropietH.dat"},
      {"owners replaced by a copy", "mv PropietH.dat PropietH.old && cp PropietH.old PropietH.dat"},
      {"receipts replaced by another file",
       "mv CobramH.dat CobramH.old && cp FinquesH.dat CobramH.dat"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    root_ = Install(dir, kCountingPrinter);
    auto before = Exports(root_);
    Start();
    ASSERT_EQ(Shell("cd '" + root_ + "DADES' && " + c.change), 0);
    RunBatch();
    // The batch is printed from what the module holds open, or a message says why
    // not; either way the module goes on and leaves normally.
    ASSERT_TRUE(session_->WaitFor(
        [](const std::string& screen) {
          return screen.find(kPrinted) != std::string::npos ||
                 screen.find("ERROR") != std::string::npos ||
                 screen.find("NO ES POT") != std::string::npos;
        },
        kWait))
        << session_->LastScreen();
    std::string notice = "NO ES POT";
    for (const char* seen : {kPrinted, "ERROR"}) {
      if (session_->LastScreen().find(seen) != std::string::npos) notice = seen;
    }
    BackToSelection(notice);
    Leave();
    session_.reset();
    // What was moved aside is whole, and so is every file left in place.
    auto after = Exports(root_);
    if (std::string(c.change).rfind("rm ", 0) == 0) {
      EXPECT_EQ(after["owners"], "<failed>");
      after.erase("owners");
      before.erase("owners");
    }
    if (std::string(c.name).find("another file") != std::string::npos) {
      ASSERT_EQ(Shell("cd '" + root_ + "DADES' && mv CobramH.old CobramH.dat"), 0);
      after = Exports(root_);
    }
    EXPECT_EQ(after, before);
    if (std::string(c.name).find("by a copy") != std::string::npos) {
      ASSERT_EQ(Shell("cd '" + root_ + "DADES' && mv PropietH.old PropietH.dat"), 0);
      EXPECT_EQ(Exports(root_), before);
    }
  }
}

TEST(FaultsZurdata, ImportKilledHalfWayLeavesTheFileAsBeforeAndCanBeRerun) {
  TempDir dir;
  const std::string root = dir.path();
  const std::string data = std::string(ZUR_SOURCE_DIR) + "/tests/e2e/data/";
  ASSERT_EQ(Shell(Zurdata(root, "init >/dev/null")), 0);
  ASSERT_EQ(Shell(Zurdata(root, "import receipts '" + data + "receipts.csv' >/dev/null")), 0);
  const std::string before = Output(Zurdata(root, "export receipts"));
  ASSERT_NE(before, "<failed>");

  // Far more rows than one read of the import takes, so that the import is in the
  // middle of its transaction when the rows stop coming.
  std::string rows = "property,owner,date,amount,state\n";
  for (int i = 0; i < 40000; ++i) {
    rows += std::to_string(1 + i % 5) + "," + std::to_string(1 + i % 97) + ",2026-" +
            (i % 12 < 9 ? "0" : "") + std::to_string(1 + i % 12) + "-1" + std::to_string(i % 9) +
            "," + std::to_string(i % 500) + ".25,P\n";
  }
  const std::string fifo = root + "rows.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ChildProcess import({ZUR_ZURDATA, "--root", root, "import", "receipts", fifo});
  const int fd = ::open(fifo.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  // Half the rows; the write returns once the import has read all but a pipe's worth.
  const size_t half = rows.size() / 2;
  size_t written = 0;
  while (written < half) {
    const ssize_t n = ::write(fd, rows.data() + written, half - written);
    ASSERT_GT(n, 0);
    written += static_cast<size_t>(n);
  }
  // The import waits for more rows and cannot end: it is killed where it stands.
  EXPECT_EQ(import.Wait(100), -1);
  ::close(fd);

  EXPECT_EQ(Output(Zurdata(root, "export receipts")), before);
  EXPECT_NE(Output(Zurdata(root, "stat receipts")), "<failed>");

  // The same rows again, from a plain file: the import goes through, as it does on an
  // installation that never saw the killed one.
  WriteFile(root + "rows.csv", rows);
  ASSERT_EQ(Shell(Zurdata(root, "import receipts '" + root + "rows.csv' >/dev/null")), 0);
  TempDir cleanDir;
  const std::string clean = cleanDir.path();
  ASSERT_EQ(Shell(Zurdata(clean, "init >/dev/null")), 0);
  ASSERT_EQ(Shell(Zurdata(clean, "import receipts '" + data + "receipts.csv' >/dev/null")), 0);
  ASSERT_EQ(Shell(Zurdata(clean, "import receipts '" + root + "rows.csv' >/dev/null")), 0);
  const std::string after = Output(Zurdata(root, "export receipts"));
  EXPECT_NE(after, before);
  EXPECT_EQ(after, Output(Zurdata(clean, "export receipts")));
}

TEST_F(FaultsEndToEnd, AHangingPrintProgramIsWaitedForAndTheModuleTakesKeysOnceItEnds) {
  root_ = Install(dir_, kHangingPrinter);
  Start();
  RunBatch();
  const std::string pidFile = root_ + "TMP/printer.pid";
  ASSERT_TRUE(WaitForFile(pidFile, kWait));
  const int pid = std::atoi(ReadFile(pidFile).value_or("0").c_str());
  ASSERT_GT(pid, 0);
  // The module waits for it: alive, and no notice of the print yet.
  const int module = session_->ProgramPid();
  ASSERT_GT(module, 0);
  EXPECT_EQ(::kill(module, 0), 0);
  EXPECT_EQ(session_->Capture().find("IMPRESSI"), std::string::npos);
  ASSERT_EQ(::kill(pid, SIGKILL), 0);
  // The operator is told that the print did not finish, and the module goes on.
  ASSERT_TRUE(session_->WaitForText("EL PROGRAMA D'IMPRESSIÓ HA FALLAT", kWait))
      << session_->LastScreen();
  BackToSelection("HA FALLAT");
  Leave();
  // The operator's work is kept for another try.
  EXPECT_TRUE(ReadFile(root_ + "TMP/zurprint.tmp").has_value());
}

TEST(FaultsStartUp, ADatabaseServerThatCannotBeReachedIsNamedAndTheModuleEnds) {
  if (!TmuxSession::Available()) GTEST_SKIP() << "tmux is not installed";
  TempDir dir;
  const std::string root = Install(dir, kCountingPrinter);
  // Nothing listens on port 1 of the loopback address: the connection is refused at once.
  std::unique_ptr<TmuxSession> session =
      StartModule(root, root + "TMP/", "postgresql://zur@127.0.0.1:1/zur?connect_timeout=5");
  ASSERT_TRUE(session->Started()) << session->Error();
  ASSERT_TRUE(session->WaitForText("NO ES POT ACCEDIR AL FITXER", kWait)) << session->LastScreen();
  EXPECT_NE(session->LastScreen().find("(20)"), std::string::npos) << session->LastScreen();
  session->SendKeys({"Enter"});
  std::optional<int> code = session->WaitForExit(kWait);
  ASSERT_TRUE(code.has_value()) << session->LastScreen();
  EXPECT_EQ(*code, 0);
  // After the window, the server's own words name the address that failed.
  EXPECT_TRUE(session->WaitForTextWithHistory("plecavun: ", kWait)) << session->LastScreen();
  EXPECT_NE(session->LastScreen().find("127.0.0.1"), std::string::npos) << session->LastScreen();
}

TEST(FaultsStartUp, AWorkFolderThatTakesNoFilesStopsTheModuleWithItsMessage) {
  TempDir dir;
  const std::string root = Install(dir, kCountingPrinter);
  ASSERT_EQ(::mkdir((root + "LOCKED").c_str(), 0555), 0);
  struct Case {
    const char* name;
    std::string workDir;
    bool needsUnprivileged;  // permission bits do not bind a privileged user
  };
  const Case cases[] = {
      {"missing folder", root + "NOWHERE/", false},
      {"a file, not a folder", root + "Orva.ini/", false},
      {"read-only folder", root + "LOCKED/", true},
      {"a file system that takes no files", "/sys/", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.needsUnprivileged && ::geteuid() == 0) continue;
    if (c.workDir == "/sys/" && ::access("/sys", F_OK) != 0) continue;
    std::unique_ptr<TmuxSession> session = StartModule(root, c.workDir);
    ASSERT_TRUE(session->Started()) << session->Error();
    std::optional<int> code = session->WaitForExit(kWait);
    ASSERT_TRUE(code.has_value()) << session->LastScreen();
    EXPECT_EQ(*code, 1);
    // The message is written as the module ends; tmux may show it a moment after the
    // exit code is known, and the pane's last lines may have scrolled it off the top.
    EXPECT_TRUE(
        session->WaitForTextWithHistory("NO ES POT ESCRIURE A LA CARPETA DE TREBALL", kWait))
        << session->LastScreen();
  }
}

}  // namespace

namespace {

// A program in tmux that reports like a sanitizer does, to the log path it is given:
// the session finds the report (and would fail the test at its end).
TEST(SanitizerReports, AReportOfTheProgramInTmuxIsNotLost) {
  if (!TmuxSession::Available()) GTEST_SKIP() << "tmux is not installed";
  for (const char* variable : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
    SCOPED_TRACE(variable);
    TmuxOptions options;
    options.command = {"/bin/sh", "-c",
                       std::string("p=${") + variable +
                           "##*log_path=}; echo 'ERROR: Sanitizer: report' > \"$p.4242\""};
    TmuxSession session(options);
    ASSERT_TRUE(session.Started()) << session.Error();
    ASSERT_TRUE(session.WaitForExit(kWait).has_value());
    EXPECT_NE(session.SanitizerReports().find("ERROR: Sanitizer: report"), std::string::npos);
    EXPECT_EQ(session.SanitizerReports(), "");
  }
}

}  // namespace
