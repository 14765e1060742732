#include "session/settings.h"

#include "platform/ascii_text.h"
#include "platform/text_file.h"

namespace session {
namespace {

using platform::EqualIgnoringAsciiCase;
using platform::TrimBlanks;

// The line without its comment and its leading blanks; nullopt-like empty view when
// nothing but blanks remains.
std::string_view Meaningful(std::string_view line) {
  size_t semicolon = line.find(';');
  if (semicolon != std::string_view::npos) line = line.substr(0, semicolon);
  size_t first = line.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return line.substr(first);
}

std::string_view SectionName(std::string_view header) {
  std::string_view rest = header.substr(1);
  size_t close = rest.find(']');
  if (close != std::string_view::npos) rest = rest.substr(0, close);
  return TrimBlanks(rest);
}

}  // namespace

std::string ReadSetting(std::string_view fileName, std::string_view section, std::string_view key) {
  const std::string_view wantedSection = TrimBlanks(section);
  const std::string_view wantedKey = TrimBlanks(key);
  platform::TextReader reader;
  if (!reader.Open(fileName)) return {};

  std::string value;
  bool inSection = false;
  std::string raw;
  while (reader.ReadLine(raw)) {
    std::string_view line = Meaningful(raw);
    if (line.empty()) continue;
    if (!inSection) {
      if (line[0] == '[' && EqualIgnoringAsciiCase(SectionName(line), wantedSection)) {
        inSection = true;
      }
      continue;
    }
    if (line[0] == '[') break;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view name = line.substr(0, eq);
    size_t end = name.find_last_not_of(' ');
    name = end == std::string_view::npos ? std::string_view() : name.substr(0, end + 1);
    if (EqualIgnoringAsciiCase(name, wantedKey)) {
      value = std::string(line.substr(eq + 1));
      break;
    }
  }
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace session
