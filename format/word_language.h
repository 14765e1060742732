#pragma once
// The language of dates and numbers in words, from the session's language code.

namespace format {

enum class WordLanguage { kCatalan, kSpanish, kGalician, kAranese };

// "SPA" Spanish, "GLG" Galician, "OCI" Aranese; any other code (blank, "CAT", ...)
// Catalan. Read from the session at every call.
WordLanguage SessionWordLanguage();

}  // namespace format
