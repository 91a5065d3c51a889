// The pieces of trozflash-cli flash that need no drive: the question before writing, which
// drive --drive names, and sense codes in plain words.
#include "cli/flash_plan.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

#include "cli/drive_choice.h"
#include "cli/sense_text.h"
#include "tests/support/stdio_streams.h"

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

TEST(SenseWords, TheLinesThatCarrySenseCodesGetThemInPlainWords) {
    struct Case {
        const char* line;
        std::optional<std::string> words;  // none: the line carries no sense codes
    };
    const Case cases[] = {
        {"Status:2;SenseCode:5 : 1a : 0;", "Illegal Request: Parameter list length error"},
        {"Time Out Status:2;Debug:Trigger_SenseCode:2 : 4 : 1;",
         "Not Ready: Logical unit is in process of becoming ready"},
        {"Time Out Status:0;Status:2;Debug:Trigger_SenseCode:6 : 29 : 0;",
         "Unit Attention: Power on, reset, or bus device reset occurred"},
        {"Status:2;SenseCode:3 : c : 0;", "Medium Error: Write error"},
        // Codes the tables do not know are still named, by number.
        {"Status:2;SenseCode:5 : 80 : 0;",
         "Illegal Request: vendor specific ASC=80, ASCQ=00 (hex)"},
        {"Ok:Flash Complete!!", std::nullopt},
        {"Status:2;SenseCode:5 : 1a;", std::nullopt},
        {"Status:2;SenseCode:5 : 100 : 0;", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const std::optional<SenseCodes> codes = SenseCodesOfLine(c.line);
        ASSERT_EQ(codes.has_value(), c.words.has_value());
        if (codes) {
            EXPECT_EQ(SenseInPlainWords(*codes), *c.words);
        }
    }
}

}  // namespace
}  // namespace troz::cli
