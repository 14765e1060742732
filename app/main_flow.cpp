#include "app/main_flow.h"

#include <string>

#include "app/letter_run.h"
#include "app/letter_state.h"
#include "app/module_notice.h"
#include "app/screen_hook.h"
#include "console/colour.h"
#include "console/screen.h"
#include "console/window_stack.h"
#include "format/number_mask.h"
#include "forms/form_runner.h"
#include "forms/keys.h"
#include "platform/cp850.h"
#include "platform/process.h"
#include "platform/terminal.h"
#include "platform/text_file.h"
#include "print/spool.h"
#include "session/language.h"
#include "session/session.h"

namespace app {
namespace {

// Catalan texts in code page 850; the language file translates them.
constexpr const char* kSpoolNotWrittenText = "NO ES POT ESCRIURE EL FITXER D'IMPRESSI\xE0 ";
constexpr const char* kPrintNotStartedText = "NO ES POT EXECUTAR EL PROGRAMA D'IMPRESSI\xE0 ";
constexpr const char* kPrintFailedText = "EL PROGRAMA D'IMPRESSI\xE0 HA FALLAT: ";
constexpr const char* kPrintDoneText = "TRAMESA ENVIADA A IMPRIMIR: ";
constexpr const char* kProgressTitle = "Preparant la tramesa";
constexpr const char* kOwnersReadText = "Propietaris llegits: ";
constexpr const char* kLettersText = "Cartes: ";
constexpr const char* kLabelsText = "Etiquetes: ";

// The small window that shows how far a long batch has come.
class ProgressWindow {
 public:
  ~ProgressWindow() { Close(); }

  void Show(const LetterRunProgress& progress) {
    if (!open_) {
      console::SetColour("+rh");
      console::PushWindow(kTop, kLeft, kTop + 2, kRight);
      console::DrawWindowFrame(1);
      console::LocateInWindow(0, 2);
      console::Print(" " + session::Translate(kProgressTitle) + " ");
      ownersLabel_ = session::Translate(kOwnersReadText);
      lettersLabel_ = session::Translate(kLettersText);
      labelsLabel_ = session::Translate(kLabelsText);
      open_ = true;
    } else {
      console::SetColour("+rh");
    }
    const bool letters = Letters().selection.outputKind == "C";
    std::string line = ownersLabel_ + format::NumberText(progress.ownersRead) + "   " +
                       (letters ? lettersLabel_ + format::NumberText(progress.lettersWritten)
                                : labelsLabel_ + format::NumberText(progress.labelsWritten));
    line.resize(kRight - kLeft - 3, ' ');
    console::LocateInWindow(1, 2);
    console::Print(line);
    console::SetColour("-");
    platform::CurrentTerminal().Flush();
  }

  void Close() {
    if (!open_) return;
    console::PopWindow();
    console::SetColour("n");
    open_ = false;
  }

 private:
  static constexpr int16_t kTop = 11, kLeft = 15, kRight = 66;
  bool open_ = false;
  std::string ownersLabel_, lettersLabel_, labelsLabel_;
};

// The last line of the print program's output that holds more than blanks, cut to
// what a message window can show.
std::string LastOutputLine(const std::string& path) {
  platform::TextReader in;
  std::string line, last;
  if (!in.Open(path)) return last;
  while (in.ReadLine(line)) {
    if (line.find_first_not_of(" \t") != std::string::npos) last = line;
  }
  if (last.size() > 200) last.resize(200);
  return last;
}

}  // namespace

std::string RunPrintProgram(bool& ok) {
  const session::SessionContext& s = session::Session();
  const std::string program = s.programDir + kPrintProgram;
  const std::string log = s.workDir + kPrintLogName;
  std::string why;
  const int rc = platform::RunProgram(program, {}, &why, log);
  // The program's own words are UTF-8; the message window shows code page 850.
  const std::string said = platform::Utf8ToCp850(LastOutputLine(log));
  ok = rc == 0;
  if (rc == platform::kProgramNotStarted) {
    return session::Translate(kPrintNotStartedText) + program + " (" + why + ")";
  }
  if (rc != 0) {
    std::string reason = said.empty() ? "codi " + std::to_string(rc) : said;
    if (rc == platform::kProgramKilled) reason = said.empty() ? "interromput" : said;
    return session::Translate(kPrintFailedText) + reason;
  }
  return session::Translate(kPrintDoneText) + said;
}

void RunLetters() {
  for (;;) {
    console::SetColour("n");
    platform::CurrentTerminal().Clear();
    int16_t screen = kSelectionScreen, upExit = 0, downExit = 0, key = 0;
    forms::RunScreen(screen, upExit, downExit, key);
    if (key == forms::kKeyEsc) return;

    if (!print::OpenSpool(session::Session().outputDevice)) {
      ShowNotice(session::Translate(kSpoolNotWrittenText) + print::SpoolPath());
      continue;
    }
    format::SetCurrency("p");
    LetterRunResult result;
    {
      ProgressWindow progress;
      LetterRunOptions options;
      options.progress = [&progress](const LetterRunProgress& p) { progress.Show(p); };
      result = LetterRun(options);
    }
    format::SetCurrency("");
    const bool spoolWritten = print::CloseSpool();
    if (result.status != kLetterOk) {
      ShowNotice(LetterProblemMessage({result.status, result.name}));
      continue;
    }
    if (!spoolWritten) {
      ShowNotice(session::Translate(kSpoolNotWrittenText) + print::SpoolPath());
      continue;
    }
    bool printed = false;
    ShowNotice(RunPrintProgram(printed));
  }
}

}  // namespace app
