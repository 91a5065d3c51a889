// The update on a terminal: the restart question and its answers, the progress bar, signals
// and shutdown while the drive is written, and Open and Start through TerminalWindow on the
// built-in virtual drives with a clock that moves only when asked. The restart request goes to a
// recording SystemServices: these tests never reach the system.
#include "cli/terminal_window.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "cli/exit_status.h"
#include "cli/flash_plan.h"
#include "cli/interrupt_guard.h"
#include "session/update_session.h"
#include "tests/support/locking_platform.h"
#include "tests/support/recording_services.h"
#include "tests/support/stdio_streams.h"
#include "tests/support/virtual_clock.h"
#include "virtual/builtin_drives.h"

namespace troz::cli {
namespace {

using test::Capture;
using test::Input;

constexpr const char* kQuestion = "Reboot this computer right now ? [yes/No] ";

// The inhibitor's life, beside the write span's, as the session leads them.
class FakeInhibitor final : public ShutdownInhibitor {
public:
    explicit FakeInhibitor(std::vector<std::string>& events) : events_(events) {}
    bool Take(const std::string& why, std::string& error) override {
        events_.push_back("take " + why);
        error = refusal;
        return refusal.empty();
    }
    void Release() override { events_.push_back("release"); }
    std::string refusal;

private:
    std::vector<std::string>& events_;
};

// flash's report of the session's events; the given signals arrive as the drive's write
// span opens, right as the first firmware goes out.
class RaisingReport final : public FlashReport {
public:
    RaisingReport(TerminalWindow& window, const FlashStreams& streams,
                  std::vector<std::string>& events, std::vector<int> signals = {})
        : FlashReport(window, streams, {}), events_(events), signals_(std::move(signals)) {}
    void WriteSpanChanged(bool open) override {
        events_.push_back(open ? "span opens" : "span closes");
        for (const int signalNumber : open ? signals_ : std::vector<int>{}) {
            std::raise(signalNumber);
        }
    }

private:
    std::vector<std::string>& events_;
    std::vector<int> signals_;
};

// ---------------------------------------------------------------------------------------
// The restart question.

TEST(RestartAnswer, OnlyAnExplicitYesTakesTheRestart) {
    const struct {
        const char* answer;
        bool yes;
    } cases[] = {
        {"yes", true},         {"YES", true}, {"Yes", true}, {"  yes \t", true}, {"y", false},
        {"Y", false},          {"", false},   {"no", false}, {"n", false},       {"yess", false},
        {"yes please", false}, {"ok", false}, {"1", false},  {"ye", false},      {"y e s", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsExplicitYes(c.answer), c.yes) << '"' << c.answer << '"';
    }
}

// The restart question reads at most one short line: end of input, an empty line, a line
// longer than any answer and an input that never ends are all no.
TEST(RestartQuestion, ReadsOneShortLineAtMost) {
    const struct {
        const char* name;
        std::string input;
        bool read;
        const char* line;
        long position;  // how far the input was read
    } cases[] = {
        {"one line", "yes\nno\n", true, "yes", 4},
        {"last line without its break", " yes", true, " yes", 4},
        {"empty line", "\nyes\n", true, "", 1},
        {"end of input", "", false, "", 0},
        {"a line longer than any answer", std::string(300, 'y') + "\nyes\n", false, "", 65},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Input input(c.input);
        std::string line = "old";
        EXPECT_EQ(ReadAnswerLine(input.File(), line), c.read);
        EXPECT_EQ(line, c.line);
        if (!c.input.empty()) {
            EXPECT_EQ(input.Position(), c.position);
        }
    }
    // </dev/zero: a line without end, given up once it is too long for an answer.
    const test::Stream zero(std::fopen("/dev/zero", "rb"));
    ASSERT_NE(zero, nullptr);
    std::string line;
    EXPECT_FALSE(ReadAnswerLine(zero.get(), line));
}

// A window over the built-in drives, writing into memory.
class TerminalWindowTest : public ::testing::Test {
protected:
    TerminalWindowTest()
        : platform_(MakeBuiltinDrivePlatform(VirtualTransport::PassThrough, clock_, std::nullopt)),
          atapi_(*platform_, clock_, services_) {}

    VirtualClock clock_;
    test::RecordingServices services_{""};  // grants the restart
    std::unique_ptr<DrivePlatform> platform_;
    TAtapi atapi_;
    Capture out_;
};

TEST_F(TerminalWindowTest, TheRestartQuestionShowsAnAnswerNobodyTypedEscaped) {
    Input input("\x1b[2J\n");
    TerminalWindow window(atapi_, "demo.tfs", 0, out_.File(), input.File(), false);
    EXPECT_FALSE(window.AskRestart());
    EXPECT_EQ(out_.Text(), std::string(kQuestion) + "\\x1B[2J\n");
}

// ---------------------------------------------------------------------------------------
// The progress bar.

const std::string kBar20 = "\r[########" + std::string(32, ' ') + "]  20%";
const std::string kBar100 = "\r[" + std::string(40, '#') + "] 100%";
const std::string kClear = "\r" + std::string(47, ' ') + "\r";

class ProgressBar : public TerminalWindowTest {};

TEST_F(ProgressBar, AppearsWithTheFirstProgressAndStaysBelowTheLog) {
    Input input("");
    TerminalWindow window(atapi_, "demo.tfs", 0, out_.File(), input.File(), true);
    window.AddLogLine("Err:Open File: x Error!!");
    window.SetProgress(20);
    window.AddLogLine("Flashing ..");
    window.SetProgress(150);
    window.Finish();
    EXPECT_EQ(out_.Text(), "Err:Open File: x Error!!\n" + kBar20 + kClear + "Flashing ..\n" +
                               kBar20 + kBar100 + kClear);
}

TEST_F(ProgressBar, IsTakenOffBeforeTheRestartQuestion) {
    Input input("no\n");
    TerminalWindow window(atapi_, "demo.tfs", 0, out_.File(), input.File(), true);
    window.SetProgress(100);
    window.AddLogLine("Ok:Flash Complete!!");
    EXPECT_FALSE(window.AskRestart());
    window.Finish();
    EXPECT_EQ(out_.Text(),
              kBar100 + kClear + "Ok:Flash Complete!!\n" + kBar100 + kClear + kQuestion + "no\n");
}

TEST_F(ProgressBar, IsNeverDrawnWhenOutputIsNoTerminal) {
    Input input("");
    TerminalWindow window(atapi_, "demo.tfs", 0, out_.File(), input.File(), false);
    window.SetProgress(20);
    window.AddLogLine("Flashing ..");
    window.Finish();
    EXPECT_EQ(out_.Text(), "Flashing ..\n");
}

// ---------------------------------------------------------------------------------------
// Open and Start as trozflash-cli flash runs them.

struct Transport {
    const char* name;
    VirtualTransport transport;
};

void PrintTo(const Transport& transport, std::ostream* out) {
    *out << transport.name;
}

class TerminalFlash : public ::testing::TestWithParam<Transport> {
protected:
    TerminalFlash()
        : drives_(clock_, std::nullopt),
          platform_(GetParam().transport, clock_, kBuiltinHostAdapterCount),
          locking_(platform_) {
        drives_.AttachTo(platform_);
        atapi_.emplace(locking_, clock_, services_);
    }

    // Open and Start through one session, as often as answers has lines for; the output,
    // and whether the last update succeeded.
    bool Flash(int drive, const std::string& answer, std::string& output,
               std::vector<int> signals = {}, int starts = 1) {
        Capture out;
        Input input(answer);
        atapi_->SelectDevice(drive);
        TerminalWindow window(*atapi_, TROZFLASH_DEMO_PACKAGE, drive, out.File(), input.File(),
                              false);
        RaisingReport report(window, {input.File(), false, out.File(), notes_.File()}, events_,
                             std::move(signals));
        UpdateSession session(*atapi_, window, clock_, services_, inhibitor_, report, settings_);
        session.Open();
        bool written = false;
        for (int start = 0; start < starts; ++start) {
            written = session.Start();
        }
        window.Finish();
        output = out.Text();
        heldSignal_ = session.HeldSignal();
        return written;
    }

    VirtualClock clock_;
    test::RecordingServices services_{""};  // grants the restart
    BuiltinDriveSet drives_;
    VirtualDrivePlatform platform_;
    test::LockingPlatform locking_;
    std::optional<TAtapi> atapi_;
    std::vector<std::string> events_;
    FakeInhibitor inhibitor_{events_};
    SessionSettings settings_{kSignalNotices, -1, true};
    Capture notes_;
    int heldSignal_ = 0;
};

TEST_P(TerminalFlash, YesRequestsTheRestart) {
    std::string output;
    ASSERT_TRUE(Flash(0, "yes\n", output));
    EXPECT_EQ(output, std::string("Flashing ..\nOk:Flash Complete!!\n") + kQuestion + "yes\n");
    EXPECT_EQ(services_.restartRequests, 1);
    EXPECT_EQ(drives_.Drive(0).Identity().revision, "1.10");
}

TEST_P(TerminalFlash, RefusedRestartIsOneLine) {
    services_.refusal = "Interactive authentication required.";
    std::string output;
    ASSERT_TRUE(Flash(0, "yes\n", output));
    EXPECT_EQ(output, std::string("Flashing ..\nOk:Flash Complete!!\n") + kQuestion +
                          "yes\nErr:Cannot restart this computer: "
                          "Interactive authentication required.\n");
}

TEST_P(TerminalFlash, NoALoneYEndOfInputAndNoRestartLeaveTheSystemAlone) {
    for (const char* answer : {"no\n", "y\n", ""}) {
        std::string output;
        ASSERT_TRUE(Flash(0, answer, output));
        EXPECT_NE(output.find("Ok:Flash Complete!!\n"), std::string::npos);
    }
    settings_.askRestart = false;
    std::string output;
    ASSERT_TRUE(Flash(0, "yes\n", output));
    EXPECT_EQ(output, "Flashing ..\nOk:Flash Complete!!\nReboot this computer right now ? no\n");
    EXPECT_EQ(services_.restartRequests, 0);
}

TEST_P(TerminalFlash, ForeignDriveIsRefusedWithoutAQuestionOrAWriteSpan) {
    std::string output;
    EXPECT_FALSE(Flash(2, "yes\n", output));
    EXPECT_EQ(output, "Err:The firmware is not support this device!!(4)\n");
    EXPECT_EQ(services_.restartRequests, 0);
    EXPECT_EQ(drives_.Drive(2).Identity().revision, "3.10");
    EXPECT_EQ(events_,
              (std::vector<std::string>{
                  "take Writing firmware into ACME CDRW-5200 3.10 (" + atapi_->Location(2) + ")",
                  "release"}));
}

// Without the drive's lock nothing at all reaches the drive: one line says why.
TEST_P(TerminalFlash, WithoutTheDrivesLockNothingIsSent) {
    for (const DriveLockOutcome outcome :
         {DriveLockOutcome::HeldElsewhere, DriveLockOutcome::Unavailable}) {
        locking_.outcome = outcome;
        locking_.reason = "Is a directory";
        Capture log;
        drives_.Drive(0).ClearCommands();
        // The Open step and the plan talk to the drive; Start sends nothing more.
        atapi_->SelectDevice(0);
        TerminalWindow window(*atapi_, TROZFLASH_DEMO_PACKAGE, 0, log.File(), nullptr, false);
        RaisingReport report(window, {nullptr, false, log.File(), notes_.File()}, events_);
        UpdateSession session(*atapi_, window, clock_, services_, inhibitor_, report, settings_);
        session.Open();
        const std::size_t beforeStart = drives_.Drive(0).Commands().size();
        EXPECT_FALSE(session.Start());
        EXPECT_EQ(drives_.Drive(0).Commands().size(), beforeStart);
        EXPECT_EQ(drives_.Drive(0).Identity().revision, "1.00");
        EXPECT_EQ(log.Text(), "");
    }
    const std::string drive = "Err:Drive 0 (TROZ    KVW-A100A        1.00, " + atapi_->Location(0);
    EXPECT_EQ(notes_.Text(),
              drive +
                  ") is being written by another copy of TROZFlash; try again when it has "
                  "finished\n" +
                  drive +
                  ") cannot be locked against other copies of TROZFlash, so nothing is "
                  "written: Is a directory\n");
    EXPECT_TRUE(events_.empty());
}

TEST_P(TerminalFlash, SignalsDuringTheWriteWaitForItAndSkipTheRestartQuestion) {
    std::string output;
    ::testing::internal::CaptureStderr();
    // Would end the test if not held.
    ASSERT_TRUE(Flash(0, "yes\n", output, {SIGINT, SIGTERM, SIGHUP}));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              std::string("\n") + kInterruptWhileProgramming + "\n\n" + kEndAfterProgramming +
                  "\n\n" + kEndAfterProgramming + "\n");
    EXPECT_EQ(heldSignal_, SIGTERM) << "the first one decides the exit status";
    EXPECT_EQ(output, "Flashing ..\nOk:Flash Complete!!\nReboot this computer right now ? no\n");
    EXPECT_EQ(services_.restartRequests, 0);
    EXPECT_EQ(drives_.Drive(0).Identity().revision, "1.10");
    // Shutdown is held off before the span opens and given back when it closes.
    EXPECT_EQ(events_,
              (std::vector<std::string>{
                  "take Writing firmware into TROZ KVW-A100A 1.00 (" + atapi_->Location(0) + ")",
                  "span opens", "release", "span closes"}));
    // Released: the signals have their default handling back.
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        EXPECT_EQ(std::signal(signalNumber, SIG_DFL), SIG_DFL) << signalNumber;
    }
}

TEST_P(TerminalFlash, MissingInhibitorIsNotedOnceAndTheFlashGoesOn) {
    inhibitor_.refusal = "no system bus";
    std::string output;
    ASSERT_TRUE(Flash(0, "no\nno\n", output, {}, 2));
    const std::string notes = notes_.Text();
    EXPECT_EQ(notes.rfind("Shutdown and sleep are not held off while the drive is written: "
                          "no system bus\nDrive 0 now reports revision 1.10",
                          0),
              0u)
        << notes;
    EXPECT_EQ(notes.find("Shutdown", 1), std::string::npos) << notes;
}

// trozflash-cli flash as a whole: the plan, each way of answering the question, and the
// revision afterwards. Only a given consent writes; the record says what happened.
TEST_P(TerminalFlash, PlannedFlashWritesOnlyWithConsentAndReportsTheRevision) {
    struct Run {
        const char* name;
        FlashChoices choices;
        bool terminal;
        const char* answer;
        int status;
        int programs;  // of drive 0 so far
        const char* lastNote;
    };
    const std::string plan =
        "About to write firmware into drive 0:\n  drive:    TROZ    KVW-A100A" +
        std::string(8, ' ') + "1.00  (" + atapi_->Location(0) + ")\n";
    const Run runs[] = {
        {"declined", {}, true, "n\n", kExitFailed, 0, kNotConfirmed},
        {"end of input", {}, true, "", kExitFailed, 0, kNotConfirmed},
        {"nobody to ask", {}, false, "yes\n", kExitUsage, 0, kNoTerminalToAsk},
        {"dry run",
         {false, true, false},
         false,
         "",
         kExitOk,
         0,
         "Dry run: the package would be written; the drive was sent INQUIRY only."},
        {"yes typed",
         {},
         true,
         " Yes \n",
         kExitOk,
         1,
         "Drive 0 now reports revision 1.10 (it was 1.00)."},
        {"the same revision again",
         {true, false, false},
         false,
         "",
         kExitFailed,
         1,
         "trozflash-cli: drive 0 is already at 1.10; --allow-reinstall writes it again"},
        {"--yes, as JSON",
         {true, false, true, true, false},
         false,
         "",
         kExitOk,
         2,
         "Drive 0 still reports revision 1.10: the revision did not change."},
    };
    for (const Run& run : runs) {
        SCOPED_TRACE(run.name);
        Capture log, notes, out;
        Input input(run.answer);
        atapi_->SelectDevice(0);
        TerminalWindow window(*atapi_, TROZFLASH_DEMO_PACKAGE, 0, log.File(), nullptr, false);
        const FlashStreams streams{input.File(), run.terminal, out.File(), notes.File()};
        FlashReport report(window, streams, {});
        UpdateSession session(*atapi_, window, clock_, services_, inhibitor_, report,
                              {kSignalNotices, -1, false});
        EXPECT_EQ(RunPlannedUpdate(session, report, window, run.choices, streams), run.status);
        EXPECT_EQ(drives_.Drive(0).ProgramCount(), run.programs);
        const std::string noted = notes.Text();
        if (run.programs < 2) {
            EXPECT_EQ(noted.rfind(plan, 0), 0u) << noted;
        }
        EXPECT_NE(noted.find(std::string(run.lastNote) + "\n"), std::string::npos) << noted;
        const bool written = run.status == kExitOk && !run.choices.dryRun;
        EXPECT_EQ(log.Text().find("Ok:Flash Complete!!") != std::string::npos, written);
        if (run.choices.json) {
            const nlohmann::json record = nlohmann::json::parse(out.Text());
            EXPECT_EQ(record["schema_version"], 1);
            EXPECT_EQ(record["outcome"], "written");
            EXPECT_EQ(record["log"],
                      (std::vector<std::string>{"Flashing ..", "Ok:Flash Complete!!"}));
            EXPECT_EQ(record["revision_before"], "1.10");
            EXPECT_EQ(record["revision_after"], "1.10");
            EXPECT_EQ(record["revision_target"], "1.10");
            EXPECT_EQ(record["package"], TROZFLASH_DEMO_PACKAGE);
        } else {
            EXPECT_EQ(out.Text(), "");
        }
    }
    EXPECT_EQ(services_.restartRequests, 0);
}

INSTANTIATE_TEST_SUITE_P(BothTransports, TerminalFlash,
                         ::testing::Values(Transport{"PassThrough", VirtualTransport::PassThrough},
                                           Transport{"Aspi", VirtualTransport::Aspi}),
                         [](const auto& parameter) { return std::string(parameter.param.name); });

}  // namespace
}  // namespace troz::cli
