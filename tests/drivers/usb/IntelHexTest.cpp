#include "IntelHex.h"
#include <gtest/gtest.h>
TEST(IntelHex, Placeholder) {}
