// Start: the early refusals, the compatibility decision with its numbered refusals, the
// commands the drive sees, the enabling of the controls, progress and the restart prompt.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/flash_rig.h"
#include "tests/support/workflow_rig.h"
#include "update/checked_package.h"
#include "update/flash_driver.h"
#include "update/validate_package.h"

namespace troz::test {
namespace {

constexpr std::uint8_t kStopPlayScan = 0x4E;
constexpr std::uint8_t kStartStopUnit = 0x1B;
constexpr std::uint8_t kInquiry = 0x12;
const std::vector<std::uint8_t> kQuietThenNamePath = {kStopPlayScan, kStartStopUnit, kInquiry};
const std::vector<std::uint8_t> kQuietThenModelCodePath = {kStopPlayScan, kStartStopUnit, kInquiry,
                                                           kInquiry};
// Drive list off, then Start and Exit off, drive list on after the decision, then the rest.
const std::vector<Enabling> kDecisionEnablings = {kDriveListDisabled,  {false, false, true},
                                                  kAllDisabled,        {true, false, false},
                                                  {true, true, false}, kAllEnabled};
const std::vector<Enabling> kEarlyExitEnablings = {kDriveListDisabled, kAllEnabled};

const std::array<std::uint8_t, 2> kCodeA1 = {'A', '1'};
const std::array<std::uint8_t, 2> kCodeW0 = {'W', '0'};
const std::array<std::uint8_t, 2> kCodeZ9 = {'Z', '9'};

// The firmware of the demo drive: "TROZ    KVW-A100A       1.10", model code 'A','1'.
std::vector<std::uint8_t> DemoImage() {
    return RecordImage(TrozFields("KVW-A100A", kCodeA1));
}

bool HasLineStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
    for (const std::string& line : lines) {
        if (line.rfind(prefix, 0) == 0) {
            return true;
        }
    }
    return false;
}

struct DecisionCase {
    const char* name;
    DriveIdentity drive;
    ModelRecordFields package;
    const char* refusal;
    std::vector<std::uint8_t> opcodes;
};

void PrintTo(const DecisionCase& c, std::ostream* out) {
    *out << c.name;
}

class CompatibilityDecision : public ::testing::TestWithParam<DecisionCase> {};

TEST_P(CompatibilityDecision, RefusesWithTheFirstFailingCheckOnlyAndSendsNoFirmware) {
    const DecisionCase& c = GetParam();
    WorkflowRig rig(DirectDrive(c.drive));
    rig.OpenPackage(SinglePackage(RecordImage(c.package)));
    ASSERT_TRUE(rig.workflow->ImageChosen());
    rig.Forget();

    rig.Start();

    EXPECT_EQ(rig.window.lines, std::vector<std::string>{c.refusal});
    EXPECT_EQ(rig.Watched(0).opcodes, c.opcodes);
    EXPECT_FALSE(rig.AnyFirmwareCommand(0));
    EXPECT_EQ(rig.window.progress, (std::vector<int>{10, 20}));
    EXPECT_EQ(rig.window.enablings, kDecisionEnablings);
    EXPECT_EQ(rig.window.restartQuestions, 0);
    EXPECT_FALSE(rig.workflow->LastUpdateSucceeded());
}

// The dry run: the same refusal, and the drive hears the same INQUIRYs but is not quieted.
TEST_P(CompatibilityDecision, CheckingOnlyRefusesTheSameWithInquiryAlone) {
    const DecisionCase& c = GetParam();
    WorkflowRig rig(DirectDrive(c.drive));
    rig.OpenPackage(SinglePackage(RecordImage(c.package)));
    rig.Forget();

    EXPECT_FALSE(rig.workflow->CheckUpdate());

    EXPECT_EQ(rig.window.lines, std::vector<std::string>{c.refusal});
    EXPECT_EQ(rig.Watched(0).opcodes,
              std::vector<std::uint8_t>(c.opcodes.begin() + 2, c.opcodes.end()));
    EXPECT_TRUE(rig.window.driveListEnabled);
}

TEST(StartCheckOnly, AnAcceptedPackageIsReportedWithoutALineAndStartStillWritesIt) {
    WorkflowRig rig(DirectDrive(Identity("TROZ", "KVW-A100A", kCodeA1)));
    rig.OpenPackage(SinglePackage(DemoImage()));
    rig.Forget();

    EXPECT_TRUE(rig.workflow->CheckUpdate());
    EXPECT_TRUE(rig.window.lines.empty());
    EXPECT_EQ(rig.Watched(0).opcodes, (std::vector<std::uint8_t>{kInquiry, kInquiry}));
    EXPECT_EQ(rig.Drive(0).ProgramCount(), 0);
    EXPECT_FALSE(rig.workflow->LastUpdateSucceeded());
    EXPECT_EQ(rig.window.restartQuestions, 0);

    rig.Start();
    EXPECT_EQ(rig.window.lines.back(), kFlashComplete);
    EXPECT_EQ(rig.Drive(0).ProgramCount(), 1);
}

TEST(StartCheckOnly, EarlyRefusalsAndAFailedPackageCheckSendNothing) {
    WorkflowRig rig(DirectDrive(Identity("TROZ", "KVW-A100A", kCodeA1)));
    EXPECT_FALSE(rig.workflow->CheckUpdate());
    EXPECT_EQ(rig.window.lines, std::vector<std::string>{kNoFirmware});
    const std::string path = rig.OpenPackage(SinglePackage(DemoImage()));
    namespace fs = std::filesystem;
    fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(2));
    rig.Forget();
    EXPECT_FALSE(rig.workflow->CheckUpdate());
    EXPECT_EQ(rig.window.lines, std::vector<std::string>{kPackageChangedSinceOpen});
    EXPECT_TRUE(rig.Watched(0).opcodes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, CompatibilityDecision,
    ::testing::Values(
        // Named in the list although its model code differs, but not in the table.
        DecisionCase{"NamePathH300ARefusedByTheTable", Identity("TROZ", "KVW-H300A", kCodeW0),
                     TrozFields("KVW-H300A", kCodeZ9), kRefusalProductTable, kQuietThenNamePath},
        // In the table, but not named in the list.
        DecisionCase{"NamePathRefusesC300A", Identity("TROZ", "KVW-C300A", kCodeW0),
                     TrozFields("KVW-C300A", kCodeW0), kNamePathRefusal, kQuietThenNamePath},
        DecisionCase{"NamePathComparesAll17Characters", Identity("TROZ", "KVW-A100B", kCodeW0),
                     TrozFields("KVW-A100B", kCodeW0), kNamePathRefusal, kQuietThenNamePath},
        DecisionCase{"NamePathComparesTheVendorToo", Identity("ACME", "KVW-A100A", kCodeW0),
                     TrozFields("KVW-A100A", kCodeW0), kNamePathRefusal, kQuietThenNamePath},
        DecisionCase{"NamePathThenTargetProduct", Identity("TROZ", "KVW-B200A", kCodeW0),
                     TrozFields("KVW-A100A", kCodeW0), kRefusalTargetProduct, kQuietThenNamePath},
        // Would fail (6), (2) and (3) as well.
        DecisionCase{"ModelCodeFirst", Identity("ACME", "KVX-ZZZ", {'Q', '1'}),
                     TrozFields("KVW-A100A", kCodeA1), kRefusalModelCode, kQuietThenModelCodePath},
        DecisionCase{"ModelCodeBytesInOrder", Identity("TROZ", "KVW-A100A", {'1', 'A'}),
                     TrozFields("KVW-A100A", kCodeA1), kRefusalModelCode, kQuietThenModelCodePath},
        // Would fail (2) and (3) as well.
        DecisionCase{"VendorBeforeTable", Identity("ACME", "KVW-Z999A", kCodeA1),
                     TrozFields("KVW-A100A", kCodeA1), kRefusalVendor, kQuietThenModelCodePath},
        DecisionCase{"VendorIsCaseSensitive", Identity("troz", "KVW-A100A", kCodeA1),
                     TrozFields("KVW-A100A", kCodeA1), kRefusalVendor, kQuietThenModelCodePath},
        DecisionCase{"TableBeforeTarget", Identity("TROZ", "KVW-Z999A", kCodeA1),
                     TrozFields("KVW-A100A", kCodeA1), kRefusalProductTable,
                     kQuietThenModelCodePath},
        DecisionCase{"TablePaddingCounts", Identity("TROZ", "KVW-A100A      X", kCodeA1),
                     TrozFields("KVW-A100A      X", kCodeA1), kRefusalProductTable,
                     kQuietThenModelCodePath},
        DecisionCase{"TargetProduct", Identity("TROZ", "KVW-B200A", kCodeA1),
                     TrozFields("KVW-A100A", kCodeA1), kRefusalTargetProduct,
                     kQuietThenModelCodePath}),
    [](const ::testing::TestParamInfo<DecisionCase>& param) { return param.param.name; });

class StartButton : public ::testing::Test {
protected:
    StartButton() : rig(DirectDrive(DefaultIdentity())) {}

    void OpenDemo() {
        path = rig.OpenPackage(SinglePackage(DemoImage()));
        ASSERT_EQ(rig.window.targetProductText, "TROZ    KVW-A100A       1.10");
        rig.Forget();
    }
    void ExpectEarlyExit(const char* line) {
        EXPECT_EQ(rig.window.lines, std::vector<std::string>{line});
        EXPECT_TRUE(rig.Watched(0).opcodes.empty());
        EXPECT_TRUE(rig.window.progress.empty());
        EXPECT_EQ(rig.window.enablings, kEarlyExitEnablings);
    }

    WorkflowRig rig;
    std::string path;
};

TEST_F(StartButton, WithoutAPackageSendsNothingAndLeavesTheBar) {
    rig.Start();
    ExpectEarlyExit(kNoFirmware);
}

TEST_F(StartButton, AFileWithoutAnAcceptedImageIsRefused) {
    rig.OpenPackage(SinglePackage(FillerImage(7)));
    rig.Forget();
    rig.Start();
    ExpectEarlyExit(kNoImageChosen);
}

TEST_F(StartButton, WithoutASelectedDriveSendsNothing) {
    OpenDemo();
    for (const int index : {-1, 1}) {
        rig.Forget();
        rig.window.selectedDriveIndex = index;
        rig.Start();
        ExpectEarlyExit(kNoDriveSelected);
    }
}

TEST_F(StartButton, APackageFailingValidationSendsNothingAndLeavesTheBarAt10) {
    std::vector<std::uint8_t> package = SinglePackage(DemoImage());
    package.at(64 + 40000) ^= 0x01;
    rig.OpenPackage(package);
    ASSERT_TRUE(rig.workflow->ImageChosen());
    rig.Forget();

    rig.Start();

    EXPECT_EQ(rig.window.lines, std::vector<std::string>{kFileChecksumError});
    EXPECT_TRUE(rig.Watched(0).opcodes.empty());
    EXPECT_EQ(rig.window.progress, std::vector<int>{10});
    EXPECT_EQ(rig.window.enablings, kEarlyExitEnablings);
}

// Start checks and sends the file the Open step examined: a file put under its name since,
// or that file changed, is refused before the drive hears a command, even when the new one
// would pass every check (another drive's firmware would be written into this one).
TEST_F(StartButton, AFileChangedOrReplacedSinceOpenIsRefused) {
    namespace fs = std::filesystem;
    // Each change says whether the system allowed it: Windows keeps a file that is open in
    // place, so it can be neither renamed over nor removed while the Open step holds it.
    const struct {
        const char* name;
        bool (*change)(const std::string& name);
    } changes[] = {
        {"another package renamed over it",
         [](const std::string& name) {
             const std::vector<std::uint8_t> other =
                 SinglePackage(RecordImage(TrozFields("KVW-A100A", kCodeA1)), true);
             std::FILE* file = std::fopen((name + ".new").c_str(), "wb");
             std::fwrite(other.data(), 1, other.size(), file);
             std::fclose(file);
             std::error_code error;
             fs::rename(name + ".new", name, error);
             return !error;
         }},
        {"removed",
         [](const std::string& name) {
             std::error_code error;
             return fs::remove(name, error);
         }},
        {"touched",
         [](const std::string& name) {
             fs::last_write_time(name, fs::last_write_time(name) + std::chrono::seconds(2));
             return true;
         }},
        {"model record rewritten in place, size and time kept",
         [](const std::string& name) {
             const auto time = fs::last_write_time(name);
             std::FILE* file = std::fopen(name.c_str(), "r+b");
             // The product in the model record, which the sum does not see when swapped.
             const long product = 64 + kRecordOffset + 8 + 8;
             char bytes[2] = {};
             std::fseek(file, product, SEEK_SET);
             std::fread(bytes, 1, 2, file);
             std::swap(bytes[0], bytes[1]);
             std::fseek(file, product, SEEK_SET);
             std::fwrite(bytes, 1, 2, file);
             std::fclose(file);
             fs::last_write_time(name, time);
             return true;
         }},
    };
    for (const auto& change : changes) {
        SCOPED_TRACE(change.name);
        OpenDemo();
        if (!change.change(path)) {
            continue;
        }
        rig.Start();
        EXPECT_EQ(rig.window.lines, std::vector<std::string>{kPackageChangedSinceOpen});
        EXPECT_TRUE(rig.Watched(0).opcodes.empty());
        EXPECT_EQ(rig.window.progress, std::vector<int>{10});
        EXPECT_EQ(rig.window.enablings, kEarlyExitEnablings);
    }
}

TEST_F(StartButton, QuietsTheDriveWithStartEnabledAndDecidesWithEverythingDisabled) {
    rig.OpenPackage(SinglePackage(RecordImage(TrozFields("KVW-B200A", kCodeA1))));
    rig.Forget();
    rig.Start();
    ASSERT_EQ(rig.Watched(0).opcodes, kQuietThenModelCodePath);
    EXPECT_EQ(rig.Watched(0).enablings,
              (std::vector<Enabling>{kDriveListDisabled, kDriveListDisabled, kAllDisabled,
                                     kAllDisabled}));
}

TEST_F(StartButton, EachPressBeginsAgainAt10) {
    rig.OpenPackage(SinglePackage(RecordImage(TrozFields("KVW-B200A", kCodeA1))));
    rig.Forget();
    rig.Start();
    rig.Start();
    EXPECT_EQ(rig.window.progress, (std::vector<int>{10, 20, 10, 20}));
    EXPECT_EQ(rig.window.lines,
              (std::vector<std::string>{kRefusalTargetProduct, kRefusalTargetProduct}));
}

TEST_F(StartButton, AFailedInquiryIsNotReportedAndReadsAsModelCodeZero) {
    OpenDemo();
    rig.Drive(0).InjectFault(
        CommandFault::CheckCondition(kSenseInvalidFieldInCdb).OnOpcode(kInquiry).Times(0));
    rig.Start();
    EXPECT_EQ(rig.window.lines, std::vector<std::string>{kRefusalModelCode});
    EXPECT_EQ(rig.CountOf(0, kInquiry), 2);
}

TEST(StartOutcome, ANamedDriveIsFlashedWhateverTheModelCode) {
    WorkflowRig named(DirectDrive(Identity("TROZ", "KVW-D400A", kCodeW0)));
    named.OpenPackage(SinglePackage(RecordImage({"TROZ", "KVW-D400A", "2.00", kCodeZ9})));
    named.Forget();
    named.Start();
    ASSERT_FALSE(named.window.lines.empty());
    EXPECT_EQ(named.window.lines.back(), kFlashComplete);
    EXPECT_EQ(named.CountOf(0, kInquiry), 1);
    EXPECT_EQ(named.Drive(0).Identity().revision, "2.00");
}

TEST(StartOutcome, AFailedFlashEndsWithItsOwnLinesAndNoRestartQuestion) {
    WorkflowRig refusing(ConfigFor(Personality::NoDownload));
    refusing.OpenPackage(SinglePackage(DemoImage()));
    refusing.Forget();
    refusing.Start();
    EXPECT_EQ(refusing.window.lines.front(), kFlashingLine);
    EXPECT_EQ(refusing.window.lines.back(), kRefusalNoBufferedDownload);
    EXPECT_FALSE(HasLineStartingWith(refusing.window.lines, "Ok:"));
    EXPECT_EQ(refusing.window.restartQuestions, 0);
    EXPECT_EQ(refusing.window.enablings, kDecisionEnablings);
    EXPECT_FALSE(refusing.workflow->LastUpdateSucceeded());
}

class SuccessfulUpdate : public ::testing::TestWithParam<VirtualTransport> {
protected:
    SuccessfulUpdate() : rig({DirectDrive(DefaultIdentity())}, GetParam()) {}

    void Run() {
        rig.OpenPackage(SinglePackage(image));
        rig.Forget();
        rig.Start();
    }

    WorkflowRig rig;
    std::vector<std::uint8_t> image = DemoImage();
};

TEST_P(SuccessfulUpdate, FlashesReportsAndAsksOnceWithEverythingDisabled) {
    Run();
    const auto& lines = rig.window.lines;
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front(), kFlashingLine);
    EXPECT_EQ(lines.back(), kFlashComplete);
    EXPECT_FALSE(HasLineStartingWith(lines, "Err:"));
    EXPECT_EQ(rig.window.progress, (std::vector<int>{10, 20, 0, 20, 40, 80, 70, 80, 100}));
    EXPECT_EQ(rig.window.restartQuestions, 1);
    EXPECT_EQ(rig.window.atRestartQuestion, std::vector<Enabling>{kAllDisabled});
    EXPECT_EQ(rig.services.restartRequests, 0);
    EXPECT_EQ(rig.window.enablings, kDecisionEnablings);
    EXPECT_TRUE(rig.workflow->LastUpdateSucceeded());
    EXPECT_EQ(rig.Drive(0).ProgrammedImage(), image);
    EXPECT_EQ(rig.Drive(0).Identity().revision, "1.10");
}

TEST_P(SuccessfulUpdate, NoFirmwareCommandBeforeTheChecksAndAllWhileDisabled) {
    Run();
    const WatchedDrive& drive = rig.Watched(0);
    const auto firstFirmware =
        std::find_if(drive.opcodes.begin(), drive.opcodes.end(), IsFirmwareCommand);
    ASSERT_NE(firstFirmware, drive.opcodes.end());
    EXPECT_EQ(std::vector<std::uint8_t>(drive.opcodes.begin(), firstFirmware),
              kQuietThenModelCodePath);
    for (std::size_t n = 2; n < drive.opcodes.size(); ++n) {
        EXPECT_EQ(drive.enablings[n], kAllDisabled) << "command " << n;
    }
}

TEST_P(SuccessfulUpdate, ARefusedRestartIsReported) {
    rig.window.restartAnswer = true;
    Run();
    EXPECT_EQ(rig.services.restartRequests, 1);
    EXPECT_EQ(rig.window.lines.back(),
              "Err:Cannot restart this computer: A required privilege is not held by the client.");
    EXPECT_EQ(rig.window.enablings.back(), kAllEnabled);
}

TEST_P(SuccessfulUpdate, AnAcceptedRestartAddsNoLine) {
    rig.window.restartAnswer = true;
    rig.services.refusal.clear();
    Run();
    EXPECT_EQ(rig.services.restartRequests, 1);
    EXPECT_EQ(rig.window.lines.back(), kFlashComplete);
}

INSTANTIATE_TEST_SUITE_P(Transports, SuccessfulUpdate,
                         ::testing::Values(VirtualTransport::PassThrough, VirtualTransport::Aspi),
                         [](const auto& param) {
                             return param.param == VirtualTransport::PassThrough ? "PassThrough"
                                                                                 : "Aspi";
                         });

// A drive that stopped answering is shown once in each action of the user, Start or Open:
// not once per command, and not only in the first action.
TEST(ADriveThatWentAway, IsShownAgainAtEachPressOfStartOrOpen) {
    WorkflowRig rig(DirectDrive(DefaultIdentity()));
    const std::string& multi = rig.OpenPackage(MultiPackage({DemoImage()}));
    rig.Drive(0).InjectFault(CommandFault::Transport(TransportFault::Gone).OnOpcode(kStopPlayScan));
    rig.Forget();
    for (std::size_t press = 1; press <= 2; ++press) {
        rig.Start();
        EXPECT_EQ(rig.services.messages.size(), press);
        EXPECT_EQ(rig.window.lines.back(), kRefusalModelCode);
    }
    rig.Open(multi);
    EXPECT_EQ(rig.services.messages.size(), 3u);
}

// The direct procedure's completion wait dispatches window events: Open and Start are
// clickable then.
TEST(StartWhileRunning, OpenAndStartAreRefusedUntilTheHandlerEnds) {
    WorkflowRig rig(DirectDrive(DefaultIdentity()));
    const std::string path = rig.OpenPackage(SinglePackage(DemoImage()));
    const std::string target = rig.window.targetProductText;
    TempPackageFile other(SinglePackage(RecordImage(TrozFields("KVW-B200A", kCodeA1))));
    rig.Forget();
    rig.window.onDispatch = [&] {
        EXPECT_TRUE(rig.workflow->UpdateRunning());
        rig.Open(other.Path());
        rig.Start();
    };

    rig.Start();

    EXPECT_EQ(rig.window.dispatchCount > 0, true);
    EXPECT_EQ(std::count(rig.window.lines.begin(), rig.window.lines.end(), kOpenWhileUpdating), 1);
    EXPECT_EQ(rig.window.lines.back(), kFlashComplete);
    EXPECT_EQ(rig.window.packageFileName, path);
    EXPECT_EQ(rig.window.targetProductText, target);
    EXPECT_EQ(rig.Drive(0).ProgramCount(), 1);
    EXPECT_EQ(std::count(rig.window.progress.begin(), rig.window.progress.end(), 10), 1);
    EXPECT_FALSE(rig.workflow->UpdateRunning());
}

// The drive list is enabled after a refusal, so the next press can go to another drive.
TEST(StartOnSeveralDrives, CommandsGoToTheSelectedDriveOnly) {
    WorkflowRig rig({DirectDrive(Identity("TROZ", "KVW-A100A", kCodeA1)),
                     DirectDrive(Identity("TROZ", "KVW-B200A", kCodeA1))});
    ASSERT_EQ(rig.atapi->DriveCount(), 2);
    rig.OpenPackage(SinglePackage(RecordImage(TrozFields("KVW-B200A", kCodeA1))));
    rig.Forget();

    rig.Start();
    EXPECT_EQ(rig.window.lines, std::vector<std::string>{kRefusalTargetProduct});
    EXPECT_TRUE(rig.window.driveListEnabled);
    EXPECT_TRUE(rig.Watched(1).opcodes.empty());

    rig.Select(1);
    rig.Forget();
    rig.Start();
    EXPECT_EQ(rig.window.lines.back(), kFlashComplete);
    EXPECT_TRUE(rig.Watched(0).opcodes.empty());
    EXPECT_EQ(rig.Drive(1).ProgramCount(), 1);
    EXPECT_EQ(rig.Drive(0).ProgramCount(), 0);
}

}  // namespace
}  // namespace troz::test
