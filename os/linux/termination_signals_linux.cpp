// The ending signals of Linux, held with sigaction().
#include <unistd.h>

#include <csignal>
#include <utility>

#include "os/signal_platform.h"
#include "os/termination_signals.h"

namespace troz {

namespace {

// What each signal the span changed had before, to be put back when it ends.
std::vector<std::pair<int, struct sigaction>> previous;

}  // namespace

void IgnoreBrokenPipe() {
    std::signal(SIGPIPE, SIG_IGN);
}

namespace platform {

// Every signal whose default action ends the process and that a program can catch: a
// kill -USR1 or a timer's SIGALRM meant for another program would cut the write short just
// as SIGTERM would. The faults of the program itself (SIGSEGV, SIGBUS, SIGFPE, SIGILL,
// SIGTRAP, SIGSYS, SIGABRT) keep their default: going on after one is not safe.
std::vector<int> EndingSignals() {
    std::vector<int> signals = {SIGINT,    SIGTERM, SIGHUP,  SIGQUIT, SIGUSR1, SIGUSR2,  SIGALRM,
                                SIGVTALRM, SIGPROF, SIGXCPU, SIGPOLL, SIGPWR,  SIGSTKFLT};
    for (int signalNumber = SIGRTMIN; signalNumber <= SIGRTMAX; ++signalNumber) {
        signals.push_back(signalNumber);
    }
    return signals;
}

// A log file past the size limit (SIGXFSZ) or a reader that went away (SIGPIPE, also when
// the notice is written to it) makes the write fail instead of ending the process.
std::vector<int> SpanIgnoredSignals() {
    return {SIGXFSZ, SIGPIPE};
}

bool InstallSignalHandler(int signalNumber, SignalHandler handler) {
    struct sigaction before {};
    if (sigaction(signalNumber, nullptr, &before) != 0 || before.sa_handler == SIG_IGN) {
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

void RestoreSignalHandlers() {
    for (const auto& [signalNumber, before] : previous) {
        sigaction(signalNumber, &before, nullptr);
    }
    previous.clear();
}

void RearmSignalHandler(int /*signalNumber*/, SignalHandler /*handler*/) {
    // sigaction() handlers stay installed.
}

void WriteFromHandler(int descriptor, const char* bytes, std::size_t size) {
    // Nothing can be done about a notice that cannot be written; the write goes on.
    [[maybe_unused]] const ssize_t written = ::write(descriptor, bytes, size);
}

}  // namespace platform

}  // namespace troz
