#pragma once
// The USB emulation needs umockdev's preload library in the process from its start: a test or
// benchmark entry calls RunWithPreload first, which re-executes the binary with it once.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace tq::usbtest {

inline constexpr const char* kPreload = "libumockdev-preload.so.0";

// Returns when the preload library is in place; otherwise re-executes the program with it
// (never returning), or ends it if that fails.
inline void RunWithPreload(char** argv) {
    const char* preload = std::getenv("LD_PRELOAD");
    if (preload && std::strstr(preload, kPreload)) return;
    std::string list = kPreload;
    if (preload && *preload) list = std::string(preload) + ":" + list;
    setenv("LD_PRELOAD", list.c_str(), 1);
    // The sanitizer runtime is not first in the preload list any more; that is fine here, as
    // it is linked into the binary itself.
    std::string asan = "verify_asan_link_order=0";
    if (const char* old = std::getenv("ASAN_OPTIONS"); old && *old)
        asan = std::string(old) + ":" + asan;
    setenv("ASAN_OPTIONS", asan.c_str(), 1);
    execv("/proc/self/exe", argv);
    std::perror("re-executing with umockdev's preload library");
    std::exit(1);
}

} // namespace tq::usbtest
