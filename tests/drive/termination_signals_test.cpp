// The signals held while a drive is written: every one that would end the process by
// default is put off until the span ends (each raise here would end the test otherwise), a
// log past the size limit does not end it, and the faults of the program keep their default.
#include "drive/termination_signals.h"

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

bool HasDefaultAction(int signalNumber) {
    struct sigaction now {};
    sigaction(signalNumber, nullptr, &now);
    return now.sa_handler == SIG_DFL;
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
    HoldTerminationSignals(kNotices);
    for (const int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT}) {
        EXPECT_TRUE(HasDefaultAction(fault)) << fault;
    }
    raise(SIGHUP);  // under nohup: it would not have ended the program, so nothing is said
    EXPECT_EQ(ReleaseTerminationSignals(), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(std::signal(SIGHUP, SIG_DFL), SIG_IGN);
}

}  // namespace
}  // namespace troz
