#include "app/startup.h"

#include "platform/path.h"
#include "session/session.h"

namespace app {

int RunModule() {
  session::LoadSession();
  const session::SessionContext& s = session::Session();
  if (!s.rootDir.empty()) platform::ChangeDirectory(s.rootDir);
  session::Session().moduleName = kModuleName;
  return 0;
}

}  // namespace app
