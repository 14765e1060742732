// The operator's message for what stopped a batch.

#include <gtest/gtest.h>

#include <string>

#include "app/letter_status.h"
#include "session/session.h"

namespace {

TEST(LetterProblemMessage, NamesWhatStoppedTheBatch) {
  session::ResetSession();
  session::Session().languageCode = "CAT";
  const struct {
    app::LetterProblem problem;
    std::string expected;
  } cases[] = {
      {{app::kLetterOk, ""}, ""},
      {{app::kTemplateNotFound, "CARTA"}, "NO ES POT OBRIR LA PLANTILLA CARTA"},
      {{app::kIncludesTooDeep, "SELF"}, "MASSA PLANTILLES INCLOSES UNA DINS L'ALTRA A SELF"},
      {{app::kFieldFileNotWritten, "/tmp/merge.tmp"},
       "NO ES POT ESCRIURE EL FITXER /tmp/merge.tmp"},
      {{app::kBadLabelGeometry, ""},
       "L'AMPLADA DE L'ETIQUETA HA DE SER D'1 A 96 I LES L\xD6NIES D'1 A 100"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(app::LetterProblemMessage(c.problem), c.expected) << c.problem.status;
  }
  session::ResetSession();
}

}  // namespace
