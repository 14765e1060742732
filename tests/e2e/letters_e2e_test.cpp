// The module end to end: the real plecavun in tmux on an installation made by the
// test (the demo's forms, language file and templates, the record files loaded from
// tests/e2e/data with the data tool), the selection screen filled with keys, and a
// stand-in print program that keeps a copy of every spool and field file it is given.
// The copies are compared with the golden files in tests/e2e/golden; run with
// ZUR_UPDATE_GOLDEN=1 to write them afresh (then read the differences before
// committing them). Every case runs with the record files as SQLite files and again
// in a PostgreSQL database (ZURDB; when ZUR_TEST_PG names a server): the same golden
// files hold for both.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/cp850.h"
#include "tests/support/postgres.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tmux.h"

namespace {

using testing_support::ReadFile;
using testing_support::RecordEngine;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::TmuxOptions;
using testing_support::TmuxSession;
using testing_support::WriteFile;

constexpr const char* kTitle = "Cartes i etiquetes als propietaris";
constexpr int kWait = 15000;

// The print program the module starts: it keeps numbered copies of the spool and the
// field file, and says so on its output like the real one does.
constexpr const char* kStandInPrinter =
    "#!/bin/sh\n"
    "n=$(cat \"${ZURTMP}count\" 2>/dev/null || echo 0)\n"
    "n=$((n + 1))\n"
    "echo $n > \"${ZURTMP}count\"\n"
    "cp \"${ZURTMP}zurprint.tmp\" \"${ZURTMP}spool-$n.tmp\" || exit 2\n"
    "if [ -f \"${ZURTMP}merge.tmp\" ]; then cp \"${ZURTMP}merge.tmp\" \"${ZURTMP}merge-$n.tmp\"; "
    "fi\n"
    "echo \"copy $n made\"\n";

// The texts of the screens and messages in each language, as the screen shows them.
struct Language {
  const char* code;
  const char* dateLabel;
  const char* confirmation;
  const char* printed;
};
const Language kCatalan{"CAT", "Data de les cartes", "Imprimeixo la tramesa?",
                        "TRAMESA ENVIADA A IMPRIMIR"};
const Language kSpanish{"SPA", "Fecha de las cartas", "Imprimo la remesa?",
                        "REMESA ENVIADA A IMPRIMIR"};
const Language kAranese{"OCI", "Data des letres", "Imprimisqui mandat?",
                        "MANDAT ENVIAT A IMPRIMIR"};

// Field numbers of the selection screen.
enum Field {
  kDate = 1,
  kTemplate,
  kFromProperty,
  kFromOwner,
  kToProperty,
  kToOwner,
  kReceiptState,
  kMinReceipts,
  kMaxReceipts,
  kMinTotal,
  kMaxTotal,
  kOutputKind,
  kLabelWidth,
  kLabelLines,
  kLabelsPerPage
};
using Entries = std::map<int, std::string>;

// Code page 850 bytes of a UTF-8 text.
std::string Cp(const std::string& utf8) {
  return platform::Utf8ToCp850(utf8);
}

// A template line in the coded form: each byte 33 .. 222 becomes 255 minus it.
std::string Coded(const std::string& line) {
  std::string out = line;
  for (char& c : out) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 33 && u <= 222) c = static_cast<char>(255 - u);
  }
  return out;
}

int Shell(const std::string& command) {
  return std::system(command.c_str());
}

class LettersEndToEnd : public ::testing::TestWithParam<RecordEngine> {
 protected:
  void SetUp() override {
    if (!TmuxSession::Available()) GTEST_SKIP() << "tmux is not installed";
    if (GetParam() == RecordEngine::kPostgres && testing_support::TestPostgres().empty()) {
      GTEST_SKIP() << testing_support::kNoTestPostgres;
    }
  }
  void TearDown() override {
    session_.reset();
    zurdb_.reset();
    database_.reset();
  }

  // Lays a fresh installation out for a terminal language and loads the test data;
  // on PostgreSQL into a database of its own, which ZURDB names from now on.
  void Install(const Language& language) {
    session_.reset();
    zurdb_.reset();
    database_.reset();
    if (GetParam() == RecordEngine::kPostgres) {
      database_ = std::make_unique<testing_support::TestDatabase>();
      ASSERT_TRUE(database_->Ready()) << database_->Error();
      zurdb_ = std::make_unique<ScopedEnv>("ZURDB", database_->conninfo());
    } else {
      zurdb_ = std::make_unique<ScopedEnv>("ZURDB", std::nullopt);
    }
    dir_ = std::make_unique<TempDir>();
    root_ = dir_->path();
    std::string layout = "python3 '" + std::string(ZUR_SOURCE_DIR) + "/demo/layout.py' '" + root_ +
                         "' --date 20260315 --language " + language.code;
    ASSERT_EQ(Shell(layout), 0);
    const std::string data = std::string(ZUR_SOURCE_DIR) + "/tests/e2e/data/";
    ASSERT_EQ(Shell(std::string(ZUR_ZURDATA) + " --root '" + root_ + "' init >/dev/null"), 0);
    for (const char* kind : {"texts", "properties", "owners", "receipts"}) {
      ASSERT_EQ(Shell(std::string(ZUR_ZURDATA) + " --root '" + root_ + "' import " + kind + " '" +
                      data + kind + ".csv' >/dev/null"),
                0);
    }
    // In a database, no record file is left on disk for the module to find instead.
    if (database_) {
      ASSERT_FALSE(ReadFile(root_ + "DADES/CobramH.dat").has_value());
    }
    // Templates of the tests: a coded one, and one with a piece included with "#+".
    WriteFile(root_ + "TEXTOS/CODIF.txt",
              "\x7f"
              "C\r\n" +
                  Coded(Cp("Benvolgut @DES1, aquesta línia anava codificada.")) +
                  "\r\n\x7f"
                  "C prou\r\n" +
                  Cp("Aquesta línia no ho estava.") + "\r\n");
    WriteFile(root_ + "TEXTOS/INCLOU.txt",
              Cp("Primera part per a @DES1.\r\n#+PECA\r\nSegona part, en una pàgina nova.\r\n"));
    WriteFile(root_ + "TEXTOS/PECA.txt", Cp("La peça inclosa, a continuació.\r\n"));
    WriteFile(root_ + "bin/zurprint", kStandInPrinter);
    ::chmod((root_ + "bin/zurprint").c_str(), 0755);
    language_ = language;
  }

  void Start() {
    TmuxOptions options;
    options.command = {ZUR_PLECAVUN};
    options.environment = {{"ZURROOT", root_},
                           {"ZUREXE", root_ + "bin/"},
                           {"ZURTMP", root_ + "TMP/"},
                           {"ZURTODAY", "2026-03-15"}};
    if (database_) options.environment.emplace_back("ZURDB", database_->conninfo());
    options.workingDirectory = root_;
    session_ = std::make_unique<TmuxSession>(options);
    ASSERT_TRUE(session_->Started()) << session_->Error();
    ASSERT_TRUE(session_->WaitForText(kTitle, kWait)) << session_->LastScreen();
    ASSERT_TRUE(session_->WaitForText(language_.dateLabel, kWait)) << session_->LastScreen();
  }

  // From the first field, walks the fifteen fields with Enter, typing the entries
  // given (a text field is cleared first; a choice field takes the letter typed). The
  // Enter on the last field ends the screen.
  void Fill(const Entries& entries) {
    std::vector<std::string> keys;
    for (int f = kDate; f <= kLabelsPerPage; ++f) {
      auto it = entries.find(f);
      if (it != entries.end()) {
        if (f != kReceiptState && f != kOutputKind) keys.push_back("C-y");
        session_->SendKeys(keys);
        keys.clear();
        session_->SendText(it->second);
      }
      keys.push_back("Enter");
    }
    session_->SendKeys(keys);
  }

  // Confirms the selection and waits until the print program has run and its notice
  // has been put away again.
  void ConfirmAndPrint() {
    ASSERT_TRUE(session_->WaitForText(language_.confirmation, kWait)) << session_->LastScreen();
    session_->SendKeys({"Enter"});
    ASSERT_TRUE(session_->WaitForText(language_.printed, kWait)) << session_->LastScreen();
    session_->SendKeys({"Enter"});
    ASSERT_TRUE(session_->WaitFor(
        [&](const std::string& screen) {
          return screen.find(language_.printed) == std::string::npos &&
                 screen.find(language_.dateLabel) != std::string::npos;
        },
        kWait))
        << session_->LastScreen();
  }

  // Esc on the first field leaves the module, which ends with exit code 0.
  void Leave() {
    session_->SendKeys({"Escape"});
    std::optional<int> code = session_->WaitForExit(kWait);
    ASSERT_TRUE(code.has_value()) << session_->LastScreen();
    EXPECT_EQ(*code, 0);
  }

  void Batch(const Entries& entries) {
    Fill(entries);
    ConfirmAndPrint();
  }

  // The copy number n the stand-in made of a file ("spool" or "merge").
  std::string Copy(const std::string& what, int n) {
    return ReadFile(root_ + "TMP/" + what + "-" + std::to_string(n) + ".tmp").value_or("<none>");
  }

  // Compares a copy with its golden file (or writes the golden file when asked to).
  void ExpectGolden(const std::string& actual, const std::string& name) {
    const std::string path = std::string(ZUR_SOURCE_DIR) + "/tests/e2e/golden/" + name;
    if (std::getenv("ZUR_UPDATE_GOLDEN") != nullptr) {
      WriteFile(path, actual);
      return;
    }
    std::optional<std::string> golden = ReadFile(path);
    ASSERT_TRUE(golden.has_value()) << "no golden file " << path;
    EXPECT_EQ(actual, *golden) << "differs from " << path << "\n" << platform::Cp850ToUtf8(actual);
  }

  std::unique_ptr<testing_support::TestDatabase> database_;
  std::unique_ptr<ScopedEnv> zurdb_;
  std::unique_ptr<TempDir> dir_;
  std::string root_;
  Language language_ = kCatalan;
  std::unique_ptr<TmuxSession> session_;
};

INSTANTIATE_TEST_SUITE_P(Engines, LettersEndToEnd,
                         ::testing::Values(RecordEngine::kSqlite, RecordEngine::kPostgres),
                         testing_support::RecordEngineName);

struct BatchCase {
  const char* name;
  Entries entries;
};

TEST_P(LettersEndToEnd, OneBatchEach) {
  const BatchCase cases[] = {
      {"letters-default", {{kTemplate, "RECORDA"}}},
      {"letters-every-owner", {{kTemplate, "RECORDA"}, {kMinReceipts, "0"}, {kMinTotal, "0"}}},
      {"letters-from-owner-5",
       {{kTemplate, "RECORDA"},
        {kFromProperty, "3"},
        {kFromOwner, "5"},
        {kToProperty, "4"},
        {kToOwner, "1"}}},
      {"letters-state-p", {{kTemplate, "RECORDA"}, {kReceiptState, "P"}}},
      {"letters-state-x", {{kTemplate, "RECORDA"}, {kReceiptState, "X"}}},
      {"labels-odd", {{kReceiptState, "P"}, {kOutputKind, "E"}}},
      {"labels-60-wide", {{kOutputKind, "E"}, {kLabelWidth, "60"}}},
      {"labels-3-lines", {{kOutputKind, "E"}, {kLabelLines, "3"}, {kLabelsPerPage, "4"}}},
      {"letters-coded", {{kTemplate, "CODIF"}, {kToProperty, "1"}}},
      {"letters-include", {{kTemplate, "INCLOU"}, {kToProperty, "1"}}},
  };
  for (const BatchCase& c : cases) {
    SCOPED_TRACE(c.name);
    Install(kCatalan);
    Start();
    Batch(c.entries);
    Leave();
    ExpectGolden(Copy("spool", 1), std::string(c.name) + ".spool");
    if (std::string(c.name).rfind("letters", 0) == 0) {
      ExpectGolden(Copy("merge", 1), std::string(c.name) + ".merge");
    }
    EXPECT_EQ(Copy("spool", 2), "<none>");
  }
}

TEST_P(LettersEndToEnd, TwoBatchesRewriteTheSpoolAndStartThePrinterTwice) {
  Install(kCatalan);
  Start();
  Batch({{kTemplate, "RECORDA"}});
  // The screen keeps the values entered last: only the output kind changes.
  Batch({{kOutputKind, "E"}});
  Leave();
  EXPECT_EQ(ReadFile(root_ + "TMP/count"), std::optional<std::string>("2\n"));
  ExpectGolden(Copy("spool", 1), "letters-default.spool");
  ExpectGolden(Copy("spool", 2), "labels-default.spool");
}

TEST_P(LettersEndToEnd, OddLabelsPerPageAreRefusedWithTheirMessage) {
  Install(kCatalan);
  Start();
  Fill({{kOutputKind, "E"}, {kLabelsPerPage, "15"}});
  ASSERT_TRUE(session_->WaitForText("LES ETIQUETES PER PÀGINA HAN DE SER DIVISIBLES PER 2", kWait))
      << session_->LastScreen();
  session_->SendKeys({"Enter"});
  ASSERT_TRUE(session_->WaitFor(
      [](const std::string& screen) { return screen.find("DIVISIBLES") == std::string::npos; },
      kWait));
  // Back on the selection screen, not on the confirmation: Esc twice leaves.
  EXPECT_EQ(session_->LastScreen().find(kCatalan.confirmation), std::string::npos);
  session_->SendKeys({"Escape"});
  Leave();
  EXPECT_FALSE(ReadFile(root_ + "TMP/zurprint.tmp").has_value());
  EXPECT_FALSE(ReadFile(root_ + "TMP/count").has_value());
}

TEST_P(LettersEndToEnd, EscapeAtOnceEndsWithoutASpool) {
  Install(kCatalan);
  Start();
  Leave();
  EXPECT_FALSE(ReadFile(root_ + "TMP/zurprint.tmp").has_value());
  EXPECT_FALSE(ReadFile(root_ + "TMP/count").has_value());
}

TEST_P(LettersEndToEnd, SpanishAndAraneseSessions) {
  for (const Language* language : {&kSpanish, &kAranese}) {
    SCOPED_TRACE(language->code);
    Install(*language);
    Start();
    Batch({{kTemplate, "RECORDA"}, {kToProperty, "1"}});
    Leave();
    ExpectGolden(Copy("spool", 1), std::string("letters-") + language->code + ".spool");
    ExpectGolden(Copy("merge", 1), std::string("letters-") + language->code + ".merge");
  }
}

}  // namespace
