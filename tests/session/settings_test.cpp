#include "session/settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <random>

#include "tests/support/temp_dir.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

struct SettingCase {
  const char* name;
  std::string file;
  const char* section;
  const char* key;
  std::string expected;
};

TEST(ReadSetting, Rules) {
  const SettingCase cases[] = {
      {"blanks around header, small key, value keeps its blank",
       "   \r\n[ Menu ]\r\ntitol = Cartes\r\n", "MENU", "TITOL", " Cartes"},
      {"value ends with the blank before a comment", "[S]\r\nk=abc ;note\r\n", "S", "k", "abc "},
      {"quoted value", "[S]\r\nk=\"a b\"\r\n", "S", "k", "a b"},
      {"quoted value before a comment", "[S]\r\nk=\"a b\";c\r\n", "S", "k", "a b"},
      {"blank before the opening quote keeps quotes", "[S]\r\nk= \"a\"\r\n", "S", "k", " \"a\""},
      {"blank after the closing quote keeps quotes", "[S]\r\nk=\"a\" ;c\r\n", "S", "k",
       "\"a\" "},
      {"two quotes alone", "[S]\r\nk=\"\"\r\n", "S", "k", ""},
      {"a single quote alone", "[S]\r\nk=\"\r\n", "S", "k", "\""},
      {"two equals signs", "[S]\r\nk=a=b\r\n", "S", "k", "a=b"},
      {"only the first section is searched", "[S]\r\na=1\r\n[T]\r\n[S]\r\nk=2\r\n", "S", "k", ""},
      {"key before any header", "k=1\r\n[S]\r\n", "S", "k", ""},
      {"missing section", "[S]\r\nk=1\r\n", "X", "k", ""},
      {"missing key", "[S]\r\nk=1\r\n", "S", "x", ""},
      {"empty value", "[S]\r\nk=\r\n", "S", "k", ""},
      {"names trimmed and case-blind", "[s]\r\n  KEY  =v\r\n", "  S ", " key ", "v"},
      {"comment line and comment in header", ";[S]\r\n[S];x\r\nk=1\r\n", "S", "k", "1"},
      {"header without closing bracket", "[S \r\nk=1\r\n", "S", "k", "1"},
      {"line without equals is skipped", "[S]\r\nnothing\r\nk=1\r\n", "S", "k", "1"},
      {"first matching key wins", "[S]\r\nk=1\r\nk=2\r\n", "S", "k", "1"},
      {"bare LF and no final line end", "[S]\nk=1\nj=2", "S", "j", "2"},
      {"Ctrl-Z ends the file", "[S]\r\n\x1ak=1\r\n", "S", "k", ""},
      {"semicolon inside quotes is still a comment", "[S]\r\nk=\"a;b\"\r\n", "S", "k", "\"a"},
      {"tab is not a blank", "[S]\r\n\tk=1\r\n", "S", "k", ""},
  };
  TempDir dir;
  for (const SettingCase& c : cases) {
    WriteFile(dir / "s.ini", c.file);
    EXPECT_EQ(session::ReadSetting(dir / "s.ini", c.section, c.key), c.expected) << c.name;
  }
}

TEST(ReadSetting, MissingOrUnreadableFilesGiveEmpty) {
  TempDir dir;
  EXPECT_EQ(session::ReadSetting(dir / "none.ini", "S", "k"), "");
  EXPECT_EQ(session::ReadSetting(dir.path(), "S", "k"), "");  // a folder
  EXPECT_EQ(session::ReadSetting("", "S", "k"), "");
}

TEST(ReadSetting, FindsFilesWithTheSuitesPathForm) {
  TempDir dir;
  WriteFile(dir / "cfg/orva.ini", "[Usuari]\r\nIdioma=SPA\r\n");
  EXPECT_EQ(session::ReadSetting(dir.path() + "CFG\\ORVA.INI", "usuari", "idioma"), "SPA");
}

TEST(ReadSetting, HostileBytesNeverCrash) {
  TempDir dir;
  std::mt19937 rng(12345);
  for (int round = 0; round < 50; ++round) {
    std::string bytes(static_cast<size_t>(rng() % 4096), '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    WriteFile(dir / "r.ini", bytes);
    (void)session::ReadSetting(dir / "r.ini", "S", "k");
  }
  std::string longLine = "[S]\r\nk=" + std::string(1 << 20, 'v');  // a 1 MB line, no end
  WriteFile(dir / "long.ini", longLine);
  EXPECT_EQ(session::ReadSetting(dir / "long.ini", "S", "k").size(), (1u << 20) - 2);
  WriteFile(dir / "nul.ini", std::string("[S]\r\nk=a\0b\r\n", 12));
  EXPECT_EQ(session::ReadSetting(dir / "nul.ini", "S", "k"), std::string("a\0b", 3));
}

}  // namespace
