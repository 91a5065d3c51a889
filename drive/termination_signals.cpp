#include "drive/termination_signals.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <utility>
#include <vector>

namespace troz {

namespace {

#ifdef _WIN32
// The console's Ctrl+Break arrives as SIGBREAK; Windows knows no SIGHUP or SIGQUIT.
std::vector<int> EndingSignals() {
    return {SIGINT, SIGTERM, SIGBREAK};
}
// Windows has no signal for a broken pipe or a file past its size limit.
std::vector<int> SpanIgnoredSignals() {
    return {};
}
constexpr int kStandardError = 2;
int WriteBytes(int descriptor, const char* bytes, std::size_t size) {
    return _write(descriptor, bytes, static_cast<unsigned>(size));
}
#else
// Every signal whose default action ends the process and that a program can catch: a
// kill -USR1 or a timer's SIGALRM meant for another program would cut the write short just
// as SIGTERM would. The faults of the program itself (SIGSEGV, SIGBUS, SIGFPE, SIGILL,
// SIGTRAP, SIGSYS, SIGABRT) keep their default: going on after one is not safe.
std::vector<int> EndingSignals() {
    std::vector<int> signals = {SIGINT,  SIGTERM,   SIGHUP,  SIGQUIT, SIGUSR1, SIGUSR2,
                                SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGPOLL};
#ifdef SIGPWR
    signals.push_back(SIGPWR);
#endif
#ifdef SIGSTKFLT
    signals.push_back(SIGSTKFLT);
#endif
    for (int signalNumber = SIGRTMIN; signalNumber <= SIGRTMAX; ++signalNumber) {
        signals.push_back(signalNumber);
    }
    return signals;
}
// A log file past the size limit (SIGXFSZ) or a reader that went away (SIGPIPE, also when
// the notice below is written to it) makes the write fail instead of ending the process.
std::vector<int> SpanIgnoredSignals() {
    return {SIGXFSZ, SIGPIPE};
}
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
// What each signal the span changed had before, to be put back when it ends.
std::vector<std::pair<int, Previous>> previous;

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

#ifdef _WIN32
bool Install(int signalNumber, void (*handler)(int)) {
    Previous before = std::signal(signalNumber, handler);
    if (before == SIG_ERR) {
        return false;
    }
    // A signal the program was told to ignore (in the background of a script) stays ignored.
    if (before == SIG_IGN && handler != SIG_IGN) {
        std::signal(signalNumber, SIG_IGN);
    }
    previous.emplace_back(signalNumber, before);
    return true;
}
void Restore(int signalNumber, const Previous& before) {
    std::signal(signalNumber, before);
}
#else
// A signal the program was told to ignore (under nohup, in the background of a script) stays
// ignored: it would not have ended the program, so there is nothing to hold or announce.
bool Install(int signalNumber, void (*handler)(int)) {
    Previous before{};
    if (sigaction(signalNumber, nullptr, &before) != 0) {
        return false;
    }
    if (before.sa_handler == SIG_IGN) {
        return false;
    }
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // Slow calls (the terminal, a pipe) go on after the notice instead of failing.
    action.sa_flags = SA_RESTART;
    if (sigaction(signalNumber, &action, nullptr) != 0) {
        return false;
    }
    previous.emplace_back(signalNumber, before);
    return true;
}
void Restore(int signalNumber, const Previous& before) {
    sigaction(signalNumber, &before, nullptr);
}
#endif

}  // namespace

void HoldTerminationSignals(const HeldSignalNotices& notices, int wake) {
    if (holding) {
        return;
    }
    refusedNotice.Set(notices.refused);
    delayedNotice.Set(notices.delayed);
    heldSignal = 0;
    wakeDescriptor = wake;
    previous.clear();
    for (const int signalNumber : EndingSignals()) {
        Install(signalNumber, HoldSignal);
    }
    for (const int signalNumber : SpanIgnoredSignals()) {
        Install(signalNumber, SIG_IGN);
    }
    holding = true;
}

int ReleaseTerminationSignals() {
    if (!holding) {
        return 0;
    }
    for (const auto& [signalNumber, before] : previous) {
        Restore(signalNumber, before);
    }
    previous.clear();
    holding = false;
    wakeDescriptor = -1;
    const int held = heldSignal;
    heldSignal = 0;
    return held;
}

void IgnoreBrokenPipe() {
#ifndef _WIN32
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

}  // namespace troz
