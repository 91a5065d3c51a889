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
#include "tests/support/recording_services.h"
#include "tests/support/stdio_streams.h"
#include "update/update_workflow.h"
#include "virtual/builtin_drives.h"
#include "virtual/virtual_clock.h"

namespace troz::cli {
namespace {

using test::Capture;
using test::Input;

constexpr const char* kQuestion = "Reboot this computer right now ? [yes/No] ";

// The inhibitor's life as the span leads it. A signal, when set, arrives the moment the
// inhibitor is taken: right as the first firmware goes out.
class FakeInhibitor final : public ShutdownInhibitor {
public:
    bool Take(const std::string& why, std::string& error) override {
        events.push_back("take " + why);
        for (const int signalNumber : signals) {
            std::raise(signalNumber);
        }
        error = refusal;
        return refusal.empty();
    }
    void Release() override { events.push_back("release"); }
    std::vector<std::string> events;
    std::vector<int> signals;
    std::string refusal;
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

// A window over the built-in drives, writing into memory.
class TerminalWindowTest : public ::testing::Test {
protected:
    TerminalWindowTest()
        : platform_(MakeBuiltinDrivePlatform(VirtualTransport::PassThrough, clock_, std::nullopt)),
          atapi_(*platform_, clock_, services_) {}

    TerminalWindow Window(Input& input, bool ask) {
        return TerminalWindow(atapi_, "demo.tfs", 0, ask, out_.File(), input.File(), false);
    }

    VirtualClock clock_;
    test::RecordingServices services_{""};  // grants the restart
    std::unique_ptr<DrivePlatform> platform_;
    TAtapi atapi_;
    Capture out_;
};

class RestartQuestion : public TerminalWindowTest {};

TEST_F(RestartQuestion, ReadsOneLineAndShowsTheAnswerWhenNobodyTypedIt) {
    Input input("yes\nno\n");
    TerminalWindow window = Window(input, true);
    EXPECT_TRUE(window.AskRestart());
    EXPECT_EQ(out_.Text(), std::string(kQuestion) + "yes\n");
    EXPECT_EQ(input.Position(), 4);
}

TEST_F(RestartQuestion, EndOfInputIsNo) {
    Input input("");
    TerminalWindow window = Window(input, true);
    EXPECT_FALSE(window.AskRestart());
    EXPECT_EQ(out_.Text(), std::string(kQuestion) + "\n");
}

TEST_F(RestartQuestion, AnEmptyLineIsNo) {
    Input input("\nyes\n");
    TerminalWindow window = Window(input, true);
    EXPECT_FALSE(window.AskRestart());
    EXPECT_EQ(input.Position(), 1);
}

TEST_F(RestartQuestion, ALongLineIsReadToItsEndAndIsNo) {
    Input input(std::string(300, 'y') + "\nyes\n");
    TerminalWindow window = Window(input, true);
    EXPECT_FALSE(window.AskRestart());
    EXPECT_EQ(input.Position(), 301);
}

TEST_F(RestartQuestion, NoRestartAnswersNoWithoutReading) {
    Input input("yes\n");
    TerminalWindow window = Window(input, false);
    EXPECT_FALSE(window.AskRestart());
    EXPECT_EQ(out_.Text(), "Reboot this computer right now ? no\n");
    EXPECT_EQ(input.Position(), 0);
}

// ---------------------------------------------------------------------------------------
// The progress bar.

const std::string kBar20 = "\r[########" + std::string(32, ' ') + "]  20%";
const std::string kBar100 = "\r[" + std::string(40, '#') + "] 100%";
const std::string kClear = "\r" + std::string(47, ' ') + "\r";

class ProgressBar : public TerminalWindowTest {};

TEST_F(ProgressBar, AppearsWithTheFirstProgressAndStaysBelowTheLog) {
    Input input("");
    TerminalWindow window(atapi_, "demo.tfs", 0, false, out_.File(), input.File(), true);
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
    TerminalWindow window(atapi_, "demo.tfs", 0, true, out_.File(), input.File(), true);
    window.SetProgress(100);
    window.AddLogLine("Ok:Flash Complete!!");
    EXPECT_FALSE(window.AskRestart());
    window.Finish();
    EXPECT_EQ(out_.Text(),
              kBar100 + kClear + "Ok:Flash Complete!!\n" + kBar100 + kClear + kQuestion + "no\n");
}

TEST_F(ProgressBar, IsNeverDrawnWhenOutputIsNoTerminal) {
    Input input("");
    TerminalWindow window(atapi_, "demo.tfs", 0, false, out_.File(), input.File(), false);
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

class TerminalFlash : public ::testing::TestWithParam<Transport> {
protected:
    TerminalFlash()
        : drives_(clock_, std::nullopt),
          platform_(GetParam().transport, clock_, kBuiltinHostAdapterCount) {
        drives_.AttachTo(platform_);
        atapi_.emplace(platform_, clock_, services_);
    }

    // Output and whether the update succeeded.
    bool Flash(int drive, const std::string& answer, std::string& output,
               DriveWriteSpan* span = nullptr) {
        Capture out;
        Input input(answer);
        atapi_->SelectDevice(drive);
        TerminalWindow window(*atapi_, TROZFLASH_DEMO_PACKAGE, drive, true, out.File(),
                              input.File(), false);
        if (span != nullptr) {
            window.GuardWrites(*span);
        }
        UpdateWorkflow workflow(*atapi_, window, clock_, services_);
        workflow.OpenPackage();
        workflow.StartUpdate();
        window.Finish();
        output = out.Text();
        return workflow.LastUpdateSucceeded();
    }

    VirtualClock clock_;
    test::RecordingServices services_{""};  // grants the restart
    BuiltinDriveSet drives_;
    VirtualDrivePlatform platform_;
    std::optional<TAtapi> atapi_;
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

TEST_P(TerminalFlash, NoALoneYAndEndOfInputLeaveTheSystemAlone) {
    for (const char* answer : {"no\n", "y\n", ""}) {
        std::string output;
        ASSERT_TRUE(Flash(0, answer, output));
        EXPECT_NE(output.find("Ok:Flash Complete!!\n"), std::string::npos);
    }
    EXPECT_EQ(services_.restartRequests, 0);
}

TEST_P(TerminalFlash, ForeignDriveIsRefusedWithoutAQuestion) {
    std::string output;
    EXPECT_FALSE(Flash(2, "yes\n", output));
    EXPECT_EQ(output, "Err:The firmware is not support this device!!(4)\n");
    EXPECT_EQ(services_.restartRequests, 0);
    EXPECT_EQ(drives_.Drive(2).Identity().revision, "3.10");
}

TEST_P(TerminalFlash, SignalsDuringTheWriteWaitForItAndSkipTheRestartQuestion) {
    FakeInhibitor inhibitor;
    inhibitor.signals = {SIGINT, SIGTERM, SIGHUP};
    DriveWriteSpan span(inhibitor, kSignalNotices, nullptr);
    std::string output;
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(Flash(0, "yes\n", output, &span));  // would end the test if not held
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              std::string("\n") + kInterruptWhileProgramming + "\n\n" + kEndAfterProgramming +
                  "\n\n" + kEndAfterProgramming + "\n");
    EXPECT_EQ(span.HeldSignal(), SIGTERM) << "the first one decides the exit status";
    EXPECT_EQ(output, "Flashing ..\nOk:Flash Complete!!\nReboot this computer right now ? no\n");
    EXPECT_EQ(services_.restartRequests, 0);
    EXPECT_EQ(drives_.Drive(0).Identity().revision, "1.10");
    EXPECT_EQ(inhibitor.events,
              (std::vector<std::string>{
                  "take Writing firmware into TROZ KVW-A100A 1.00 (" + atapi_->Location(0) + ")",
                  "release"}));
    // Released: the signals have their default handling back.
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        EXPECT_EQ(std::signal(signalNumber, SIG_DFL), SIG_DFL) << signalNumber;
    }
}

TEST_P(TerminalFlash, MissingInhibitorIsNotedOnceAndTheFlashGoesOn) {
    FakeInhibitor inhibitor;
    inhibitor.refusal = "no system bus";
    Capture notes;
    DriveWriteSpan span(inhibitor, kSignalNotices, notes.File());
    for (int run = 0; run < 2; ++run) {
        std::string output;
        ASSERT_TRUE(Flash(0, "no\n", output, &span));
    }
    EXPECT_EQ(notes.Text(),
              "Shutdown and sleep are not held off while the drive is written: no system bus\n");
    EXPECT_EQ(inhibitor.events.size(), 4u);
}

TEST_P(TerminalFlash, RefusalBeforeAnyFirmwareLeavesSignalsAndShutdownAlone) {
    FakeInhibitor inhibitor;
    DriveWriteSpan span(inhibitor, kSignalNotices, nullptr);
    std::string output;
    EXPECT_FALSE(Flash(2, "no\n", output, &span));
    EXPECT_TRUE(inhibitor.events.empty());
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
        {"--yes, as JSON",
         {true, false, true},
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
        TerminalWindow window(*atapi_, TROZFLASH_DEMO_PACKAGE, 0, false, log.File(), nullptr,
                              false);
        UpdateWorkflow workflow(*atapi_, window, clock_, services_);
        const FlashStreams streams{input.File(), run.terminal, out.File(), notes.File()};
        EXPECT_EQ(RunPlannedUpdate(*atapi_, workflow, window, 0, TROZFLASH_DEMO_PACKAGE,
                                   run.choices, streams),
                  run.status);
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
