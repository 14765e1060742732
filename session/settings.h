#pragma once
// The settings-file reader: one key of one section of a settings file (Sessio.ini,
// OrvaTerm.ini, Orva.ini) per call.

#include <string>
#include <string_view>

namespace session {

// The value of `key` in the first section named `section` of the settings file
// `fileName` (a suite path), or "" when the file, the section or the key is absent.
// Names are compared trimmed of blanks and without regard to ASCII case. A comment
// runs from the first ";" of a line to its end; the value is everything after the
// first "=" exactly as written (blanks kept), without one pair of enclosing double
// quotes. A header ends the wanted section; only the first occurrence of a section
// is searched. Entries before the first header are never found. The file is read
// afresh on every call.
std::string ReadSetting(std::string_view fileName, std::string_view section,
                        std::string_view key);

}  // namespace session
