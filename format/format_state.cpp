#include "format/format_state.h"

#include <algorithm>

#include "platform/ascii_text.h"
#include "platform/env.h"
#include "session/settings.h"

namespace format {
namespace {

using platform::UpperAscii;

// The user's settings file: ZURROOT exactly as set, followed by the file name.
std::string UserSettingsFile() {
  return platform::GetEnv("ZURROOT") + "Orva.ini";
}

std::string UserSetting(const char* key) {
  return session::ReadSetting(UserSettingsFile(), "Usuari", key);
}

// One character slot: the first character of the setting, a blank when it is
// missing or empty, and the default for a blank (or a stray NUL, which would leave
// the slot looking unread).
char CharacterSetting(const char* key, char fallback) {
  const std::string value = UserSetting(key);
  const char c = value.empty() ? ' ' : value[0];
  return (c == ' ' || c == '\0') ? fallback : c;
}

}  // namespace

FormatState& State() {
  static FormatState state;
  return state;
}

void ResetFormatState() {
  State() = FormatState{};
}

const NumberFormatSettings& LoadedNumberFormat() {
  NumberFormatSettings& s = State().numberFormat;
  if (s.decimalChar == '\0') s.decimalChar = CharacterSetting("DecCaracter", '\'');
  if (s.thousandsChar == '\0') s.thousandsChar = CharacterSetting("MilCaracter", '.');
  return s;
}

const DateTextSettings& LoadedDateText() {
  DateTextSettings& s = State().dateText;
  if (s.dateSeparator == '\0') s.dateSeparator = CharacterSetting("DatCaracter", '/');
  if (std::all_of(s.dateOrder.begin(), s.dateOrder.end(), [](char c) { return c == '\0'; })) {
    std::string order = UserSetting("DatOrdre");
    order.resize(s.dateOrder.size(), ' ');
    if (order.find_first_not_of(' ') == std::string::npos) order = "DMA";
    // The letters are compared with the upper-cased parts of each call, so a
    // setting written in small letters ("dma") still names the three parts.
    for (size_t i = 0; i < s.dateOrder.size(); ++i) s.dateOrder[i] = UpperAscii(order[i]);
  }
  return s;
}

}  // namespace format
