#include "cli/interrupt_guard.h"

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>

namespace troz::cli {

namespace {

// Built once, outside the handler: a handler may only write what is already there.
struct InterruptNotice {
    InterruptNotice() {
        const int length = std::snprintf(text, sizeof text, "\n%s\n", kInterruptWhileProgramming);
        size = length < 0 ? 0 : std::min(static_cast<std::size_t>(length), sizeof text - 1);
    }
    char text[160] = {};
    std::size_t size = 0;
};

InterruptNotice notice;

void RefuseInterrupt(int signalNumber) {
    // Windows puts the default handler back before calling this one.
    std::signal(signalNumber, RefuseInterrupt);
    const auto written = write(STDERR_FILENO, notice.text, notice.size);
    static_cast<void>(written);
}

}  // namespace

void SetInterruptsRefused(bool refused) {
    // What was there before is put back, so a program started with interrupts ignored (in
    // the background of a script) keeps ignoring them.
    static void (*previous)(int) = SIG_DFL;
    static bool refusing = false;
    if (refused == refusing) {
        return;
    }
    if (refused) {
        previous = std::signal(SIGINT, RefuseInterrupt);
        if (previous == SIG_ERR) {
            previous = SIG_DFL;
        }
    } else {
        std::signal(SIGINT, previous);
    }
    refusing = refused;
}

}  // namespace troz::cli
