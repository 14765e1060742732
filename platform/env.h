#pragma once
// Environment variables.

#include <string>

namespace platform {

// The variable's value; empty when it is not set.
std::string GetEnv(const char* name);

}  // namespace platform
