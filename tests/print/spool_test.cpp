#include "print/spool.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "session/session.h"
#include "tests/support/temp_dir.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;

class SpoolTest : public ::testing::Test {
 protected:
  SpoolTest() {
    session::ResetSession();
    print::ResetSpool();
    session::Session().workDir = dir_.path();
  }
  ~SpoolTest() override {
    print::ResetSpool();
    session::ResetSession();
  }
  std::string Written() { return ReadFile(dir_ / "zurprint.tmp").value_or("<missing>"); }

  TempDir dir_;
};

TEST_F(SpoolTest, EmptyBatchIsTheDeviceLineOnly) {
  ASSERT_TRUE(print::OpenSpool("PDF:out.pdf"));
  ASSERT_TRUE(print::CloseSpool());
  EXPECT_EQ(Written(), "DEVICEPDF:out.pdf\r\n");
}

TEST_F(SpoolTest, LineKinds) {
  ASSERT_TRUE(print::OpenSpool(""));
  print::SpoolPage(66);
  print::SpoolCommand("@e");
  print::SpoolText(12, "Total", 1);
  print::SpoolText(0, "a,b\tc", 0);
  print::SpoolText(-3, "", -2);
  ASSERT_TRUE(print::CloseSpool());
  EXPECT_EQ(Written(),
            "DEVICE\r\n"
            "PAGE 66 \r\n"
            "*@e\r\n"
            " 12 ,Total, 1 \r\n"
            " 0 ,a,b c, 0 \r\n"
            "-3 ,,-2 \r\n");
}

TEST_F(SpoolTest, NumbersAcrossTheirWholeRange) {
  ASSERT_TRUE(print::OpenSpool(""));
  print::SpoolPage(32767);
  print::SpoolText(-32768, "x", 0);
  print::SpoolText(32767, "", 0);
  print::SpoolText(0, "", 10);
  print::SpoolText(-1, "", -10);
  print::SpoolPage(-32768);
  ASSERT_TRUE(print::CloseSpool());
  EXPECT_EQ(Written(),
            "DEVICE\r\n"
            "PAGE 32767 \r\n"
            "-32768 ,x, 0 \r\n"
            " 32767 ,, 0 \r\n"
            " 0 ,, 10 \r\n"
            "-1 ,,-10 \r\n"
            "PAGE-32768 \r\n");
}

TEST_F(SpoolTest, TextNeverCarriesControlBytes) {
  ASSERT_TRUE(print::OpenSpool(""));
  print::SpoolPage(66);
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  all.push_back('\0');
  print::SpoolText(1, all, 1);
  ASSERT_TRUE(print::CloseSpool());
  std::string text = Written();
  std::string line = text.substr(text.find(" 1 ,") + 4);
  line = line.substr(0, line.size() - 2);  // without CR LF
  ASSERT_EQ(line.size(), 256u + 4);
  for (size_t i = 0; i < 256; ++i) {
    unsigned char u = static_cast<unsigned char>(line[i]);
    EXPECT_FALSE(u < 32 || u == 127 || u == 255) << "byte at " << i;
  }
}

TEST_F(SpoolTest, Justification) {
  struct Case {
    std::string code;
    std::string normal;
  } cases[] = {
      {"r", "D"},
      {"D", "D"},
      {"B", "A"},
      {"a", "A"},
      {"c", "C"},
      {"x", "E"},
      {"", "E"},
      {"  i ", "E"},
      {"N 96 \\-\\", "N 96 \\-\\"},
      {"n-12.7 \\.\\ tail", "N 12 \\.\\"},
      {"N 5", "N 5 "},
      {"N 5 \\open", "N 5 \\open"},
  };
  ASSERT_TRUE(print::OpenSpool(""));
  std::string expected = "DEVICE\r\n";
  for (Case c : cases) {
    std::string code = c.code;
    print::SpoolJustify(code);
    EXPECT_EQ(code, c.normal) << c.code;
    expected += "JUS" + c.normal + "\r\n";
  }
  ASSERT_TRUE(print::CloseSpool());
  EXPECT_EQ(Written(), expected);
}

TEST_F(SpoolTest, PageCountingAndAutomaticBreaks) {
  ASSERT_TRUE(print::OpenSpool(""));
  auto& s = print::Spool();
  print::SpoolText(5, "a", 0);  // no page yet: an automatic "PAGE 0" first
  EXPECT_EQ(s.pageLength, 0);
  EXPECT_EQ(s.column, 6);
  print::SpoolPage(2);
  print::SpoolText(3, "abc", 0);
  EXPECT_EQ(s.column, 6);
  print::SpoolText(0, "de", 0);
  EXPECT_EQ(s.column, 8);
  print::SpoolText(0, "", 2);
  EXPECT_EQ(s.lineCount, 2);
  EXPECT_EQ(s.column, 0);
  print::SpoolText(1, "x", 1);  // the page is full: "PAGE 2" again first
  EXPECT_EQ(s.lineCount, 1);
  ASSERT_TRUE(print::CloseSpool());
  EXPECT_EQ(Written(),
            "DEVICE\r\nPAGE 0 \r\n 5 ,a, 0 \r\nPAGE 2 \r\n 3 ,abc, 0 \r\n 0 ,de, 0 \r\n"
            " 0 ,, 2 \r\nPAGE 2 \r\n 1 ,x, 1 \r\n");
}

TEST_F(SpoolTest, StateCarriesOverToTheNextBatchAndTheFileIsRewritten) {
  ASSERT_TRUE(print::OpenSpool("A"));
  print::SpoolPage(10);
  print::SpoolText(1, "x", 3);
  ASSERT_TRUE(print::CloseSpool());
  ASSERT_TRUE(print::OpenSpool("B"));
  EXPECT_EQ(print::Spool().pageLength, 10);
  EXPECT_EQ(print::Spool().lineCount, 3);
  ASSERT_TRUE(print::CloseSpool());
  EXPECT_EQ(Written(), "DEVICEB\r\n");
}

TEST_F(SpoolTest, FailuresAreReportedNeverCalledSuccess) {
  session::Session().workDir = dir_ / "missing/";
  EXPECT_FALSE(print::OpenSpool(""));
  EXPECT_FALSE(print::CloseSpool());

  session::Session().workDir = dir_.path();
  ASSERT_EQ(::symlink("/dev/full", (dir_ / "zurprint.tmp").c_str()), 0);
  if (print::OpenSpool("")) {
    print::SpoolPage(66);
    print::SpoolText(1, "lost", 1);
    EXPECT_FALSE(print::CloseSpool());
  }
}

}  // namespace
