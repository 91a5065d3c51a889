#include "os/termination_signals.h"

#include <algorithm>
#include <csignal>
#include <cstdio>

#include "os/signal_platform.h"

namespace troz {

namespace {

constexpr int kStandardError = 2;

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

void HoldSignal(int signalNumber) {
    platform::RearmSignalHandler(signalNumber, HoldSignal);
    const Notice& notice = signalNumber == SIGINT ? refusedNotice : delayedNotice;
    platform::WriteFromHandler(kStandardError, notice.text, notice.size);
    if (signalNumber != SIGINT && heldSignal == 0) {
        heldSignal = signalNumber;
    }
    if (wakeDescriptor >= 0) {
        const char wake = 1;
        platform::WriteFromHandler(wakeDescriptor, &wake, 1);
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
    for (const int signalNumber : platform::EndingSignals()) {
        platform::InstallSignalHandler(signalNumber, HoldSignal);
    }
    for (const int signalNumber : platform::SpanIgnoredSignals()) {
        platform::InstallSignalHandler(signalNumber, SIG_IGN);
    }
    holding = true;
}

int ReleaseTerminationSignals() {
    if (!holding) {
        return 0;
    }
    platform::RestoreSignalHandlers();
    holding = false;
    wakeDescriptor = -1;
    const int held = heldSignal;
    heldSignal = 0;
    return held;
}

}  // namespace troz
