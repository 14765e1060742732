#include "console/window_stack.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "console/colour.h"
#include "console/console_state.h"
#include "console/screen.h"
#include "platform/path.h"
#include "tests/support/memory_console.h"

namespace {

using namespace testing_support;

// Fills the screen with characters and colours that differ from cell to cell.
void Paint(platform::MemoryTerminal& t) {
  for (int16_t r = 1; r <= 25; ++r) {
    for (int16_t c = 1; c <= 80; ++c) {
      t.SetAttribute(static_cast<uint8_t>((r * 7 + c) % 256));
      t.MoveCursor(r, c);
      t.Write(std::string(1, static_cast<char>('!' + (r * 80 + c) % 90)));
    }
  }
}

std::vector<platform::Cell> Cells(const platform::MemoryTerminal& t) {
  std::vector<platform::Cell> cells;
  for (int16_t r = 1; r <= 25; ++r) {
    for (int16_t c = 1; c <= 80; ++c) cells.push_back(t.ReadCell(r, c));
  }
  return cells;
}

int32_t Header(const std::string& file) {
  return static_cast<int32_t>(static_cast<uint8_t>(file[0]) | (static_cast<uint8_t>(file[1]) << 8) |
                              (static_cast<uint8_t>(file[2]) << 16) |
                              (static_cast<uint32_t>(static_cast<uint8_t>(file[3])) << 24));
}

std::string HeaderBytes(int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 24)};
}

class WindowStack : public ::testing::Test {
 protected:
  std::string FilePath() const { return mc_.dir() / "WinPush.tmp"; }
  std::optional<std::string> File() const { return ReadFile(FilePath()); }

  MemoryConsole mc_;
};

TEST_F(WindowStack, AHelpSizedWindowWritesA3065ByteRecord) {
  Paint(mc_.terminal());
  mc_.terminal().MoveCursor(7, 9);
  console::PushWindow(4, 1, 22, 80);
  auto file = File();
  ASSERT_TRUE(file);
  ASSERT_EQ(file->size(), 4u + 3065u);
  EXPECT_EQ(Header(*file), 3070);
  EXPECT_EQ(file->substr(4, 20), "07090000000004012280");
  EXPECT_EQ(file->substr(file->size() - 5), "03065");
  // The first saved cell is (4, 1): character, then attribute.
  const platform::Cell first = mc_.terminal().ReadCell(4, 1);
  EXPECT_EQ(static_cast<uint8_t>((*file)[24]), first.character);
  EXPECT_EQ(static_cast<uint8_t>((*file)[25]), first.attribute);
  EXPECT_EQ(console::Console().window.windowDepth, 1);
  EXPECT_EQ(console::Console().window.currentWindow, (std::array<int16_t, 4>{4, 1, 22, 80}));

  console::PopWindow();
  EXPECT_FALSE(File()) << "the pop that empties the stack deletes the file";
  EXPECT_EQ(console::Console().window.windowDepth, 0);
  EXPECT_EQ(console::Console().window.currentWindow, (std::array<int16_t, 4>{0, 0, 0, 0}));
}

TEST_F(WindowStack, NestedPopsRestoreCharactersColoursAndCursorExactly) {
  platform::MemoryTerminal& t = mc_.terminal();
  Paint(t);
  t.MoveCursor(3, 4);
  const auto original = Cells(t);

  console::PushWindow(2, 10, 12, 50);
  console::SetColour("r");
  console::DrawWindowFrame(2);
  console::LocateInWindow(1, 1);
  const auto withFirst = Cells(t);
  const int16_t firstRow = t.CursorRow();
  const int16_t firstColumn = t.CursorColumn();
  ASSERT_EQ(firstRow, 3);
  ASSERT_EQ(firstColumn, 11);

  console::PushWindow(8, 40, 20, 70);
  console::SetColour("u");
  console::DrawWindowFrame(1);
  console::LocateInWindow(1, 1);
  console::Print("inner");
  EXPECT_EQ(Header(*File()), 5 + (25 + 2 * 11 * 41) + (25 + 2 * 13 * 31));

  console::PopWindow();
  EXPECT_EQ(Cells(t), withFirst);
  EXPECT_EQ(t.CursorRow(), firstRow);
  EXPECT_EQ(t.CursorColumn(), firstColumn);
  EXPECT_EQ(console::Console().window.currentWindow, (std::array<int16_t, 4>{2, 10, 12, 50}));
  EXPECT_EQ(console::Console().window.windowDepth, 1);
  // The output colour is the last restored cell's (the rectangle's bottom-right).
  EXPECT_EQ(t.Attribute(), withFirst[(20 - 1) * 80 + (70 - 1)].attribute);

  console::PopWindow();
  EXPECT_EQ(Cells(t), original);
  EXPECT_EQ(t.CursorRow(), 3);
  EXPECT_EQ(t.CursorColumn(), 4);
  EXPECT_EQ(console::Console().window.windowDepth, 0);
  EXPECT_FALSE(File());
}

TEST_F(WindowStack, RectanglesOffTheConsoleAreNotPushed) {
  struct Case {
    int16_t top, left, bottom, right;
  } cases[] = {{0, 1, 5, 5},  {1, 0, 5, 5},   {1, 1, 26, 5},
               {1, 1, 5, 81}, {26, 1, 26, 5}, {-1, -1, 2, 2}};
  for (const Case& c : cases) {
    console::PushWindow(c.top, c.left, c.bottom, c.right);
    EXPECT_EQ(console::Console().window.windowDepth, 0) << c.top << "," << c.left;
    EXPECT_FALSE(File());
  }
}

TEST_F(WindowStack, RecordLengthsOfSmallAndEmptyRectangles) {
  struct Case {
    int16_t top, left, bottom, right;
    int32_t length;
  } cases[] = {{5, 5, 5, 5, 27}, {5, 5, 4, 9, 25}, {5, 9, 9, 5, 25}, {9, 9, 5, 5, 25}};
  for (const Case& c : cases) {
    console::PushWindow(c.top, c.left, c.bottom, c.right);
    EXPECT_EQ(Header(*File()), 5 + c.length);
    console::PopWindow();
    EXPECT_FALSE(File());
    EXPECT_EQ(console::Console().window.windowDepth, 0);
  }
}

TEST_F(WindowStack, APopWithNothingSavedCreatesNothing) {
  console::PopWindow();
  EXPECT_FALSE(File());
  WriteFile(FilePath(), "ab");  // too short to hold a header: deleted
  console::PopWindow();
  EXPECT_FALSE(File());
  EXPECT_EQ(console::Console().window.windowDepth, 0);
}

TEST_F(WindowStack, OtherProgramsRecordsStayBelowAndAreLeftAlone) {
  // Another program of the terminal left a one-cell record.
  const std::string theirs = std::string("0101") + "00000000" + "01010101" + "A\x07" + "00027";
  const std::string file = HeaderBytes(5 + 27) + theirs + "leftover bytes";
  WriteFile(FilePath(), file);

  console::PushWindow(3, 3, 3, 4);  // 29 bytes
  auto after = File();
  ASSERT_TRUE(after);
  EXPECT_EQ(Header(*after), 5 + 27 + 29);
  EXPECT_EQ(after->substr(4, 27), theirs);
  console::PopWindow();
  after = File();
  ASSERT_TRUE(after) << "their record is still in it";
  EXPECT_EQ(Header(*after), 5 + 27);

  // With no window of this process open, a pop touches nothing.
  console::PopWindow();
  EXPECT_EQ(File(), after);
  EXPECT_EQ(mc_.terminal().ReadCell(1, 1).character, ' ');
  EXPECT_EQ(console::Console().window.windowDepth, 0);
}

TEST_F(WindowStack, AHeaderPointingPastTheEndStartsAFreshStack) {
  for (int32_t header : {1000000, 2147483647, -5, 0, 3}) {
    WriteFile(FilePath(), HeaderBytes(header) + "junk");
    console::PushWindow(1, 1, 1, 2);
    auto file = File();
    ASSERT_TRUE(file);
    EXPECT_EQ(Header(*file), 5 + 29) << header;
    EXPECT_LT(file->size(), 100u) << header;
    console::PopWindow();
    EXPECT_FALSE(File()) << header;
  }
}

TEST_F(WindowStack, RandomBytesInTheFileNeverCrashAndTheScreenComesBack) {
  std::mt19937 random(20260315);
  for (int round = 0; round < 50; ++round) {
    std::string junk(static_cast<size_t>(random() % 5000), '\0');
    for (char& ch : junk) ch = static_cast<char>(random());
    Paint(mc_.terminal());
    const auto before = Cells(mc_.terminal());

    // Garbage already there, then a push and a pop of our own.
    WriteFile(FilePath(), junk);
    console::PushWindow(5, 5, 15, 60);
    console::SetColour("u");
    console::DrawWindowFrame(1);
    console::PopWindow();
    EXPECT_EQ(Cells(mc_.terminal()), before) << "round " << round;

    // Our record overwritten by garbage between the push and the pop.
    console::PushWindow(5, 5, 15, 60);
    console::DrawWindowFrame(2);
    WriteFile(FilePath(), junk);
    console::PopWindow();
    EXPECT_EQ(Cells(mc_.terminal()), before) << "round " << round;
    EXPECT_EQ(console::Console().window.windowDepth, 0);

    // A pop with nothing of ours open leaves the garbage to whoever wrote it.
    WriteFile(FilePath(), junk);
    console::PopWindow();
    EXPECT_EQ(Cells(mc_.terminal()), before) << "round " << round;
    platform::RemoveFile(FilePath());
  }
}

TEST_F(WindowStack, ADamagedRecordIsNotTrustedAndTheOwnCopyIsRestored) {
  Paint(mc_.terminal());
  const auto before = Cells(mc_.terminal());
  console::PushWindow(2, 2, 6, 30);
  console::PushWindow(4, 4, 9, 40);
  console::DrawWindowFrame(1);
  // A record whose coordinates lie off the console.
  std::string file = *File();
  file.replace(file.size() - 5 - 2 * 6 * 37 - 8, 2, "99");
  WriteFile(FilePath(), file);
  console::PopWindow();
  console::PopWindow();
  EXPECT_EQ(Cells(mc_.terminal()), before);
  EXPECT_FALSE(File());
}

TEST_F(WindowStack, AnUnwritableWorkDirectoryStillRestoresTheScreen) {
  session::Session().workDir = mc_.dir() / "missing/dir/";
  Paint(mc_.terminal());
  const auto before = Cells(mc_.terminal());
  console::PushWindow(3, 3, 20, 70);
  console::DrawWindowFrame(2);
  EXPECT_EQ(console::Console().window.windowDepth, 1);
  console::PopWindow();
  EXPECT_EQ(Cells(mc_.terminal()), before);
  EXPECT_EQ(console::Console().window.windowDepth, 0);
}

}  // namespace
