// Test entry for the emulated-device tests (see Preload.h).

#include "Preload.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    tq::usbtest::RunWithPreload(argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
