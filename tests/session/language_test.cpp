#include "session/language.h"

#include <gtest/gtest.h>

#include <random>

#include "session/session.h"
#include "tests/support/temp_dir.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

class TranslateTest : public ::testing::Test {
 protected:
  TranslateTest() {
    session::ResetSession();
    session::Session().rootDir = dir_.path();
    session::Session().moduleName = "PLECAVUN";
  }
  ~TranslateTest() override { session::ResetSession(); }

  void Language(const char* code) { session::Session().languageCode = code; }
  void File(std::string_view bytes) { WriteFile(dir_ / "LOCALE/PLECAVUN.LNG", bytes); }

  TempDir dir_;
};

TEST_F(TranslateTest, Catalan_DoesNotTouchTheFile) {
  Language("CAT");
  EXPECT_EQ(session::Translate("Data:"), "Data:");
  EXPECT_FALSE(ReadFile(dir_ / "LOCALE/PLECAVUN.LNG"));
}

TEST_F(TranslateTest, MissingFileIsCreatedEmpty) {
  WriteFile(dir_ / "LOCALE/.keep", "");
  Language("SPA");
  EXPECT_EQ(session::Translate("Data:"), "Data:");
  EXPECT_EQ(ReadFile(dir_ / "LOCALE/PLECAVUN.LNG"), std::optional<std::string>(""));
}

TEST_F(TranslateTest, MissingLocaleFolderLeavesTextsUnchanged) {
  Language("SPA");
  EXPECT_EQ(session::Translate("Data:"), "Data:");
}

TEST_F(TranslateTest, Groups) {
  const std::string file =
      "Data:\r\nData galega:\r\nData aranesa:\r\nFecha:\r\n"  // one field per line
      "Sí,Si,Òc,Sí\r\n"                                         // one group per line
      "Sí,Duplicat,Duplicat,Duplicat\r\n"                       // second listing ignored
      "\" Blanc\",\" GLG\",\" OCI\",\" SPA\"\r\n"                // quoted leading blank
      "\"Un, dos\",\"Un, dous\",\"Un, dus\",\"Uno, dos\"\r\n"    // quoted comma
      "Buit,,,\r\n"                                             // empty translations
      "Final ,a,b,c\r\n";                                       // trailing blank kept
  File(file);
  struct Case {
    const char* code;
    const char* text;
    const char* expected;
  } cases[] = {
      {"SPA", "Data:", "Fecha:"},         {"GLG", "Data:", "Data galega:"},
      {"OCI", "Data:", "Data aranesa:"},  {"SPA", "Sí", "Sí"},
      {"OCI", "Sí", "Òc"},                {"SPA", " Blanc", " SPA"},
      {"SPA", "Blanc", "Blanc"},          {"GLG", "Un, dos", "Un, dous"},
      {"SPA", "Buit", ""},                {"SPA", "Final", "Final"},
      {"SPA", "Final ", "c"},             {"   ", "Data:", "Data:"},
      {"spa", "Data:", "Data:"},          {"SPA", "data:", "data:"},
  };
  for (const Case& c : cases) {
    Language(c.code);
    EXPECT_EQ(session::Translate(c.text), c.expected) << c.code << " " << c.text;
  }
}

TEST_F(TranslateTest, UnquotedCommaShiftsEveryLaterGroup) {
  File("Un, dos,a,b,c\r\nPosterior,GLG,OCI,SPA\r\n");
  Language("SPA");
  EXPECT_EQ(session::Translate("Posterior"), "Posterior");
}

TEST_F(TranslateTest, CutShortLastGroupLeavesTheTextUnchanged) {
  File("Data:,Data,Data");
  Language("SPA");
  EXPECT_EQ(session::Translate("Data:"), "Data:");
  File("Data:,Data,Data,Fecha");  // complete without a final line end
  EXPECT_EQ(session::Translate("Data:"), "Fecha");
}

TEST_F(TranslateTest, LineFeedsAndTabsAndCtrlZ) {
  File("Data:,Da\tta,x,Fe\tcha\nAdeu,a,b,c\n\x1a" "Despres,a,b,c\n");
  Language("SPA");
  EXPECT_EQ(session::Translate("Data:"), "Fecha");
  EXPECT_EQ(session::Translate("Adeu"), "c");
  EXPECT_EQ(session::Translate("Despres"), "Despres");
}

TEST_F(TranslateTest, HostileFilesNeverCrash) {
  Language("SPA");
  std::mt19937 rng(7);
  for (int round = 0; round < 50; ++round) {
    std::string bytes(static_cast<size_t>(rng() % 4096), '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    File(bytes);
    (void)session::Translate("Data:");
  }
  File("\"" + std::string(2 << 20, 'x'));  // an unterminated quote over 2 MB
  EXPECT_EQ(session::Translate("Data:"), "Data:");
}

TEST_F(TranslateTest, AFolderWhereTheFileShouldBe) {
  WriteFile(dir_ / "LOCALE/PLECAVUN.LNG/inside", "");
  Language("SPA");
  EXPECT_EQ(session::Translate("Data:"), "Data:");
}

}  // namespace
