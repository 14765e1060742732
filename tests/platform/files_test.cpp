#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/binary_file.h"
#include "platform/text_file.h"
#include "tests/support/temp_dir.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

std::vector<std::string> AllLines(const std::string& path) {
  platform::TextReader in;
  EXPECT_TRUE(in.Open(path));
  std::vector<std::string> lines;
  std::string line;
  while (in.ReadLine(line)) lines.push_back(line);
  return lines;
}

TEST(TextReader, LineEnds) {
  struct Case {
    std::string bytes;
    std::vector<std::string> lines;
  } cases[] = {
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb\n", {"a", "b"}},
      {"a\r\nb", {"a", "b"}},               // last line without an end
      {"a\r\n\x1a" "b\r\n", {"a"}},         // Ctrl-Z ends the file
      {"a\x1a", {"a"}},
      {"", {}},
      {"\r\n\r\n", {"", ""}},
      {std::string("x\0y\r\n", 5), {std::string("x\0y", 3)}},  // NUL is data
  };
  TempDir dir;
  for (const Case& c : cases) {
    WriteFile(dir / "t.txt", c.bytes);
    EXPECT_EQ(AllLines(dir / "t.txt"), c.lines);
  }
}

TEST(TextReader, HostileFilesNeverHang) {
  TempDir dir;
  std::string huge(3 * platform::kMaxLineBytes, 'x');
  WriteFile(dir / "huge.txt", huge + "\r\nend");
  auto lines = AllLines(dir / "huge.txt");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), platform::kMaxLineBytes);  // cut, not grown without bound
  EXPECT_EQ(lines[1], "end");

  platform::TextReader in;
  EXPECT_FALSE(in.Open(dir.path()));  // a folder
  EXPECT_FALSE(in.Open(dir / "missing.txt"));
  if (::geteuid() != 0) {
    WriteFile(dir / "locked.txt", "x");
    ::chmod((dir / "locked.txt").c_str(), 0);
    EXPECT_FALSE(in.Open(dir / "locked.txt"));
  }
}

TEST(TextReader, SeekBackRereadsAndClearsTheEnd) {
  TempDir dir;
  WriteFile(dir / "t.txt", "one\r\ntwo\r\n\x1a");
  platform::TextReader in;
  ASSERT_TRUE(in.Open(dir / "t.txt"));
  std::string line;
  ASSERT_TRUE(in.ReadLine(line));
  long long afterFirst = in.Tell();
  EXPECT_EQ(afterFirst, 5);
  ASSERT_TRUE(in.ReadLine(line));
  EXPECT_FALSE(in.ReadLine(line));
  ASSERT_TRUE(in.Seek(afterFirst));
  ASSERT_TRUE(in.ReadLine(line));
  EXPECT_EQ(line, "two");
}

TEST(TextWriter, WritesCrLfAndReportsFailures) {
  TempDir dir;
  platform::TextWriter out;
  ASSERT_TRUE(out.Create(dir / "o.txt"));
  out.WriteLine("a,b");
  out.Write("c");
  EXPECT_TRUE(out.Close());
  EXPECT_EQ(*ReadFile(dir / "o.txt"), "a,b\r\nc");

  EXPECT_FALSE(out.Create(dir / "no-such-folder/o.txt"));
  EXPECT_FALSE(out.Close());  // nothing open is not a success

  ASSERT_EQ(::symlink("/dev/full", (dir / "full.txt").c_str()), 0);
  ASSERT_TRUE(out.Create(dir / "full.txt"));
  out.WriteLine("this cannot reach the disk");
  EXPECT_FALSE(out.Close());
}

TEST(BinaryFile, ReadsAndWritesAtOffsets) {
  TempDir dir;
  platform::BinaryFile f;
  EXPECT_FALSE(f.Open(dir / "missing.bin", platform::BinaryFile::Mode::kRead));
  ASSERT_TRUE(f.Open(dir / "b.bin", platform::BinaryFile::Mode::kReadWrite));
  EXPECT_EQ(f.Length(), 0);
  ASSERT_TRUE(f.WriteAt(4, "WXYZ", 4));
  ASSERT_TRUE(f.WriteAt(0, "abcd", 4));
  EXPECT_EQ(f.Length(), 8);
  char buf[16] = {};
  EXPECT_EQ(f.ReadAt(2, buf, 4), 4);
  EXPECT_EQ(std::string(buf, 4), "cdWX");
  EXPECT_EQ(f.ReadAt(6, buf, 16), 2);  // short read at the end
  EXPECT_EQ(f.ReadAt(100, buf, 4), 0);
  ASSERT_TRUE(f.Truncate(3));
  EXPECT_EQ(f.Length(), 3);
  f.Close();
  EXPECT_FALSE(f.Open(dir.path(), platform::BinaryFile::Mode::kRead));  // a folder
}

}  // namespace
