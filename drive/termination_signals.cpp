#include "drive/termination_signals.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>

namespace troz {

namespace {

#ifdef _WIN32
// The console's Ctrl+Break arrives as SIGBREAK; Windows knows no SIGHUP or SIGQUIT.
constexpr std::array kHeldSignals = {SIGINT, SIGTERM, SIGBREAK};
constexpr int kStandardError = 2;
int WriteBytes(int descriptor, const char* bytes, std::size_t size) {
    return _write(descriptor, bytes, static_cast<unsigned>(size));
}
#else
constexpr std::array kHeldSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kStandardError = STDERR_FILENO;
int WriteBytes(int descriptor, const char* bytes, std::size_t size) {
    return static_cast<int>(write(descriptor, bytes, size));
}
#endif

// Built before the handlers go in: a handler may only write what is already there.
struct Notice {
    void Set(const char* line) {
        const int length = std::snprintf(text, sizeof text, "\n%s\n", line);
        size = length < 0 ? 0 : std::min(static_cast<std::size_t>(length), sizeof text - 1);
    }
    char text[256] = {};
    std::size_t size = 0;
};

Notice refusedNotice;
Notice delayedNotice;
volatile std::sig_atomic_t heldSignal = 0;
volatile std::sig_atomic_t wakeDescriptor = -1;
bool holding = false;

#ifdef _WIN32
using Previous = void (*)(int);
#else
using Previous = struct sigaction;
#endif
std::array<Previous, kHeldSignals.size()> previous{};

void HoldSignal(int signalNumber) {
#ifdef _WIN32
    // Windows puts the default handler back before calling this one.
    std::signal(signalNumber, HoldSignal);
#endif
    const Notice& notice = signalNumber == SIGINT ? refusedNotice : delayedNotice;
    static_cast<void>(WriteBytes(kStandardError, notice.text, notice.size));
    if (signalNumber != SIGINT && heldSignal == 0) {
        heldSignal = signalNumber;
    }
    if (wakeDescriptor >= 0) {
        const char wake = 1;
        static_cast<void>(WriteBytes(wakeDescriptor, &wake, 1));
    }
}

}  // namespace

void HoldTerminationSignals(const HeldSignalNotices& notices, int wake) {
    if (holding) {
        return;
    }
    refusedNotice.Set(notices.refused);
    delayedNotice.Set(notices.delayed);
    heldSignal = 0;
    wakeDescriptor = wake;
    // What was there before is put back afterwards, so a program started with a signal
    // ignored (in the background of a script, under nohup) keeps ignoring it.
    for (std::size_t i = 0; i < kHeldSignals.size(); ++i) {
#ifdef _WIN32
        previous[i] = std::signal(kHeldSignals[i], HoldSignal);
        if (previous[i] == SIG_ERR) {
            previous[i] = SIG_DFL;
        }
#else
        struct sigaction action {};
        action.sa_handler = HoldSignal;
        sigemptyset(&action.sa_mask);
        // Slow calls (the terminal, a pipe) go on after the notice instead of failing.
        action.sa_flags = SA_RESTART;
        sigaction(kHeldSignals[i], &action, &previous[i]);
#endif
    }
    holding = true;
}

int ReleaseTerminationSignals() {
    if (!holding) {
        return 0;
    }
    for (std::size_t i = 0; i < kHeldSignals.size(); ++i) {
#ifdef _WIN32
        std::signal(kHeldSignals[i], previous[i]);
#else
        sigaction(kHeldSignals[i], &previous[i], nullptr);
#endif
    }
    holding = false;
    wakeDescriptor = -1;
    const int held = heldSignal;
    heldSignal = 0;
    // A signal the program was told to ignore would not have ended it either.
    for (std::size_t i = 0; i < kHeldSignals.size(); ++i) {
#ifdef _WIN32
        const bool ignored = previous[i] == SIG_IGN;
#else
        const bool ignored = previous[i].sa_handler == SIG_IGN;
#endif
        if (kHeldSignals[i] == held && ignored) {
            return 0;
        }
    }
    return held;
}

void IgnoreBrokenPipe() {
#ifndef _WIN32
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

}  // namespace troz
