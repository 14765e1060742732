// The console on a real terminal: the probe program runs in tmux, and what tmux shows
// (characters and colours) and the key codes the probe echoes are checked.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/support/tmux.h"

namespace {

using testing_support::TempDir;
using testing_support::TmuxOptions;
using testing_support::TmuxSession;

constexpr const char* kTitle = "PROVA DE CONSOLA";

class ConsoleProbe : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TmuxSession::Available()) GTEST_SKIP() << "tmux is not installed";
  }

  std::unique_ptr<TmuxSession> Start(int columns = 80, int rows = 25,
                                     const std::string& term = "tmux-256color") {
    TmuxOptions options;
    options.columns = columns;
    options.rows = rows;
    options.term = term;
    options.command = {ZUR_CONSOLE_PROBE};
    options.environment = {{"ZURTMP", dir_.path()}, {"ZURTERM", dir_.path()}};
    options.workingDirectory = dir_.path();
    auto session = std::make_unique<TmuxSession>(options);
    EXPECT_TRUE(session->Started()) << session->Error();
    return session;
  }

  // Starts the probe and waits for its screen.
  std::unique_ptr<TmuxSession> StartReady(const std::string& term = "tmux-256color") {
    auto session = Start(80, 25, term);
    EXPECT_TRUE(session->WaitForText(kTitle)) << session->LastScreen();
    return session;
  }

  TempDir dir_;
};

std::string Row(const std::string& screen, int row) {
  size_t start = 0;
  for (int r = 1; r < row; ++r) {
    start = screen.find('\n', start);
    if (start == std::string::npos) return "";
    ++start;
  }
  size_t end = screen.find('\n', start);
  return screen.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

TEST_F(ConsoleProbe, DrawsBoxDrawingCharactersAndAccentedLetters) {
  auto s = StartReady();
  const std::string screen = s->Capture();
  EXPECT_NE(screen.find("╔══════"), std::string::npos) << screen;
  EXPECT_NE(screen.find("║ Lletres: àéèíòóúç ÀÉÈÍÒÓÚÇ ñÑ ü €    ║"), std::string::npos) << screen;
  EXPECT_NE(screen.find("║ Fletxes: ◄ ►  Mig: ½ ¼  Graus: 25°   ║"), std::string::npos) << screen;
  EXPECT_NE(screen.find("═╝"), std::string::npos) << screen;
  EXPECT_NE(screen.find("┌──────┬──────┐"), std::string::npos) << screen;
  EXPECT_NE(screen.find("└──────┴──────┘"), std::string::npos) << screen;
  s->SendKeys({"q"});
  EXPECT_EQ(s->WaitForExit(), 0);
}

// The SGR parameters in force where `text` starts on the captured screen (tmux writes
// every change of colour as an escape sequence before the text it applies to).
std::string ColourBefore(const std::string& screen, const std::string& text) {
  size_t at = screen.find(text);
  if (at == std::string::npos) return "(missing)";
  std::string params;
  while (at >= 3 && screen[at - 1] == 'm') {
    const size_t esc = screen.rfind("\x1b[", at - 1);
    if (esc == std::string::npos) break;
    params = screen.substr(esc + 2, at - 1 - esc - 2) + (params.empty() ? "" : ";") + params;
    at = esc;
  }
  return params;
}

TEST_F(ConsoleProbe, ShowsThePcColoursInTheirPlaces) {
  struct Case {
    const char* term;
    const char* text;
    std::vector<std::string> wanted;  // SGR parameters that must be in force
  } cases[] = {
      // Sixteen colours: bright white (97) on blue (44), bright yellow (93) on red
      // (41), bright green (92).
      {"tmux-256color", "BLAU", {"97", "44"}},
      {"tmux-256color", "VERMELL", {"93", "41"}},
      {"tmux-256color", "VERD", {"92"}},
      {"xterm-256color", "BLAU", {"97", "44"}},
      // Eight colours: the bright foregrounds become bold (1) white (the default
      // foreground, left unnamed) / yellow / green.
      {"screen", "BLAU", {"1", "44"}},
      {"screen", "VERMELL", {"1", "33", "41"}},
      {"screen", "VERD", {"1", "32"}},
  };
  for (const Case& c : cases) {
    auto s = StartReady(c.term);
    ASSERT_TRUE(s->WaitFor(
        [](const std::string& sc) { return sc.find("BLAU") != std::string::npos; }, 10000, true));
    const std::string sgr = ColourBefore(s->LastScreen(), c.text);
    for (const std::string& want : c.wanted) {
      const std::string padded = ";" + sgr + ";";
      EXPECT_NE(padded.find(";" + want + ";"), std::string::npos)
          << c.term << " " << c.text << ": " << sgr;
    }
    s->SendKeys({"q"});
    EXPECT_EQ(s->WaitForExit(), 0) << c.term << " " << c.text << "\n" << s->Capture();
  }
}

TEST_F(ConsoleProbe, APopUpIsRestoredExactly) {
  auto s = StartReady();
  s->SendKeys({"p"});
  ASSERT_TRUE(s->WaitForText("MISSATGE DE PROVA: àéç")) << s->LastScreen();
  // A one-line message at row 12 takes rows 9 to 11.
  const std::string withMessage = s->LastScreen();
  EXPECT_NE(Row(withMessage, 9).find("┌"), std::string::npos) << withMessage;
  EXPECT_NE(Row(withMessage, 10).find("│ MISSATGE DE PROVA: àéç │"), std::string::npos)
      << withMessage;
  EXPECT_EQ(Row(withMessage, 24).rfind("KEY #1: 0070", 0), 0u) << withMessage;

  s->SendKeys({"x"});
  ASSERT_TRUE(s->WaitFor([](const std::string& sc) {
    return sc.find("MISSATGE") == std::string::npos;
  })) << s->LastScreen();
  const std::string after = s->Capture(true);
  s->SendKeys({"q"});
  ASSERT_EQ(s->WaitForExit(), 0);

  // A second run up to just before the pop-up gives the reference screen.
  auto reference = StartReady();
  reference->SendKeys({"p"});
  ASSERT_TRUE(reference->WaitForText("MISSATGE")) << reference->LastScreen();
  reference->SendKeys({"y"});
  ASSERT_TRUE(reference->WaitFor(
      [](const std::string& sc) { return sc.find("MISSATGE") == std::string::npos; }));
  EXPECT_EQ(reference->Capture(true), after);
  EXPECT_NE(after.find(kTitle), std::string::npos);
  EXPECT_NE(after.find("BLAU"), std::string::npos);
}

struct KeyCase {
  std::vector<std::string> tmuxKeys;  // one key, as tmux names it
  const char* code;                   // the key code echoed, 4 hex digits
};

const KeyCase kKeyCases[] = {
    {{"F1"}, "3b00"},     {{"F5"}, "3f00"},    {{"F10"}, "4400"},    {{"F11"}, "8500"},
    {{"F12"}, "8600"},    {{"S-F1"}, "5400"},  {{"S-F10"}, "5d00"},  {{"S-F12"}, "8800"},
    {{"C-F4"}, "6100"},   {{"C-F11"}, "8900"}, {{"M-F4"}, "6b00"},   {{"M-F12"}, "8c00"},
    {{"Up"}, "4800"},     {{"Down"}, "5000"},  {{"Left"}, "4b00"},   {{"Right"}, "4d00"},
    {{"Home"}, "4700"},   {{"End"}, "4f00"},   {{"PageUp"}, "4900"}, {{"PageDown"}, "5100"},
    {{"IC"}, "5200"},     {{"DC"}, "5300"},    {{"C-Left"}, "7300"}, {{"C-Right"}, "7400"},
    {{"C-Home"}, "7700"}, {{"BTab"}, "0f00"},  {{"M-f"}, "2100"},    {{"M-e"}, "00d5"},
    {{"Escape"}, "001b"}, {{"Enter"}, "000d"}, {{"BSpace"}, "0008"}, {{"Tab"}, "0009"},
    {{"C-c"}, "0003"},    {{"C-v"}, "0016"},   {{"a"}, "0061"},      {{"Z"}, "005a"},
};

TEST_F(ConsoleProbe, KeysArriveAsTheirKeyCodes) {
  for (const char* term : {"tmux-256color", "screen", "xterm-256color", "xterm"}) {
    auto s = StartReady(term);
    int count = 0;
    for (const KeyCase& k : kKeyCases) {
      s->SendKeys(k.tmuxKeys);
      const std::string want = "KEY #" + std::to_string(++count) + ": " + k.code;
      EXPECT_TRUE(s->WaitForText(want, 5000))
          << term << " " << k.tmuxKeys[0] << " should give " << k.code << "\n"
          << Row(s->LastScreen(), 24);
    }
    // Accented letters typed as UTF-8 arrive as code page 850 characters.
    s->SendText("é");
    EXPECT_TRUE(s->WaitForText("KEY #" + std::to_string(++count) + ": 0082", 5000)) << term;
    s->SendText("Ç");
    EXPECT_TRUE(s->WaitForText("KEY #" + std::to_string(++count) + ": 0080", 5000)) << term;
    s->SendKeys({"q"});
    EXPECT_EQ(s->WaitForExit(), 0) << term;
  }
}

TEST_F(ConsoleProbe, AMouseReleaseArrivesWithItsPosition) {
  auto s = StartReady();
  // Left button pressed and released at column 10, row 5 (SGR report).
  s->SendBytes("\x1b[<0;10;5M\x1b[<0;10;5m");
  // column x 256 + button x 64 + row = 2560 + 64 + 5.
  EXPECT_TRUE(s->WaitForText("KEY #1: 0a45")) << Row(s->LastScreen(), 24);
  s->SendBytes("\x1b[<2;3;7M\x1b[<2;3;7m");
  EXPECT_TRUE(s->WaitForText("KEY #2: 0387")) << Row(s->LastScreen(), 24);
  s->SendKeys({"q"});
  EXPECT_EQ(s->WaitForExit(), 0);
}

TEST_F(ConsoleProbe, AltXOpensTheCalculatorAndTypesItsResult) {
  auto s = StartReady();
  s->SendKeys({"M-x"});
  ASSERT_TRUE(s->WaitFor([](const std::string& sc) {
    return Row(sc, 25).find("└──") != std::string::npos;
  })) << s->LastScreen();
  s->SendText("2+3=");
  ASSERT_TRUE(s->WaitFor([](const std::string& sc) {
    return Row(sc, 24).find("5  │") != std::string::npos &&
           Row(sc, 20).find("2 +│") != std::string::npos;
  })) << s->LastScreen();
  s->SendKeys({"F"});
  // GetKey hands Alt+X on after the calculator closes, then its result "500" as typed.
  ASSERT_TRUE(s->WaitForText("KEY #4: 0030")) << s->LastScreen();
  EXPECT_EQ(Row(s->LastScreen(), 25).find("└──"), std::string::npos) << s->LastScreen();
  EXPECT_NE(s->LastScreen().find("╔═"), std::string::npos) << s->LastScreen();
  s->SendKeys({"q"});
  EXPECT_EQ(s->WaitForExit(), 0);
}

TEST_F(ConsoleProbe, TheScreenComesBackAfterAChildProgram) {
  auto s = StartReady();
  s->SendKeys({"r"});
  ASSERT_TRUE(s->WaitForText("KEY #1: 0072")) << s->LastScreen();
  s->SendKeys({"a"});
  ASSERT_TRUE(s->WaitForText("KEY #2: 0061")) << s->LastScreen();
  const std::string screen = s->LastScreen();
  EXPECT_NE(screen.find(kTitle), std::string::npos) << screen;
  EXPECT_NE(screen.find("║ Lletres:"), std::string::npos) << screen;
  EXPECT_EQ(screen.find("SORTIDA-DEL-FILL"), std::string::npos) << screen;
  s->SendKeys({"q"});
  EXPECT_EQ(s->WaitForExit(), 0);
}

TEST_F(ConsoleProbe, ATooSmallWindowAsksToGrowAndIsRedrawnAfter) {
  auto s = StartReady();
  s->Resize(70, 25);
  ASSERT_TRUE(s->WaitForText("at least 80x25")) << s->LastScreen();
  s->SendKeys({"a"});  // typed blind: dropped
  s->Resize(80, 25);
  ASSERT_TRUE(s->WaitForText(kTitle)) << s->LastScreen();
  EXPECT_NE(s->LastScreen().find("║ Lletres:"), std::string::npos) << s->LastScreen();
  s->SendKeys({"b"});
  EXPECT_TRUE(s->WaitForText("KEY #1: 0062")) << s->LastScreen();
  s->SendKeys({"q"});
  EXPECT_EQ(s->WaitForExit(), 0);
}

TEST_F(ConsoleProbe, ATerminalTooSmallToStartIsRefused) {
  struct Case {
    int columns, rows;
    const char* size;
  } cases[] = {{79, 25, "79x25"}, {80, 24, "80x24"}};
  for (const Case& c : cases) {
    auto s = Start(c.columns, c.rows);
    EXPECT_EQ(s->WaitForExit(), 1) << c.size;
    const std::string want = std::string("console_probe: the terminal is ") + c.size +
                             "; it needs at least 80 columns and 25 rows";
    const std::string screen = s->CaptureWithHistory();
    EXPECT_NE(screen.find(want), std::string::npos) << screen;
  }
}

}  // namespace
