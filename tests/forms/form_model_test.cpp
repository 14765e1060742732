#include "forms/form_model.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "format/packed_date.h"
#include "session/session.h"
#include "tests/forms/form_files.h"
#include "tests/support/memory_console.h"

namespace {

using namespace form_files;
using testing_support::MemoryConsole;
using testing_support::TempDir;

class FormLoad : public ::testing::Test {
 protected:
  void SetUp() override { session::Session().sessionDate = format::PackDigits("20260315"); }
  void TearDown() override { forms::ResetForm(); }

  int16_t Load(const std::string& text) { return LoadForm(mc.dir(), text, message); }

  MemoryConsole mc;
  std::string message;
};

// Screen 1 with the 15 fields the module reads, editable, as the module's own.
S ModuleScreen() {
  S s;
  s.box = {2, 1, 24, 80};
  for (int i = 0; i < 15; ++i) s.fields.push_back({1 + i, 3, "Camp: ", 10});
  return s;
}

TEST_F(FormLoad, ReadsScreensFieldsAndLookups) {
  S one = ModuleScreen();
  one.next = 2;
  one.fields[1] = {3, 3, "Plantilla, carta ", 8, 0, 0, 1, 5, 1, ""};
  one.fields[6] = {8, 3, "Rebuts ", 1, 0, 30, 0, 0, 0, "|T,T  tots|P,P  pendents"};
  S two;
  two.keyList = "d,1b";
  two.box = {10, 18, 14, 62};
  two.fields = {{2, 3, "Segur? ", 1}};
  const std::string text =
      "' capcalera\r\n" + FormText({one, two}, {{60, 1, {3, 9, 21, 72}, 2, "   _Plantilles_", 0}});
  ASSERT_EQ(Load(text), forms::kFormLoaded) << message;
  const forms::FormModel& m = forms::Form();
  EXPECT_EQ(m.screenCount, 2);
  EXPECT_EQ(m.maxFields, 20);
  EXPECT_EQ(m.lookupCount, 1);
  const forms::FormField* f = forms::FindField(1, 2);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->label, "Plantilla, carta ");  // quoted: the comma stays in the label
  EXPECT_EQ(f->width, 8);
  EXPECT_EQ(f->flags, 1);
  EXPECT_EQ(f->kind, 5);
  EXPECT_EQ(f->lookup, 1);
  EXPECT_EQ(forms::FindField(1, 7)->choices, "|T,T  tots|P,P  pendents");
  EXPECT_EQ(forms::FindScreen(1)->nextScreen, 2);
  EXPECT_EQ(forms::FindScreen(2)->keyList, "d,1b");
  EXPECT_EQ(forms::FindScreen(2)->box, (forms::Box{10, 18, 14, 62}));
  EXPECT_EQ(forms::FindField(2, 1)->value, " ");
  const forms::Lookup* l = forms::FindLookup(1);
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->recordFile, 60);
  EXPECT_EQ(l->keyNumber, 1);
  EXPECT_EQ(l->filterScreen, 2);
  EXPECT_EQ(l->title, "   _Plantilles_");
  EXPECT_EQ(forms::FindLookup(2), nullptr);
  EXPECT_EQ(forms::FindField(2, 2), nullptr);
  EXPECT_EQ(forms::FindScreen(3), nullptr);
}

TEST_F(FormLoad, StoresTheDefaultsOfScreenOneCutOrPaddedToEachWidth) {
  S one = ModuleScreen();
  for (auto& f : one.fields) f.width = 3;
  one.fields[0].width = 8;
  ASSERT_EQ(Load(FormText({one}, {L{}})), forms::kFormLoaded) << message;
  const char* expected[] = {"150326  ", "   ", "1  ", "0  ", "999", "999", "T  ", "1  ",
                            "99 ",      "1  ", "200", "C  ", "45 ", "9  ", "16 "};
  for (int16_t i = 1; i <= 15; ++i) {
    EXPECT_EQ(forms::FindField(1, i)->value, expected[i - 1]) << "field " << i;
  }
}

TEST_F(FormLoad, CommentsAreRecognisedOnlyWhereARecordBegins) {
  S one = ModuleScreen();
  S two;
  two.fields = {{2, 3, "A ", 1}, {3, 3, "B ", 1}};
  std::string text = "' one\r\n'two\r\n" + FormText({one}, {}).substr(0, 0);
  // Between two screen records, before the lookup count and before a lookup: dropped.
  text = "'a\r\n2,20\r\n'b\r\n" + ScreenLines(one) + "' between screens\r\n\r\n" +
         ScreenLines(two) + "'c\r\n1\r\n'd\r\n" + LookupLine(L{}) + "\r\n";
  ASSERT_EQ(Load(text), forms::kFormLoaded) << message;
  EXPECT_EQ(forms::FindField(2, 2)->label, "B ");

  // Between the field groups of one screen the line is data, and not a number.
  const std::string lines = ScreenLines(two);
  const size_t cut = lines.find("\r\n", lines.find("\r\n") + 2) + 2;  // after field 1
  text = "2,20\r\n" + ScreenLines(one) + lines.substr(0, cut) + "' inside\r\n" + lines.substr(cut) +
         "1\r\n" + LookupLine(L{}) + "\r\n";
  ASSERT_EQ(Load(text), forms::kFormMalformed);
  EXPECT_NE(message.find("line 20"), std::string::npos) << message;
  EXPECT_NE(message.find("screen 2 field 2 row is not a number"), std::string::npos) << message;
}

TEST_F(FormLoad, AcceptsBareLineFeedsAndAScreenWithoutFields) {
  S one = ModuleScreen();
  S empty;
  empty.fields = {};
  std::string text = "'x\n" + FormText({one, empty}, {L{}});
  std::string bare;
  for (char c : text)
    if (c != '\r') bare.push_back(c);
  ASSERT_EQ(Load(bare), forms::kFormLoaded) << message;
  EXPECT_EQ(forms::FindScreen(2)->fieldCount, 0);
  EXPECT_EQ(forms::FindField(1, 15)->label, "Camp: ");
}

TEST_F(FormLoad, AnUnquotedLabelEndsAtItsCommaAndShiftsTheItems) {
  S one = ModuleScreen();
  std::string text = FormText({one}, {L{}});
  const std::string quoted = "\"Camp: \",10";
  text.replace(text.find(quoted), quoted.size(), "Camp, dos,10");
  ASSERT_EQ(Load(text), forms::kFormMalformed);
  EXPECT_NE(message.find("line 3: screen 1 field 1 width is not a number: \"dos\""),
            std::string::npos)
      << message;
}

TEST_F(FormLoad, TranslatesLabelsChoicesAndTitles) {
  session::Session().languageCode = "SPA";
  session::Session().rootDir = mc.dir().path();
  session::Session().moduleName = "TEST";
  testing_support::WriteFile(mc.dir() / "LOCALE/TEST.LNG",
                             "\"Camp: \",\"Campo G: \",\"Camp O: \",\"Campo: \"\r\n"
                             "\"|S,Si\",\"|S,Si G\",\"|S,Si O\",\"|S,S\xA1\"\r\n"
                             "\"Llista\",\"Lista G\",\"Lista O\",\"Lista\"\r\n");
  S one = ModuleScreen();
  one.fields[14] = {15, 3, "Camp: ", 1, 0, 0, 0, 0, 0, "|S,Si"};
  L l;
  l.title = "Llista";
  ASSERT_EQ(forms::LoadFormDefinition(message), forms::kFormMissing);
  EXPECT_NE(message.find("FORMS\\TEST.ZPN"), std::string::npos) << message;
  testing_support::WriteFile(mc.dir() / "FORMS/TEST.ZPN", FormText({one}, {l}));
  ASSERT_EQ(forms::LoadFormDefinition(message), forms::kFormLoaded) << message;
  EXPECT_EQ(forms::FindField(1, 1)->label, "Campo: ");
  EXPECT_EQ(forms::FindField(1, 15)->choices, "|S,S\xA1");
  EXPECT_EQ(forms::FindLookup(1)->title, "Lista");
}

struct BadCase {
  const char* name;
  std::string text;
  int line;
  const char* reason;
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST_F(FormLoad, RefusesMalformedFilesNamingTheLine) {
  // Line 1 header, line 2 screen 1, lines 3 .. 17 its fields, then the other screens.
  const S one = ModuleScreen();
  S two;
  two.box = {10, 18, 14, 62};
  two.fields = {{2, 3, "Segur? ", 1, 0, 17, 0, 0, 0, "|S,Si|N,No, torna"}};
  const L look{60, 1, {3, 9, 21, 72}, 0, "Llista", 0};
  const std::string good = FormText({one, two}, {look});
  ASSERT_EQ(Load(good), forms::kFormLoaded) << message;

  auto withScreen2 = [&](S s) { return FormText({one, s}, {look}); };
  auto withField = [&](F f) {
    S s = two;
    s.fields = {f};
    return withScreen2(s);
  };
  auto withLookup = [&](L l) { return FormText({one, two}, {l}); };
  S loopA = two;
  loopA.next = 3;
  S loopB;
  loopB.next = 2;
  S self = two;
  self.next = 2;
  S noWindowRow;
  noWindowRow.fields = {{26, 1, "x", 1}};
  S fewer = ModuleScreen();
  fewer.fields.resize(14);
  S tooMany = two;
  tooMany.fields.assign(21, two.fields[0]);
  L nestedLoop = look;
  nestedLoop.nested = 1;

  const BadCase cases[] = {
      {"empty file", "", 1, "the file ends before the header"},
      {"only comments", "' a\r\n' b\r\n", 2, "the file ends before the header"},
      {"cut short inside a field", good.substr(0, good.find("1,3,\"Camp: \",") + 13), 3,
       "the file ends before screen 1 field 1 width"},
      {"cut short before the lookups", good.substr(0, good.rfind("1\r\n60")), 19,
       "the file ends before the lookup count"},
      {"cut short inside a lookup", good.substr(0, good.rfind(",\"Llista\"")), 21,
       "the file ends before lookup 1 title"},
      {"screen count zero", Replace(good, "2,20\r\n", "0,20\r\n"), 1,
       "the screen count is 0, outside 1 .. 200"},
      {"screen count absurd", Replace(good, "2,20\r\n", "30000,20\r\n"), 1,
       "the screen count is 30000"},
      {"field count absurd", Replace(good, "2,20\r\n", "2,30000\r\n"), 1,
       "the largest field count is 30000"},
      {"fewer fields allowed than the module reads", Replace(good, "2,20\r\n", "2,14\r\n"), 1,
       "the largest field count is 14, outside 15 .. 200"},
      {"field count above the largest", withScreen2(tooMany), 18,
       "screen 2 field count is 21, outside 0 .. 20"},
      {"negative width", withField({2, 3, "x", -1}), 19, "screen 2 field 1 width is -1"},
      {"negative line width", withField({2, 3, "x", 4, -2}), 19,
       "screen 2 field 1 line width is -2"},
      {"row below a window", withField({4, 3, "x", 1}), 19,
       "screen 2 field 1 row 4 is outside 1 .. 3"},
      {"row beyond the console", withScreen2(noWindowRow), 19,
       "screen 2 field 1 row 26 is outside 1 .. 25"},
      {"value past the window's right edge", withField({2, 3, "Segur? ", 1, 0, 34}), 19,
       "screen 2 field 1 runs past the last column 43 (it needs 44)"},
      {"multi-row field below the window", withField({2, 3, "x", 30, 10}), 19,
       "screen 2 field 1 runs below the last row 3"},
      {"text code description past the edge", withField({2, 3, "Codi ", 8, 0, 0, 0, 5}), 19,
       "screen 2 field 1 runs past the last column 43 (it needs 47)"},
      {"text code description below the window", withField({3, 3, "C ", 8, 0, 0, 0, 5}), 19,
       "screen 2 field 1 runs below the last row 3"},
      {"label longer than 80", withField({2, 3, std::string(81, 'a'), 1}), 19,
       "screen 2 field 1 label is longer than 80 characters"},
      {"box bottom above top", withScreen2([&] {
         S s = two;
         s.box = {14, 18, 10, 62};
         return s;
       }()),
       18, "screen 2 box bottom 10 is not below its top 14"},
      {"box right beyond the console", withScreen2([&] {
         S s = two;
         s.box = {10, 18, 14, 81};
         return s;
       }()),
       18, "screen 2 box right is 81, outside 1 .. 80"},
      {"next screen missing", withScreen2([&] {
         S s = two;
         s.next = 5;
         return s;
       }()),
       18, "screen 2 next screen 5 does not exist (there are 2)"},
      {"next screen to itself", withScreen2(self), 18,
       "the next-screen links from screen 2 come back"},
      {"next screen loop", FormText({one, loopA, loopB}, {look}), 18,
       "the next-screen links from screen 2 come back"},
      {"field lookup missing", withField({2, 3, "x", 1, 0, 0, 0, 0, 2}), 19,
       "screen 2 field 1 lookup 2 does not exist (there are 1)"},
      {"filter screen missing", withLookup({60, 1, {3, 9, 21, 72}, 3, "t", 0}), 21,
       "lookup 1 filter screen 3 does not exist (there are 2)"},
      {"nested lookup missing", withLookup({60, 1, {3, 9, 21, 72}, 0, "t", 4}), 21,
       "lookup 1 nested lookup 4 does not exist"},
      {"nested lookup loop", withLookup(nestedLoop), 21,
       "the nested lookups from lookup 1 come back"},
      {"lookup box without inside", withLookup({60, 1, {3, 9, 4, 72}, 0, "t", 0}), 21,
       "lookup 1 box leaves no room inside its frame"},
      {"lookup count zero", Replace(good, "\r\n1\r\n60", "\r\n0\r\n60"), 20,
       "the lookup count is 0"},
      {"negative record file", withLookup({-1, 1, {3, 9, 21, 72}, 0, "t", 0}), 21,
       "lookup 1 record file is -1"},
      {"screen 1 short of the module's fields", FormText({fewer, two}, {look}), 2,
       "screen 1 has 14 fields; the module reads fields 1 .. 15 of it"},
      {"quote not closed", Replace(good, "\"|S,Si|N,No, torna\"", "\"|S,Si|N,No, torna"), 19,
       "the quoted text of screen 2 field 1 choices is not closed"},
      {"text after a quote", Replace(good, "\"Segur? \"", "\"Segur? \"x"), 19,
       "unexpected characters after the quoted text of screen 2 field 1 label"},
      {"a word for a number", Replace(good, "2,3,\"Segur", "dos,3,\"Segur"), 19,
       "screen 2 field 1 row is not a number: \"dos\""},
      {"choice arrow off the left edge", withField({2, 1, "", 1, 0, 4, 0, 0, 0, "|S,Si"}), 19,
       "screen 2 field 1 has no room for the choice arrow on its left"},
  };
  for (const BadCase& c : cases) {
    SCOPED_TRACE(c.name);
    message.clear();
    EXPECT_EQ(Load(c.text), forms::kFormMalformed);
    EXPECT_NE(message.find("TEST.ZPN"), std::string::npos) << message;
    EXPECT_NE(message.find("line " + std::to_string(c.line) + ": "), std::string::npos) << message;
    EXPECT_NE(message.find(c.reason), std::string::npos) << message;
    EXPECT_EQ(forms::Form().screenCount, 0);
    EXPECT_EQ(forms::FindScreen(1), nullptr);
  }
}

TEST_F(FormLoad, AMissingFileIsReported) {
  EXPECT_EQ(forms::LoadFormDefinitionFrom(mc.dir() / "FORMS/NONE.ZPN", message),
            forms::kFormMissing);
  EXPECT_NE(message.find("NONE.ZPN"), std::string::npos) << message;
  EXPECT_EQ(forms::FindScreen(1), nullptr);
}

TEST_F(FormLoad, LoadsTheDemoForm) {
  TempDir demo;
  const std::string command =
      "python3 " + std::string(ZUR_SOURCE_DIR) + "/demo/layout.py " + demo.path() + " > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  session::Session().rootDir = demo.path();
  session::Session().moduleName = "PLECAVUN";
  ASSERT_EQ(forms::LoadFormDefinition(message), forms::kFormLoaded) << message;
  EXPECT_EQ(forms::Form().screenCount, 3);
  EXPECT_EQ(forms::Form().lookupCount, 4);
  EXPECT_EQ(forms::FindField(1, 7)->value, "T");
  EXPECT_EQ(forms::FindField(1, 1)->value, "150326    ");
  EXPECT_EQ(forms::FindField(1, 2)->label, "Plantilla de la carta ..... ");
  EXPECT_EQ(forms::FindLookup(1)->filterScreen, 3);
}

// Translated labels, choice lists and titles must still fit the demo's screens.
TEST_F(FormLoad, LoadsTheDemoFormInEveryLanguage) {
  TempDir demo;
  const std::string command =
      "python3 " + std::string(ZUR_SOURCE_DIR) + "/demo/layout.py " + demo.path() + " > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  session::Session().rootDir = demo.path();
  session::Session().moduleName = "PLECAVUN";
  struct Case {
    const char* code;
    const char* dateLabel;
  } cases[] = {{"CAT", "Data de les cartes ........ "},
               {"SPA", "Fecha de las cartas ....... "},
               {"GLG", "Data das cartas ........... "},
               {"OCI", "Data des letres ........... "}};
  for (const Case& c : cases) {
    session::Session().languageCode = c.code;
    ASSERT_EQ(forms::LoadFormDefinition(message), forms::kFormLoaded) << c.code << ": " << message;
    EXPECT_EQ(forms::FindField(1, 1)->label, c.dateLabel) << c.code;
  }
}

}  // namespace
