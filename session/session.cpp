#include "session/session.h"

#include "platform/ascii_text.h"
#include "platform/env.h"
#include "platform/packed_digits.h"
#include "session/settings.h"

namespace session {
namespace {

using platform::LeadingWholeNumber;

constexpr const char* kDefaultColourSet = "15000700000700070007";
constexpr size_t kLetterheadWidth = 35;

std::string FitTo(std::string text, size_t width) {
  text.resize(width, ' ');
  return text;
}

bool IsAllBlanks(const std::string& s) {
  return s.find_first_not_of(' ') == std::string::npos;
}

}  // namespace

SessionContext& Session() {
  static SessionContext context;
  return context;
}

void ResetSession() {
  Session() = SessionContext{};
}

std::string WithDirectorySeparator(std::string dir) {
  if (!dir.empty() && dir.back() != ':' && dir.back() != '\\' && dir.back() != '/') dir += '\\';
  return dir;
}

void LoadSession() {
  SessionContext& s = Session();
  const std::string moduleName = s.moduleName;
  s = SessionContext{};
  s.moduleName = moduleName;

  s.rootDir = platform::GetEnv("ZURROOT");
  s.programDir = platform::GetEnv("ZUREXE");
  s.workDir = WithDirectorySeparator(platform::GetEnv("ZURTMP"));

  const std::string sessionFile = s.workDir + "Sessio.ini";
  s.menuTitle = " " + ReadSetting(sessionFile, "Menu", "Titol") + " ";
  s.menuName = ReadSetting(sessionFile, "Menu", "NomMenu");
  s.terminalDir = ReadSetting(sessionFile, "Terminal", "Dir");
  if (s.terminalDir.empty()) s.terminalDir = platform::GetEnv("ZURTERM");
  s.terminalDir = WithDirectorySeparator(s.terminalDir);
  if (s.workDir.empty()) s.workDir = s.terminalDir;

  const std::string terminalFile = s.workDir + "OrvaTerm.ini";
  long selection = LeadingWholeNumber(ReadSetting(terminalFile, "Pantalla", "Seleccio"));
  std::string colours = ReadSetting(terminalFile, "Pantalla", "Col" + std::to_string(selection));
  if (colours.empty()) colours = kDefaultColourSet;
  for (size_t i = 0; i < s.palette.size(); ++i) {
    auto pair = [&](size_t at) -> int16_t {
      if (at >= colours.size()) return 0;
      return static_cast<int16_t>(LeadingWholeNumber(colours.substr(at, 2)));
    };
    s.palette[i].foreground = pair(4 * i);
    s.palette[i].background = pair(4 * i + 2);
  }

  std::string date = ReadSetting(terminalFile, "Sistema", "Data");
  s.sessionDate = date.empty() ? std::string() : platform::PackDigits(date);
  s.outputDevice = ReadSetting(terminalFile, "Sistema", "Sortida");

  const std::string userFile = s.rootDir + "Orva.ini";
  s.languageCode = FitTo(ReadSetting(terminalFile, "Sistema", "Idioma"), 3);
  if (IsAllBlanks(s.languageCode)) {
    s.languageCode = FitTo(ReadSetting(userFile, "Usuari", "Idioma"), 3);
  }

  if (!platform::GetEnv("HTTP_USER_AGENT").empty() || !platform::GetEnv("HTTP_ACCEPT").empty()) {
    s.sessionKind = "CGI";
  } else if (!platform::GetEnv("WINDIR").empty() || !platform::GetEnv("SYSTEMROOT").empty()) {
    s.sessionKind = "WIN";
  } else {
    s.sessionKind = "DOS";
  }

  for (size_t i = 0; i < s.letterhead.size(); ++i) {
    s.letterhead[i] = FitTo(ReadSetting(userFile, "Usuari", "Capcalera" + std::to_string(i + 1)),
                            kLetterheadWidth);
  }
}

}  // namespace session
