#include "tools/zurprint/spool_line.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/temp_dir.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;
using zurprint::ParseSpoolLine;
using zurprint::SpoolFileReader;
using zurprint::SpoolLine;
using zurprint::SpoolLineKind;

TEST(ParseSpoolLine, LineKinds) {
  struct Case {
    std::string line;
    SpoolLineKind kind;
    std::string text;
    long number, startColumn, advance;
  } cases[] = {
      {"DEVICEPDF:out.pdf", SpoolLineKind::kDevice, "PDF:out.pdf", 0, 0, 0},
      {"DEVICE", SpoolLineKind::kDevice, "", 0, 0, 0},
      {"PAGE 66 ", SpoolLineKind::kPage, "", 66, 0, 0},
      {"PAGE-5 ", SpoolLineKind::kPage, "", -5, 0, 0},
      {"PAGE 99999999999999 ", SpoolLineKind::kPage, "", zurprint::kMaxSpoolNumber, 0, 0},
      {"*@e", SpoolLineKind::kCommand, "@e", 0, 0, 0},
      {"JUSD", SpoolLineKind::kJustify, "", 0, 0, 0},
      {" 12 ,Total, 1 ", SpoolLineKind::kText, "Total", 0, 12, 1},
      {" 0 ,, 0 ", SpoolLineKind::kText, "", 0, 0, 0},
      {"-3 ,,-2 ", SpoolLineKind::kText, "", 0, -3, -2},
      // The text runs from the first comma to the last one.
      {" 5 ,a,b,,c, 2 ", SpoolLineKind::kText, "a,b,,c", 0, 5, 2},
      {"1,x,1", SpoolLineKind::kText, "x", 0, 1, 1},
  };
  for (const Case& c : cases) {
    SpoolLine out;
    std::string reason;
    ASSERT_TRUE(ParseSpoolLine(c.line, out, reason)) << c.line << ": " << reason;
    EXPECT_EQ(out.kind, c.kind) << c.line;
    EXPECT_EQ(out.text, c.text) << c.line;
    if (c.kind == SpoolLineKind::kPage) {
      EXPECT_EQ(out.number, c.number) << c.line;
    }
    if (c.kind == SpoolLineKind::kText) {
      EXPECT_EQ(out.startColumn, c.startColumn) << c.line;
      EXPECT_EQ(out.advance, c.advance) << c.line;
    }
  }
}

TEST(ParseSpoolLine, Justification) {
  struct Case {
    std::string line;
    char code;
    long fillColumn;
    std::string fill;
  } cases[] = {
      {"JUSE", 'E', 0, ""},
      {"JUSD", 'D', 0, ""},
      {"JUSr", 'D', 0, ""},
      {"JUSC", 'C', 0, ""},
      {"JUSA", 'A', 0, ""},
      {"JUS b", 'A', 0, ""},
      {"JUSx", 'E', 0, ""},
      {"JUS", 'E', 0, ""},
      {"JUSN 96 \\-\\", 'N', 96, "-"},
      {"JUSN -12 \\.:\\ rest", 'N', 12, ".:"},
      {"JUSN 40 \\open", 'N', 40, "open"},
      {"JUSN 40", 'N', 40, ""},
      {"JUSN", 'N', 0, ""},
  };
  for (const Case& c : cases) {
    SpoolLine out;
    std::string reason;
    ASSERT_TRUE(ParseSpoolLine(c.line, out, reason)) << c.line;
    ASSERT_EQ(out.kind, SpoolLineKind::kJustify) << c.line;
    EXPECT_EQ(out.justification.code, c.code) << c.line;
    EXPECT_EQ(out.justification.fillColumn, c.fillColumn) << c.line;
    EXPECT_EQ(out.justification.fill, c.fill) << c.line;
  }
}

TEST(ParseSpoolLine, RefusesWhatIsNoSpoolLine) {
  const char* bad[] = {
      "",
      "hello",
      "12",
      " 12 ,only one comma",
      "x,text,1",
      " 1 ,text,",
      " 1 ,text,x ",
      " ,text, 1 ",
      "PAGE",
      "PAGE x",
      "PAGE 5 6",
      "1 2,text,1",
      "\xff\xfe,\x01,",
  };
  for (const char* line : bad) {
    SpoolLine out;
    std::string reason;
    EXPECT_FALSE(ParseSpoolLine(line, out, reason)) << line;
    EXPECT_FALSE(reason.empty()) << line;
  }
}

std::vector<std::string> ReadAll(const std::string& path, SpoolFileReader::Result* last) {
  SpoolFileReader reader;
  std::string reason;
  EXPECT_TRUE(reader.Open(path, reason)) << reason;
  std::vector<std::string> lines;
  std::string line;
  SpoolFileReader::Result r;
  while ((r = reader.ReadLine(line)) == SpoolFileReader::Result::kLine) lines.push_back(line);
  if (last != nullptr) *last = r;
  return lines;
}

TEST(SpoolFileReader, LineEnds) {
  TempDir dir;
  struct Case {
    std::string bytes;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb", {"a", "b"}},
      {"a\r\n\r\nb\n", {"a", "", "b"}},
      {"a\r\nb\x1a"
       "c\r\n",
       {"a", "b"}},
      {"a\r\n\x1a", {"a"}},
      {"a\rb\r\n", {"a\rb"}},
  };
  for (const Case& c : cases) {
    WriteFile(dir / "spool", c.bytes);
    SpoolFileReader::Result last;
    EXPECT_EQ(ReadAll(dir / "spool", &last), c.lines) << testing::PrintToString(c.bytes);
    EXPECT_EQ(last, SpoolFileReader::Result::kEnd);
  }
}

TEST(SpoolFileReader, LinesAcrossReadChunks) {
  TempDir dir;
  std::string bytes;
  std::vector<std::string> expected;
  for (int i = 0; i < 20000; ++i) {
    expected.push_back(" 1 ," + std::string(static_cast<size_t>(i % 97), 'x') + ", 1 ");
    bytes += expected.back() + "\r\n";
  }
  WriteFile(dir / "spool", bytes);
  EXPECT_EQ(ReadAll(dir / "spool", nullptr), expected);
}

TEST(SpoolFileReader, RefusesLinesLongerThanTheLimit) {
  TempDir dir;
  const std::string longest(zurprint::kMaxSpoolLineBytes, 'x');
  WriteFile(dir / "spool", "a\r\n" + longest + "\r\n" + longest + "y\r\nb\r\n");
  SpoolFileReader reader;
  std::string reason, line;
  ASSERT_TRUE(reader.Open(dir / "spool", reason));
  EXPECT_EQ(reader.ReadLine(line), SpoolFileReader::Result::kLine);
  EXPECT_EQ(reader.ReadLine(line), SpoolFileReader::Result::kLine);
  EXPECT_EQ(line.size(), longest.size());
  EXPECT_EQ(reader.ReadLine(line), SpoolFileReader::Result::kTooLong);
  EXPECT_EQ(reader.lineNumber(), 3);
  // The reader goes on after the refused line.
  EXPECT_EQ(reader.ReadLine(line), SpoolFileReader::Result::kLine);
  EXPECT_EQ(line, "b");
}

TEST(SpoolFileReader, OpenFailures) {
  TempDir dir;
  SpoolFileReader reader;
  std::string reason;
  EXPECT_FALSE(reader.Open(dir / "missing", reason));
  EXPECT_FALSE(reason.empty());
  reason.clear();
  EXPECT_FALSE(reader.Open(dir.path(), reason));
  EXPECT_FALSE(reason.empty());
}

}  // namespace
