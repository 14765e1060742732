#include "tools/zurprint/print_job.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

using testing_support::ReadFile;
using testing_support::ScopedCurrentDir;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteFile;
using zurprint::OutputTarget;
using zurprint::PrintOutcome;
using zurprint::PrintSpool;
using zurprint::TargetKind;

// A spool file: the device line, then the lines given, each ended by CR LF.
std::string SpoolBytes(const std::string& device, const std::vector<std::string>& lines) {
  std::string bytes = "DEVICE" + device + "\r\n";
  for (const std::string& l : lines) bytes += l + "\r\n";
  return bytes;
}

const std::vector<std::string> kTwoPages = {"PAGE 66 ", "*@e", " 1 ,first, 1 ", "PAGE 66 ",
                                            " 1 ,second, 1 "};

// Names in the folder that begin with "." (left-over temporary files).
std::vector<std::string> HiddenFiles(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    std::string name = e.path().filename().string();
    if (!name.empty() && name[0] == '.') names.push_back(name);
  }
  return names;
}

bool IsPdf(const std::string& path) {
  std::string bytes = ReadFile(path).value_or("");
  return bytes.rfind("%PDF-", 0) == 0 && bytes.find("%%EOF") != std::string::npos;
}

TEST(ParseDevice, Targets) {
  TempDir dir;
  ScopedCurrentDir cwd(dir.path());
  std::filesystem::create_directories(dir / "out");
  const std::string work = dir / "work/";
  struct Case {
    std::string device;
    TargetKind kind;
    std::string path;
    std::string printer;
  } cases[] = {
      {"", TargetKind::kPdf, work + "zurprint.pdf", ""},
      {"   ", TargetKind::kPdf, work + "zurprint.pdf", ""},
      {"PDF:letters.pdf", TargetKind::kPdf, "letters.pdf", ""},
      {"pdf: letters.pdf ", TargetKind::kPdf, "letters.pdf", ""},
      {"PDF:", TargetKind::kPdf, work + "zurprint.pdf", ""},
      {"PDF:OUT\\Carta.pdf", TargetKind::kPdf, "out/Carta.pdf", ""},
      {"TXT:labels.txt", TargetKind::kText, "labels.txt", ""},
      {"TXT:", TargetKind::kText, work + "zurprint.txt", ""},
      {"Oficina_1", TargetKind::kPrinter, work + "zurprint.pdf", "Oficina_1"},
      {" HP-LaserJet ", TargetKind::kPrinter, work + "zurprint.pdf", "HP-LaserJet"},
  };
  for (const Case& c : cases) {
    OutputTarget target;
    std::string reason;
    ASSERT_TRUE(zurprint::ParseDevice(c.device, work, target, reason)) << c.device << reason;
    EXPECT_EQ(target.kind, c.kind) << c.device;
    EXPECT_EQ(target.path, c.path) << c.device;
    EXPECT_EQ(target.printer, c.printer) << c.device;
  }
}

TEST(ParseDevice, RefusesWhatNoPrinterQueueIsCalled) {
  const std::string bad[] = {"two words",
                             "a/b",
                             "a\\b",
                             "queue#1",
                             "tab\there",
                             "caf\x82",
                             std::string(128, 'p'),
                             "-",
                             std::string("nul\0x", 5)};
  for (const std::string& device : bad) {
    OutputTarget target;
    std::string reason;
    bool ok = zurprint::ParseDevice(device, "/tmp/", target, reason);
    if (device == "-") {
      // A name lp takes as the argument of -d, never as an option.
      EXPECT_TRUE(ok);
      continue;
    }
    EXPECT_FALSE(ok) << device;
    EXPECT_NE(reason.find("printer name"), std::string::npos) << reason;
  }
}

class PrintSpoolTest : public ::testing::Test {
 protected:
  PrintSpoolTest() : cwd_(dir_.path()) {
    std::filesystem::create_directories(work_);
    std::filesystem::create_directories(bin_);
  }
  PrintOutcome Print(const std::string& device, const std::vector<std::string>& lines) {
    WriteFile(spool_, SpoolBytes(device, lines));
    return PrintSpool(spool_, work_);
  }
  // A stand-in for lp first on PATH: it records its arguments, keeps a copy of the file
  // it was given and exits with the code in FAKE_LP_EXIT.
  void InstallFakeLp() {
    WriteFile(bin_ + "lp",
              "#!/bin/sh\n"
              "printf '%s\\n' \"$@\" > \"" +
                  work_ +
                  "lp-args\"\n"
                  "/bin/cp \"$3\" \"" +
                  work_ +
                  "lp-copy.pdf\"\n"
                  "exit ${FAKE_LP_EXIT:-0}\n");
    ::chmod((bin_ + "lp").c_str(), 0755);
  }

  TempDir dir_;
  ScopedCurrentDir cwd_;
  const std::string work_ = dir_ / "work/";
  const std::string bin_ = dir_ / "bin/";
  const std::string spool_ = dir_ / "work/zurprint.tmp";
};

TEST_F(PrintSpoolTest, PdfInTheWorkFolderByDefault) {
  PrintOutcome r = Print("", kTwoPages);
  EXPECT_EQ(r.exitCode, 0) << r.message;
  EXPECT_EQ(r.message, "2 pages written to " + work_ + "zurprint.pdf");
  EXPECT_TRUE(IsPdf(work_ + "zurprint.pdf"));
  EXPECT_TRUE(HiddenFiles(work_).empty());
}

TEST_F(PrintSpoolTest, PdfPathRelativeToTheCurrentFolder) {
  std::filesystem::create_directories(dir_ / "out");
  PrintOutcome r = Print("PDF:OUT\\Carta.pdf", {" 1 ,x, 1 "});
  EXPECT_EQ(r.exitCode, 0) << r.message;
  EXPECT_EQ(r.message, "1 page written to out/Carta.pdf");
  EXPECT_TRUE(IsPdf(dir_ / "out/Carta.pdf"));
  EXPECT_FALSE(std::filesystem::exists(work_ + "zurprint.pdf"));
}

TEST_F(PrintSpoolTest, PlainText) {
  // Code page 850: 0x87 is ç, 0xA0 á, 0xD5 the euro sign.
  PrintOutcome r =
      Print("TXT:labels.txt", {"PAGE 4 ", "*@e",
                               " 1 ,Fran\x87"
                               "a   , 0 ",
                               " 20 ,Tom\xa0s, 2 ", " 5 ,12 \xd5  , 1 ", "PAGE 0 ", " 1 ,, 1 ",
                               "*u", " 1 ,next,1", "PAGE 3 ", "JUSN 8 \\.\\", " 2 ,ab, 1 "});
  EXPECT_EQ(r.exitCode, 0) << r.message;
  EXPECT_EQ(r.message, "3 pages written to labels.txt");
  EXPECT_EQ(ReadFile(dir_ / "labels.txt").value_or(""),
            "França             Tomás\n"
            "\n"
            "    12 €\n"
            "\fnext\n"
            "\f ab....\n");
}

TEST_F(PrintSpoolTest, PrinterQueueThroughLp) {
  InstallFakeLp();
  ScopedEnv path("PATH", bin_ + ":/usr/bin:/bin");
  ScopedEnv exitCode("FAKE_LP_EXIT", "0");
  PrintOutcome r = Print("Oficina_1", kTwoPages);
  EXPECT_EQ(r.exitCode, 0) << r.message;
  EXPECT_EQ(r.message, "2 pages sent to printer Oficina_1");
  EXPECT_EQ(ReadFile(work_ + "lp-args").value_or(""), "-d\nOficina_1\n" + work_ + "zurprint.pdf\n");
  EXPECT_TRUE(IsPdf(work_ + "lp-copy.pdf"));
  // Once lp has the file, the PDF is not kept.
  EXPECT_FALSE(std::filesystem::exists(work_ + "zurprint.pdf"));
}

TEST_F(PrintSpoolTest, LpFailureKeepsThePdf) {
  InstallFakeLp();
  ScopedEnv path("PATH", bin_ + ":/usr/bin:/bin");
  ScopedEnv exitCode("FAKE_LP_EXIT", "3");
  PrintOutcome r = Print("Oficina_1", kTwoPages);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.message, "lp failed with exit code 3: 2 pages for printer Oficina_1 kept in " +
                           work_ + "zurprint.pdf");
  EXPECT_TRUE(IsPdf(work_ + "zurprint.pdf"));
}

TEST_F(PrintSpoolTest, MissingLpKeepsThePdf) {
  ScopedEnv path("PATH", bin_);
  PrintOutcome r = Print("Oficina_1", kTwoPages);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.message,
            "lp not found: 2 pages for printer Oficina_1 kept in " + work_ + "zurprint.pdf");
  EXPECT_TRUE(IsPdf(work_ + "zurprint.pdf"));
}

TEST_F(PrintSpoolTest, BadPrinterNameWritesNothing) {
  PrintOutcome r = Print("two words", kTwoPages);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.message.find("is not a printer name"), std::string::npos) << r.message;
  EXPECT_FALSE(std::filesystem::exists(work_ + "zurprint.pdf"));
}

TEST_F(PrintSpoolTest, NothingToPrint) {
  struct Case {
    std::string device;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"TXT:out.txt", {"PAGE 66 ", "*@", "*e", " 0 ,, 3 ", " 95 ,, 2 "}},
      {"Oficina_1", {}},
  };
  for (const Case& c : cases) {
    ScopedEnv path("PATH", bin_);
    PrintOutcome r = Print(c.device, c.lines);
    EXPECT_EQ(r.exitCode, 0) << r.message;
    EXPECT_EQ(r.message, "nothing to print: the spool " + spool_ + " holds no text");
    EXPECT_FALSE(std::filesystem::exists(work_ + "zurprint.pdf"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "out.txt"));
  }
}

TEST_F(PrintSpoolTest, SpoolErrors) {
  struct Case {
    const char* name;
    std::string bytes;  // nullopt-like: "<missing>" leaves no spool
    std::string message;
  } cases[] = {
      {"missing spool", "<missing>", "cannot read the spool " + spool_ + ": No such file"},
      {"empty spool", "", "the spool " + spool_ + " does not begin with a DEVICE line"},
      {"no device line", "PAGE 66 \r\n 1 ,x, 1 \r\n",
       "the spool " + spool_ + " does not begin with a DEVICE line"},
      {"random bytes", "\x89PNG\r\n\x1a\n\0\0", "does not begin with a DEVICE line"},
      {"a line that is no spool line", "DEVICE\r\nPAGE 66 \r\nhello\r\n",
       "spool " + spool_ + ", line 3: not a spool line"},
      {"a text line without commas", "DEVICE\r\n 1 text 1 \r\n", "line 2: not a spool line"},
      {"text beyond the last column", "DEVICE\r\n 30000 ,x, 1 \r\n",
       "line 2: text at column 30000 lies beyond the 250 columns a page holds"},
      {"a line of more than 1 MB",
       "DEVICE\r\n 1 ," + std::string(zurprint::kMaxSpoolLineBytes, ' ') + ", 1 \r\n",
       "line 2: longer than 1048576 bytes"},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(spool_);
    if (c.bytes != "<missing>") WriteFile(spool_, c.bytes);
    WriteFile(work_ + "zurprint.pdf", "old");
    PrintOutcome r = PrintSpool(spool_, work_);
    EXPECT_EQ(r.exitCode, 1) << c.name;
    EXPECT_NE(r.message.find(c.message), std::string::npos) << c.name << ": " << r.message;
    EXPECT_EQ(ReadFile(work_ + "zurprint.pdf").value_or(""), "old") << c.name;
    EXPECT_TRUE(HiddenFiles(work_).empty()) << c.name;
  }
}

TEST_F(PrintSpoolTest, SpoolThatIsAFolder) {
  std::filesystem::create_directories(spool_);
  PrintOutcome r = PrintSpool(spool_, work_);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.message.find("cannot read the spool"), std::string::npos) << r.message;
}

TEST_F(PrintSpoolTest, UnwritableTargets) {
  std::filesystem::create_directories(dir_ / "locked");
  std::filesystem::create_directories(dir_ / "folder.pdf");
  WriteFile(dir_ / "locked/old.pdf", "old");
  ::chmod((dir_ / "locked").c_str(), 0555);
  struct Case {
    std::string device;
    std::string message;
  } cases[] = {
      {"PDF:missing/letter.pdf", "cannot write missing/letter.pdf: No such file or directory"},
      {"TXT:missing/letter.txt", "cannot write missing/letter.txt: No such file or directory"},
      {"PDF:folder.pdf", "cannot write folder.pdf: Is a directory"},
  };
  for (const Case& c : cases) {
    PrintOutcome r = Print(c.device, kTwoPages);
    EXPECT_EQ(r.exitCode, 1) << c.device;
    EXPECT_EQ(r.message, c.message) << c.device;
    EXPECT_TRUE(HiddenFiles(dir_.path()).empty()) << c.device;
  }
  if (::geteuid() != 0) {
    // Permissions do not stop the superuser.
    PrintOutcome r = Print("PDF:locked/old.pdf", kTwoPages);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(ReadFile(dir_ / "locked/old.pdf").value_or(""), "old");
  }
}

TEST_F(PrintSpoolTest, NeverWritesOverTheSpool) {
  for (const std::string device : {"PDF:work/zurprint.tmp", "TXT:WORK\\ZURPRINT.TMP"}) {
    const std::string bytes = SpoolBytes(device, kTwoPages);
    WriteFile(spool_, bytes);
    PrintOutcome r = PrintSpool(spool_, work_);
    EXPECT_EQ(r.exitCode, 1) << device;
    EXPECT_NE(r.message.find("names the spool itself"), std::string::npos) << r.message;
    EXPECT_EQ(ReadFile(spool_).value_or(""), bytes) << device;
  }
}

TEST_F(PrintSpoolTest, TheWholeProgramFindsTheSpoolThroughTheSession) {
  ScopedEnv tmp("ZURTMP", work_);
  ScopedEnv root("ZURROOT", std::nullopt);
  ScopedEnv term("ZURTERM", std::nullopt);
  WriteFile(spool_, SpoolBytes("", kTwoPages));
  PrintOutcome r = zurprint::RunPrintProgram();
  EXPECT_EQ(r.exitCode, 0) << r.message;
  EXPECT_TRUE(IsPdf(work_ + "zurprint.pdf"));
}

}  // namespace
