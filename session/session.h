#pragma once
// The session the module runs in: directories, calling menu, colours, working date,
// output device, language, session kind and letterhead. Filled once by LoadSession
// from the environment and the settings files, then only read.

#include <array>
#include <cstdint>
#include <string>

namespace session {

struct PaletteEntry {
  int16_t foreground = 0;  // console colour 0 .. 15; 16 or more leaves it unchanged
  int16_t background = 0;
};

struct SessionContext {
  std::string rootDir;      // ZURROOT as found; prefix of data, form and language paths
  std::string programDir;   // ZUREXE as found; where the print program is
  std::string terminalDir;  // Sessio.ini [Terminal] Dir, else ZURTERM; ends with "\"
  std::string workDir;      // ZURTMP, else terminalDir; ends with "\" when not empty
  std::string menuTitle;    // " " + Sessio.ini [Menu] Titol + " "
  std::string menuName;     // Sessio.ini [Menu] NomMenu: the help topic of F1
  std::array<PaletteEntry, 5> palette{};
  std::string sessionDate;   // packed YYYYMMDD (4 bytes), or "" when not set
  std::string outputDevice;  // OrvaTerm.ini [Sistema] Sortida
  std::string languageCode = "   ";  // exactly 3 characters: "CAT", "SPA", "GLG", "OCI", ...
  std::string sessionKind = "DOS";   // "CGI", "WIN" or "DOS"
  std::array<std::string, 8> letterhead;  // Orva.ini [Usuari] Capcalera1..8, 35 characters each
  std::string moduleName;    // set by the start-up; names the form and language files
};

// The one session context of the process.
SessionContext& Session();

// Fills the session context from the environment (ZURROOT, ZUREXE, ZURTMP, ZURTERM,
// HTTP_USER_AGENT, HTTP_ACCEPT, WINDIR, SYSTEMROOT) and the settings files
// workDir + Sessio.ini, workDir + OrvaTerm.ini and ZURROOT + Orva.ini. Missing
// variables, files and keys give the documented defaults; nothing fails. The
// module name is kept. The caller then sets the amount formatter's currency letters
// (format::SetCurrency("a,E")), which belong to the formatting layer above this one.
void LoadSession();

// Puts the context back to its state before LoadSession (for tests).
void ResetSession();

// The directory rule for workDir and terminalDir: a separator is appended when the
// text is not empty and does not already end with ":", "\" or "/".
std::string WithDirectorySeparator(std::string dir);

}  // namespace session
