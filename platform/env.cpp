#include "platform/env.h"

#include <cstdlib>

namespace platform {

std::string GetEnv(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

}  // namespace platform
