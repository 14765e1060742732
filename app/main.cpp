// plecavun: circular letters and address labels for the owners of the administered
// properties. It takes no arguments: everything comes from the session.
#include "app/startup.h"

int main() {
  return app::RunModule();
}
