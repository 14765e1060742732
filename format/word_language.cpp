#include "format/word_language.h"

#include "session/session.h"

namespace format {

WordLanguage SessionWordLanguage() {
  const std::string& code = session::Session().languageCode;
  if (code == "SPA") return WordLanguage::kSpanish;
  if (code == "GLG") return WordLanguage::kGalician;
  if (code == "OCI") return WordLanguage::kAranese;
  return WordLanguage::kCatalan;
}

}  // namespace format
