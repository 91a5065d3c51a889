// The signals held while a drive is written: every one that would end the process by
// default is put off until the span ends (each raise here would end the test otherwise), a
// log past the size limit does not end it, and the faults of the program keep their handling.
#include "os/termination_signals.h"

#include <gtest/gtest.h>

#include <csignal>
#include <vector>

namespace troz {
namespace {

constexpr HeldSignalNotices kNotices = {"refused", "delayed"};

std::vector<int> EveryEndingSignal() {
    std::vector<int> signals = {SIGTERM, SIGHUP,  SIGQUIT,   SIGUSR1, SIGUSR2, SIGALRM,
                                SIGPWR,  SIGXCPU, SIGVTALRM, SIGPROF, SIGPOLL, SIGSTKFLT};
    for (int number = SIGRTMIN; number <= SIGRTMAX; ++number) {
        signals.push_back(number);
    }
    return signals;
}

using Handler = void (*)(int);

Handler HandlerOf(int signalNumber) {
    struct sigaction now {};
    sigaction(signalNumber, nullptr, &now);
    return now.sa_handler;
}

bool HasDefaultAction(int signalNumber) {
    return HandlerOf(signalNumber) == SIG_DFL;
}

TEST(TerminationSignals, EveryEndingSignalIsHeldAndReportedAfterTheSpan) {
    for (const int signalNumber : EveryEndingSignal()) {
        ::testing::internal::CaptureStderr();
        HoldTerminationSignals(kNotices);
        raise(signalNumber);
        raise(SIGXFSZ);  // ignored: nothing to say, nothing held
        const int held = ReleaseTerminationSignals();
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "\ndelayed\n") << signalNumber;
        EXPECT_EQ(held, signalNumber);
        EXPECT_TRUE(HasDefaultAction(signalNumber)) << signalNumber;
        EXPECT_TRUE(HasDefaultAction(SIGXFSZ));
    }
}

TEST(TerminationSignals, FaultsKeepTheirDefaultAndIgnoredSignalsStayIgnored) {
    std::signal(SIGHUP, SIG_IGN);
    ::testing::internal::CaptureStderr();
    // Left as they were: their default, or a sanitizer's handler that reports the fault.
    const std::vector<int> faults = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT};
    std::vector<Handler> before;
    for (const int fault : faults) {
        before.push_back(HandlerOf(fault));
    }
    HoldTerminationSignals(kNotices);
    for (std::size_t i = 0; i < faults.size(); ++i) {
        EXPECT_EQ(HandlerOf(faults[i]), before[i]) << faults[i];
    }
    raise(SIGHUP);  // under nohup: it would not have ended the program, so nothing is said
    EXPECT_EQ(ReleaseTerminationSignals(), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(std::signal(SIGHUP, SIG_DFL), SIG_IGN);
}

}  // namespace
}  // namespace troz
