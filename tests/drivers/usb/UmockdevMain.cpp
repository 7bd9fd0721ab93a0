// Test entry for the emulated-device tests: the USB emulation needs umockdev's preload
// library in the process from its start, so the binary re-executes itself with it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

constexpr const char* kPreload = "libumockdev-preload.so.0";

bool preloaded() {
    const char* preload = std::getenv("LD_PRELOAD");
    return preload && std::strstr(preload, kPreload);
}

} // namespace

int main(int argc, char** argv) {
    if (!preloaded()) {
        std::string preload = kPreload;
        if (const char* old = std::getenv("LD_PRELOAD"); old && *old)
            preload = std::string(old) + ":" + preload;
        setenv("LD_PRELOAD", preload.c_str(), 1);
        // The sanitizer runtime is not first in the preload list any more; that is fine
        // here, as it is linked into the binary itself.
        std::string asan = "verify_asan_link_order=0";
        if (const char* old = std::getenv("ASAN_OPTIONS"); old && *old)
            asan = std::string(old) + ":" + asan;
        setenv("ASAN_OPTIONS", asan.c_str(), 1);
        execv("/proc/self/exe", argv);
        perror("re-executing with umockdev's preload library");
        return 1;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
