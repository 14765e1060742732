#include "app/letter_status.h"

#include "session/language.h"

namespace app {

std::string LetterProblemMessage(const LetterProblem& problem) {
  // Catalan texts in code page 850; the language file translates them.
  const char* text = nullptr;
  switch (problem.status) {
    case kLetterOk:
      return "";
    case kTemplateNotFound:
      text = "NO ES POT OBRIR LA PLANTILLA ";
      break;
    case kIncludesTooDeep:
      text = "MASSA PLANTILLES INCLOSES UNA DINS L'ALTRA A ";
      break;
    case kFieldFileNotWritten:
      text = "NO ES POT ESCRIURE EL FITXER ";
      break;
    case kBadLabelGeometry:
      text = "L'AMPLADA DE L'ETIQUETA HA DE SER D'1 A 96 I LES L\xD6NIES D'1 A 100";
      break;
    default:
      text = "ERROR EN LA TRAMESA ";
      break;
  }
  return session::Translate(text) + problem.name;
}

}  // namespace app
