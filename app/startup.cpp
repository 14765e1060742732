#include "app/startup.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/letter_files.h"
#include "app/letter_state.h"
#include "app/main_flow.h"
#include "app/screen_hook.h"
#include "console/key_wait.h"
#include "console/screen.h"
#include "console/window_stack.h"
#include "format/number_mask.h"
#include "forms/form_model.h"
#include "forms/form_runner.h"
#include "forms/keys.h"
#include "platform/cp850.h"
#include "platform/path.h"
#include "platform/record_manager.h"
#include "platform/terminal.h"
#include "platform/terminal_ncurses.h"
#include "print/spool.h"
#include "records/record_access.h"
#include "records/record_access_ui.h"
#include "session/language.h"
#include "session/session.h"

namespace app {
namespace {

constexpr const char* kWorkFolderText = "NO ES POT ESCRIURE A LA CARPETA DE TREBALL ";

// Closes every sequential file the module may hold open (the spool between batches).
void CloseSequentialFiles() {
  print::Spool().spoolFile.Close();
}

// Leaves the terminal as the shell had it, writes the reason (when there is one) to
// standard error, then ends the process.
[[noreturn]] void EndModule(int exitCode, const std::string& reason = {}) {
  platform::StopRealTerminal();
  if (!reason.empty()) std::fprintf(stderr, "plecavun: %s\n", reason.c_str());
  std::exit(exitCode);
}

// Stops a start-up that cannot go on: the terminal is given back and the reason
// written to standard error as UTF-8.
int StopStartUp(const std::string& reason) {
  platform::StopRealTerminal();
  std::fprintf(stderr, "plecavun: %s\n", platform::Cp850ToUtf8(reason).c_str());
  return 1;
}

// The record access layer's messages go to the console.
void InstallRecordMessages() {
  records::RecordAccessUi& ui = records::RecordUi();
  ui.showOpenFailure = [](const std::string& message) {
    console::ShowMessage(12, message);
    console::Beep();
    console::FlushPendingKeys();
    console::WaitKeyCode();
    console::PopWindow();
  };
  ui.closeSequentialFiles = CloseSequentialFiles;
  // A record file on a database server that could not be reached: the message window
  // only gives the status, so the server's own words follow on standard error for
  // whoever must mend the connection string.
  ui.endModule = [] { EndModule(0, platform::RecordManagerConnectionError()); };
  ui.showLockNotice = [](const std::string& message) {
    console::ShowMessage(24, message);
    platform::CurrentTerminal().Flush();
  };
  ui.removeLockNotice = [] { console::PopWindow(); };
}

// The folder the work files go to (the spool, the field file, saved screens) must
// take new files. A file is really made there and removed again: permission bits
// alone say nothing for a privileged user or a read-only file system.
bool WorkFolderWritable(const std::string& workDir) {
  const std::string folder = workDir.empty() ? "." : workDir;
  if (!platform::DirectoryExists(folder)) return false;
  std::string probe = platform::ResolvePath(folder);
  if (probe.empty() || probe.back() != '/') probe += '/';
  probe += ".plecavun-XXXXXX";
  const int fd = ::mkstemp(probe.data());
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

}  // namespace

int RunModule() {
  // The text columns of the template merge, shared by every letter.
  Letters().columnTable = {};

  std::string message;
  if (!platform::StartRealTerminal("plecavun", message)) {
    std::fprintf(stderr, "%s\n", message.c_str());
    return 1;
  }
  platform::CurrentTerminal().ShowCursor(false);

  session::LoadSession();
  format::SetCurrency("a,E");
  const session::SessionContext& s = session::Session();
  if (!s.rootDir.empty()) platform::ChangeDirectory(s.rootDir);
  session::Session().moduleName = kModuleName;
  if (!WorkFolderWritable(s.workDir)) {
    return StopStartUp(session::Translate(kWorkFolderText) +
                       (s.workDir.empty() ? std::string(".") : s.workDir));
  }

  forms::InstallConsoleKeyReader();
  InstallRecordMessages();
  forms::SetRunScreenHook(ModuleScreenHook);

  if (forms::LoadFormDefinition(message) != forms::kFormLoaded) return StopStartUp(message);
  OpenLetterFiles();

  RunLetters();

  CloseSequentialFiles();
  int16_t status = 0;
  records::ResetRecordManager(status);
  platform::StopRealTerminal();
  return 0;
}

}  // namespace app
