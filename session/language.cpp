#include "session/language.h"

#include "platform/text_file.h"
#include "session/session.h"

namespace session {
namespace {

// Reads the next field of the language file. Fields end at a comma or a line end
// (CR LF, CR or LF); a field that begins with a double quote runs to the next quote,
// and anything after that quote up to the field's end is skipped. Line feeds and
// tabs inside an unquoted field are dropped. False when the file has ended before
// the field began.
bool ReadField(platform::TextReader& in, std::string& field) {
  field.clear();
  int c = in.ReadChar();
  while (c == ' ') c = in.ReadChar();
  if (c < 0) return false;
  auto endOfField = [&](int ch) {
    if (ch == '\r' && in.PeekChar() == '\n') in.ReadChar();
  };
  if (c == '"') {
    c = in.ReadChar();
    while (c >= 0 && c != '"') {
      if (field.size() < platform::kMaxLineBytes) field.push_back(static_cast<char>(c));
      c = in.ReadChar();
    }
    c = in.ReadChar();
    while (c >= 0 && c != ',' && c != '\r' && c != '\n') c = in.ReadChar();
    endOfField(c);
    return true;
  }
  while (c >= 0 && c != ',' && c != '\r' && c != '\n') {
    if (c != '\t' && field.size() < platform::kMaxLineBytes) field.push_back(static_cast<char>(c));
    c = in.ReadChar();
  }
  endOfField(c);
  return true;
}

// Which field of a group holds the session's language: 2 GLG, 3 OCI, 4 SPA, 0 none.
int FieldOfLanguage(const std::string& code) {
  if (code == "GLG") return 2;
  if (code == "OCI") return 3;
  if (code == "SPA") return 4;
  return 0;
}

}  // namespace

std::string LanguageFilePath() {
  const SessionContext& s = Session();
  return s.rootDir + "LOCALE\\" + s.moduleName + ".LNG";
}

std::string Translate(std::string_view text) {
  const std::string& code = Session().languageCode;
  if (code == "CAT") return std::string(text);
  const std::string path = LanguageFilePath();
  {
    platform::TextWriter create;
    if (!create.Append(path)) return std::string(text);
    create.Close();
  }
  platform::TextReader in;
  if (!in.Open(path)) return std::string(text);

  const int wanted = FieldOfLanguage(code);
  std::string group[4];
  while (ReadField(in, group[0])) {
    bool complete = true;
    for (int k = 1; k < 4 && complete; ++k) complete = ReadField(in, group[k]);
    if (!complete) break;
    if (group[0] == text) {
      return wanted == 0 ? std::string(text) : group[wanted - 1];
    }
  }
  return std::string(text);
}

}  // namespace session
