// The ending signals of Windows, held with signal(): the console's Ctrl+C and Ctrl+Break.
#include <io.h>

#include <csignal>
#include <utility>

#include "os/signal_platform.h"
#include "os/termination_signals.h"

namespace troz {

namespace {

// What each signal the span changed had before, to be put back when it ends.
std::vector<std::pair<int, platform::SignalHandler>> previous;

}  // namespace

void IgnoreBrokenPipe() {
    // Windows has no signal for a broken pipe: writes to it fail.
}

namespace platform {

// The console's Ctrl+Break arrives as SIGBREAK; Windows knows no SIGHUP or SIGQUIT.
std::vector<int> EndingSignals() {
    return {SIGINT, SIGTERM, SIGBREAK};
}

// Windows has no signal for a broken pipe or a file past its size limit.
std::vector<int> SpanIgnoredSignals() {
    return {};
}

bool InstallSignalHandler(int signalNumber, SignalHandler handler) {
    const SignalHandler before = std::signal(signalNumber, handler);
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

void RestoreSignalHandlers() {
    for (const auto& [signalNumber, before] : previous) {
        std::signal(signalNumber, before);
    }
    previous.clear();
}

void RearmSignalHandler(int signalNumber, SignalHandler handler) {
    // Windows puts the default handler back before calling this one.
    std::signal(signalNumber, handler);
}

void WriteFromHandler(int descriptor, const char* bytes, std::size_t size) {
    static_cast<void>(_write(descriptor, bytes, static_cast<unsigned>(size)));
}

}  // namespace platform

}  // namespace troz
