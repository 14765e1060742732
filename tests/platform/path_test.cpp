#include "platform/path.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace {

using testing_support::ScopedCurrentDir;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST(ResolvePath, MatchesExactlyThenWithoutCaseAndKeepsNewNamesAsWritten) {
  TempDir dir;
  WriteFile(dir / "forms/plecavun.zpn", "x");
  WriteFile(dir / "DADES/PropietH.dat", "x");
  ScopedCurrentDir cd(dir.path());

  struct Case {
    const char* suitePath;
    const char* expected;
  } cases[] = {
      {"FORMS\\PLECAVUN.ZPN", "forms/plecavun.zpn"},
      {"forms/plecavun.zpn", "forms/plecavun.zpn"},
      {"C:FORMS\\PLECAVUN.ZPN", "forms/plecavun.zpn"},
      {"dades\\propieth.DAT", "DADES/PropietH.dat"},
      {"DADES\\Nou.dat", "DADES/Nou.dat"},              // missing file: case kept
      {"NOVA\\Carpeta\\X.txt", "NOVA/Carpeta/X.txt"},   // missing folders too
      {"FORMS\\\\PLECAVUN.ZPN", "forms/plecavun.zpn"},  // doubled separator
      {"FORMS\\", "forms/"},
      {"forms//plecavun.zpn", "forms/plecavun.zpn"},
      {"DADES\\PropietH.dat\\", "DADES/PropietH.dat/"},  // a file is no folder
      {"forms\\.\\PLECAVUN.ZPN", "forms/./plecavun.zpn"},
      {"FORMS\\..\\DADES\\PropietH.dat", "forms/../DADES/PropietH.dat"},
      {"forms\\..\\DADES\\PropietH.dat", "forms/../DADES/PropietH.dat"},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::ResolvePath(c.suitePath), c.expected) << c.suitePath;
  }
}

TEST(ResolvePath, AbsolutePathsAndDriveLetters) {
  TempDir dir;
  WriteFile(dir / "Textos/CARTA.txt", "x");
  std::string root = dir.path();  // ends with "/"
  EXPECT_EQ(platform::ResolvePath(root + "TEXTOS\\carta.TXT"), root + "Textos/CARTA.txt");
  EXPECT_EQ(platform::ResolvePath("C:" + root + "textos\\carta.txt"), root + "Textos/CARTA.txt");
}

TEST(ResolvePath, ExactMatchWinsOverOtherCase) {
  TempDir dir;
  WriteFile(dir / "a.txt", "lower");
  WriteFile(dir / "A.txt", "upper");
  ScopedCurrentDir cd(dir.path());
  EXPECT_EQ(platform::ResolvePath("A.txt"), "A.txt");
  EXPECT_EQ(platform::ResolvePath("a.txt"), "a.txt");
  EXPECT_EQ(platform::ResolvePath("a.TXT"), "A.txt");  // first in name order
}

TEST(FileHelpers, ExistenceLengthRemovalAndFolders) {
  TempDir dir;
  WriteFile(dir / "f.bin", "12345");
  EXPECT_TRUE(platform::FileExists(dir / "F.BIN"));
  EXPECT_FALSE(platform::FileExists(dir.path()));  // a folder is not a file
  EXPECT_TRUE(platform::DirectoryExists(dir.path()));
  EXPECT_EQ(platform::FileLength(dir / "f.bin"), 5);
  EXPECT_EQ(platform::FileLength(dir / "missing"), -1);
  EXPECT_TRUE(platform::RemoveFile(dir / "f.bin"));
  EXPECT_TRUE(platform::RemoveFile(dir / "f.bin"));  // already gone is fine
  EXPECT_TRUE(platform::MakeDirectories(dir / "a\\b\\c"));
  EXPECT_TRUE(platform::DirectoryExists(dir / "a/b/c"));
}

}  // namespace
