#include "session/session.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace {

using testing_support::ScopedCurrentDir;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteFile;

// Every variable LoadSession reads, unset for the test unless given.
class SessionTest : public ::testing::Test {
 protected:
  SessionTest() { session::ResetSession(); }
  ~SessionTest() override { session::ResetSession(); }

  ScopedEnv root_{"ZURROOT", std::nullopt}, exe_{"ZUREXE", std::nullopt},
      tmp_{"ZURTMP", std::nullopt}, term_{"ZURTERM", std::nullopt},
      agent_{"HTTP_USER_AGENT", std::nullopt}, accept_{"HTTP_ACCEPT", std::nullopt},
      windir_{"WINDIR", std::nullopt}, sysroot_{"SYSTEMROOT", std::nullopt};
  TempDir dir_;
};

TEST_F(SessionTest, NothingSetLooksInTheCurrentDirectory) {
  ScopedCurrentDir cd(dir_.path());
  WriteFile(dir_ / "Sessio.ini", "[Menu]\r\nTitol=Cartes\r\nNomMenu=UXCARTES\r\n");
  WriteFile(dir_ / "OrvaTerm.ini", "[Sistema]\r\nData=20260315\r\nSortida=PDF:x.pdf\r\n");
  session::LoadSession();
  const auto& s = session::Session();
  EXPECT_EQ(s.workDir, "");
  EXPECT_EQ(s.terminalDir, "");
  EXPECT_EQ(s.menuTitle, " Cartes ");
  EXPECT_EQ(s.menuName, "UXCARTES");
  EXPECT_EQ(s.sessionDate, "\x94\x9A\x83\x8F");
  EXPECT_EQ(s.outputDevice, "PDF:x.pdf");
  EXPECT_EQ(s.languageCode, "   ");
  EXPECT_EQ(s.sessionKind, "DOS");
}

TEST_F(SessionTest, DirectoryRule) {
  struct Case {
    const char* zurtmp;
    const char* workDir;
  } cases[] = {{"C:", "C:"}, {"X\\", "X\\"}, {"X", "X\\"}, {"/tmp/w/", "/tmp/w/"}};
  for (const Case& c : cases) {
    ScopedEnv tmp("ZURTMP", c.zurtmp);
    session::LoadSession();
    EXPECT_EQ(session::Session().workDir, c.workDir) << c.zurtmp;
  }
}

TEST_F(SessionTest, TerminalDirectoryFromSessionFileOrZurterm) {
  ScopedEnv tmp("ZURTMP", dir_.path());
  {
    ScopedEnv term("ZURTERM", "T1");
    session::LoadSession();
    EXPECT_EQ(session::Session().terminalDir, "T1\\");
  }
  WriteFile(dir_ / "Sessio.ini", "[Terminal]\r\nDir=TERMS\\T2\r\n");
  ScopedEnv term("ZURTERM", "T1");
  session::LoadSession();
  EXPECT_EQ(session::Session().terminalDir, "TERMS\\T2\\");
  EXPECT_EQ(session::Session().workDir, dir_.path());
}

TEST_F(SessionTest, WorkDirFallsBackToTerminalDir) {
  ScopedEnv term("ZURTERM", dir_.path());
  WriteFile(dir_ / "OrvaTerm.ini", "[Sistema]\r\nSortida=LP1\r\n");
  session::LoadSession();
  EXPECT_EQ(session::Session().workDir, dir_.path());
  EXPECT_EQ(session::Session().outputDevice, "LP1");
}

TEST_F(SessionTest, Palette) {
  ScopedEnv tmp("ZURTMP", dir_.path());
  struct Case {
    const char* file;
    std::array<int, 10> colours;  // fg, bg of entries 0 .. 4
  } cases[] = {
      {"", {15, 0, 7, 0, 0, 7, 0, 7, 0, 7}},
      {"[Pantalla]\r\nCol0=01020304050607080910\r\n", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
      {"[Pantalla]\r\nSeleccio=1\r\nCol1=1415\r\n", {14, 15, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"[Pantalla]\r\nSeleccio=2\r\nCol0=01010101010101010101\r\n",  // no Col2: default
       {15, 0, 7, 0, 0, 7, 0, 7, 0, 7}},
      {"[Pantalla]\r\nCol0=xx07\r\n", {0, 7, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    WriteFile(dir_ / "OrvaTerm.ini", c.file);
    session::LoadSession();
    const auto& p = session::Session().palette;
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(p[i].foreground, c.colours[2 * i]) << c.file << " entry " << i;
      EXPECT_EQ(p[i].background, c.colours[2 * i + 1]) << c.file << " entry " << i;
    }
  }
}

TEST_F(SessionTest, LanguageFromTerminalThenUser) {
  ScopedEnv tmp("ZURTMP", dir_.path() + "term/");
  ScopedEnv root("ZURROOT", dir_.path());
  struct Case {
    const char* terminal;
    const char* user;
    const char* code;
  } cases[] = {
      {"", "", "   "},
      {"", "[Usuari]\r\nIdioma=SPA\r\n", "SPA"},
      {"[Sistema]\r\nIdioma=GLG\r\n", "[Usuari]\r\nIdioma=SPA\r\n", "GLG"},
      {"[Sistema]\r\nIdioma=spa\r\n", "", "spa"},
      {"[Sistema]\r\nIdioma=OCITAN\r\n", "", "OCI"},
      {"[Sistema]\r\nIdioma=C\r\n", "", "C  "},
  };
  for (const Case& c : cases) {
    WriteFile(dir_ / "term/OrvaTerm.ini", c.terminal);
    WriteFile(dir_ / "Orva.ini", c.user);
    session::LoadSession();
    EXPECT_EQ(session::Session().languageCode, c.code) << c.terminal << " / " << c.user;
  }
}

TEST_F(SessionTest, SessionKind) {
  struct Case {
    const char* agent;
    const char* accept;
    const char* windir;
    const char* sysroot;
    const char* kind;
  } cases[] = {
      {nullptr, nullptr, nullptr, nullptr, "DOS"}, {"x", nullptr, nullptr, nullptr, "CGI"},
      {nullptr, "x", "C:\\W", nullptr, "CGI"},     {nullptr, nullptr, "C:\\W", nullptr, "WIN"},
      {nullptr, nullptr, nullptr, "C:\\W", "WIN"}, {"", "", "", "", "DOS"},
  };
  auto opt = [](const char* v) { return v ? std::optional<std::string>(v) : std::nullopt; };
  for (const Case& c : cases) {
    ScopedEnv a("HTTP_USER_AGENT", opt(c.agent)), b("HTTP_ACCEPT", opt(c.accept)),
        w("WINDIR", opt(c.windir)), r("SYSTEMROOT", opt(c.sysroot));
    session::LoadSession();
    EXPECT_EQ(session::Session().sessionKind, c.kind);
  }
}

TEST_F(SessionTest, LetterheadFromUserSettings) {
  ScopedEnv root("ZURROOT", dir_.path());
  WriteFile(dir_ / "Orva.ini",
            "[Usuari]\r\nCapcalera1=Finques Serra\r\nCapcalera3=" + std::string(50, 'x') + "\r\n");
  session::LoadSession();
  const auto& l = session::Session().letterhead;
  EXPECT_EQ(l[0], "Finques Serra" + std::string(22, ' '));
  EXPECT_EQ(l[1], std::string(35, ' '));
  EXPECT_EQ(l[2], std::string(35, 'x'));
  EXPECT_EQ(l[7], std::string(35, ' '));
}

TEST_F(SessionTest, DirectoriesAsFoundAndModuleNameKept) {
  ScopedEnv root("ZURROOT", "/zur/"), exe("ZUREXE", "/zur/bin");
  session::Session().moduleName = "PLECAVUN";
  session::LoadSession();
  EXPECT_EQ(session::Session().rootDir, "/zur/");
  EXPECT_EQ(session::Session().programDir, "/zur/bin");  // no separator added
  EXPECT_EQ(session::Session().moduleName, "PLECAVUN");
}

}  // namespace
