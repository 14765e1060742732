#pragma once
// A clean formatting state for every test: ZURROOT names an empty folder (so the
// user settings are the defaults until a test writes Orva.ini there), today is
// 15 March 2026, the session language is Catalan.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "format/format_state.h"
#include "platform/clock.h"
#include "platform/cp850.h"
#include "platform/packed_digits.h"
#include "session/session.h"
#include "tests/support/temp_dir.h"

namespace format_testing {

class FormatTest : public ::testing::Test {
 protected:
  FormatTest() : zurRoot_("ZURROOT", root_.path()) {
    format::ResetFormatState();
    session::ResetSession();
    platform::SetToday(platform::CalendarDate{2026, 3, 15});
  }
  ~FormatTest() override {
    format::ResetFormatState();
    session::ResetSession();
    platform::SetToday(std::nullopt);
  }

  // Writes ZURROOT + "Orva.ini" with the given lines in section [Usuari].
  void WriteUserSettings(std::string_view lines) {
    testing_support::WriteFile(root_ / "Orva.ini", "[Usuari]\r\n" + std::string(lines));
  }

  static void SetLanguage(std::string_view code) {
    session::Session().languageCode = std::string(code);
  }

 private:
  testing_support::TempDir root_;
  testing_support::ScopedEnv zurRoot_;
};

// Code page 850 bytes of a UTF-8 literal, so that tables stay readable.
inline std::string Cp(std::string_view utf8) {
  return platform::Utf8ToCp850(utf8);
}

// A packed date from its digits "YYYYMMDD".
inline std::string Date(std::string_view digits) {
  return platform::PackDigits(digits);
}

}  // namespace format_testing
