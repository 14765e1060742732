#pragma once
// The language file rootDir + LOCALE\<module>.LNG: each Catalan text of the module
// with its Galician, Aranese and Spanish equivalents, in groups of four fields.

#include <string>
#include <string_view>

namespace session {

// The text in the session's language. "CAT" returns it at once without touching the
// file. Otherwise the language file is created when missing (nothing written) and
// scanned from the start; the first group whose Catalan field equals the text byte
// for byte gives field 2 (GLG), 3 (OCI) or 4 (SPA); any other code, a text the file
// does not list, a group cut short at the end of the file, or a file that cannot be
// created or read leave the text unchanged. Nothing is cached.
std::string Translate(std::string_view text);

// The language file's path for the session's module: rootDir + "LOCALE\" + name + ".LNG".
std::string LanguageFilePath();

}  // namespace session
