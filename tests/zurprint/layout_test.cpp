#include "tools/zurprint/page_layout.h"

#include <gtest/gtest.h>

namespace {
TEST(Placeholder, Builds) { SUCCEED(); }
}  // namespace
