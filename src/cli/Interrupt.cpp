#include "cli/Interrupt.h"

#include <ctime>

#include <pthread.h>

namespace tq::cli {

namespace {

sigset_t Interrupts() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

} // namespace

InterruptHold::InterruptHold() {
    const sigset_t set = Interrupts();
    held_ = pthread_sigmask(SIG_BLOCK, &set, &before_) == 0;
}

InterruptHold::~InterruptHold() {
    // The run has answered for a signal that came while it was held.
    if (held_) TakeInterrupt();
    release();
}

void InterruptHold::release() {
    if (!held_) return;
    held_ = false;
    pthread_sigmask(SIG_SETMASK, &before_, nullptr);
}

bool InterruptPending() {
    sigset_t pending;
    sigemptyset(&pending);
    if (sigpending(&pending) != 0) return false;
    return sigismember(&pending, SIGINT) == 1 || sigismember(&pending, SIGTERM) == 1;
}

bool TakeInterrupt() {
    if (!InterruptPending()) return false;
    const sigset_t set = Interrupts();
    const timespec now{};
    return sigtimedwait(&set, nullptr, &now) > 0;
}

} // namespace tq::cli
