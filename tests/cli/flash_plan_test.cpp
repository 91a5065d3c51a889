// The pieces of trozflash-cli flash that need no drive: the question before writing, which
// drive --drive names, and the sense of a failed command in plain words.
#include "cli/flash_plan.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

#include "cli/drive_choice.h"
#include "cli/sense_text.h"
#include "tests/support/recording_services.h"
#include "tests/support/stdio_streams.h"
#include "virtual/builtin_drives.h"
#include "virtual/virtual_clock.h"

namespace troz::cli {
namespace {

using test::Capture;
using test::Input;

TEST(WriteQuestion, OnlyYOrYesOnATerminalOrGivenYesConsents) {
    struct Case {
        bool assumeYes;
        bool terminal;
        const char* answer;
        Consent consent;
        bool asked;
    };
    const Case cases[] = {
        {false, true, "y\n", Consent::Given, true},
        {false, true, "  YES\n", Consent::Given, true},
        {false, true, "n\n", Consent::Declined, true},
        {false, true, "\n", Consent::Declined, true},
        {false, true, "", Consent::Declined, true},
        {false, true, "yesterday\n", Consent::Declined, true},
        {false, true, "yes please, write it\n", Consent::Declined, true},
        {false, false, "y\n", Consent::NoTerminal, false},
        {true, false, "n\n", Consent::Given, false},
        {true, true, "n\n", Consent::Given, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        Input input(c.answer);
        Capture prompt;
        EXPECT_EQ(AskToWrite(c.assumeYes, c.terminal, input.File(), prompt.File()), c.consent);
        EXPECT_EQ(prompt.Text(), c.asked ? "Write this firmware? [y/N] " : "");
        // Unasked, the input is left for the restart question.
        if (!c.asked) {
            EXPECT_EQ(input.Position(), 0);
        }
    }
}

TEST(DriveOption, AnIndexOrADeviceNodeOfAListedDrive) {
    const std::vector<std::string> locations = {"/dev/sr0", "/dev/sr1", "/dev/sr3"};
    // What the system would say: a link to sr1, the generic node of sr3.
    const std::map<std::string, std::string> system = {
        {"/dev/cdrom", "/dev/sr1"}, {"/dev/sg2", "/dev/sr3"}, {"/dev/sg4", ""}};
    const ListedNodeOf listedNodeOf = [&](const std::string& node) {
        const auto found = system.find(node);
        return found == system.end() ? std::string() : found->second;
    };
    const std::pair<const char*, int> cases[] = {
        {"0", 0},        {"2", 2},  {"/dev/sr1", 1},  {"/dev/cdrom", 1},
        {"/dev/sg2", 2}, {"3", -1}, {"/dev/sr2", -1}, {"/dev/sg4", -1},
        {"-1", -1},      {"", -1},  {"99999", -1},    {"1x", -1},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        int index = -7;
        std::string error;
        EXPECT_EQ(ChooseDrive(locations, text, listedNodeOf, index, error), expected >= 0);
        if (expected >= 0) {
            EXPECT_EQ(index, expected);
        } else {
            EXPECT_EQ(error.rfind("Err:", 0), 0u) << error;
        }
    }
    int index = 0;
    std::string error;
    ASSERT_FALSE(ChooseDrive(locations, "3", listedNodeOf, index, error));
    EXPECT_EQ(error, "Err:There is no drive 3 (3 found; see trozflash-cli list)");
    ASSERT_FALSE(ChooseDrive(locations, "/dev/sr\n9", listedNodeOf, index, error));
    EXPECT_EQ(error,
              "Err:No listed drive is /dev/sr\\x0A9 (give an index or a device node from "
              "trozflash-cli list)");
}

// flash's report of the session's events, over the built-in drives.
class FlashReportTest : public ::testing::Test {
protected:
    FlashReportTest()
        : platform_(MakeBuiltinDrivePlatform(VirtualTransport::PassThrough, clock_, std::nullopt)),
          atapi_(*platform_, clock_, services_),
          window_(atapi_, "demo.tfs", 0, log_.File(), nullptr, false),
          report_(window_, {nullptr, false, log_.File(), notes_.File()},
                  {0, "TROZ    KVW-A100A        1.00", "virtual:0", "1.00", "demo.tfs", ""}) {}

    VirtualClock clock_;
    test::RecordingServices services_;
    std::unique_ptr<DrivePlatform> platform_;
    TAtapi atapi_;
    Capture log_, notes_;
    TerminalWindow window_;
    FlashReport report_;
};

// The sense of a failed command, as the session reports it in numbers, in plain words.
TEST_F(FlashReportTest, AFailedCommandsSenseIsNotedInPlainWords) {
    const std::pair<CommandSense, const char*> cases[] = {
        {{2, 5, 0x1A, 0}, "Illegal Request: Parameter list length error"},
        {{2, 2, 4, 1}, "Not Ready: Logical unit is in process of becoming ready"},
        {{0, 6, 0x29, 0}, "Unit Attention: Power on, reset, or bus device reset occurred"},
        {{2, 3, 0x0C, 0}, "Medium Error: Write error"},
        // Codes the tables do not know are still named, by number.
        {{2, 5, 0x80, 0}, "Illegal Request: vendor specific ASC=80, ASCQ=00 (hex)"},
    };
    std::string expected;
    for (const auto& [sense, words] : cases) {
        report_.CommandFailed(sense);
        expected += std::string("  sense: ") + words + "\n";
    }
    EXPECT_EQ(notes_.Text(), expected);
}

// After "Ok:Flash Complete!!" the drive must report the revision of the image it was sent;
// otherwise the update is not confirmed, and flash says so.
TEST_F(FlashReportTest, ARevisionOtherThanTheImagesIsNotConfirmed) {
    const struct {
        std::optional<std::string> after;
        bool confirmed;
        const char* outcome;
        const char* notes;
    } cases[] = {
        {"1.10", true, "written", "Drive 0 now reports revision 1.10 (it was 1.00).\n"},
        {"1.00", false, "unconfirmed",
         "Drive 0 still reports revision 1.00: the revision did not change.\n"
         "trozflash-cli: drive 0 reports revision 1.00, not 1.10 of the firmware it was sent: "
         "the update is not confirmed.\n"},
        {"\x1b[2J", false, "unconfirmed",
         "Drive 0 now reports revision \\x1B[2J (it was 1.00).\n"
         "trozflash-cli: drive 0 reports revision \\x1B[2J, not 1.10 of the firmware it was "
         "sent: the update is not confirmed.\n"},
        {std::nullopt, false, "unconfirmed",
         "Drive 0 did not answer INQUIRY after the update; it reported revision 1.00 before.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.notes);
        Capture notes;
        FlashReport report(window_, {nullptr, false, log_.File(), notes.File()},
                           {0, "TROZ    KVW-A100A        1.00", "virtual:0", "1.00", "d.tfs", ""});
        UpdateResult result;
        result.outcome = UpdateOutcome::Written;
        result.revisionAfter = c.after;
        result.targetRevision = "1.10";
        report.UpdateFinished(result);
        EXPECT_EQ(report.confirmed, c.confirmed);
        EXPECT_EQ(report.record.outcome, c.outcome);
        EXPECT_EQ(notes.Text(), c.notes);
    }
}

}  // namespace
}  // namespace troz::cli
