// The demo package flashed with trozflash-cli.exe over the real ASPI transport, end to end:
// the program runs as on Windows 98, loads the test WNASPI32.DLL from the system directory,
// and the library writes down every request it gets, with the time it arrived. The pauses
// are the real ones of the flash procedures.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/win32/child_process.h"

namespace troz::test {
namespace {

// Long enough for a completion wait that runs out (121 s) and what follows it.
constexpr std::uint32_t kFlashTimeoutMs = 200000;
constexpr std::uint32_t kBlockPauseMs = 2000;
constexpr std::uint32_t kRetryPauseMs = 20000;
constexpr std::size_t kDemoBlockCount = 4;

// The vendor download command as it travels: 5A 00 38 54 52 A0, function code, block byte.
constexpr const char* kVendorDownload = "5a00385452a0";
constexpr const char* kTestUnitReady = "000000000000000000000000";

// One line of the library's request log (see tests/win32/wnaspi32/test_aspi_layer.h).
struct LoggedRequest {
    std::uint32_t arrival = 0;
    std::string cdb;
    std::uint32_t length = 0;
    std::string completion;
    std::string status;
    std::string targetStatus;
    std::string sense;  // "key asc ascq"

    bool IsVendorDownload(const char* functionCode, const char* blockByte) const {
        return cdb.starts_with(std::string(kVendorDownload) + functionCode + blockByte);
    }
    bool IsTestUnitReady() const { return cdb == kTestUnitReady; }
};

std::vector<LoggedRequest> ReadExecRequests(const std::filesystem::path& log) {
    std::vector<LoggedRequest> requests;
    std::ifstream file(log);
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        LoggedRequest request;
        std::string kind;
        std::string address;
        std::string arrow;
        std::string key;
        std::string asc;
        std::string ascq;
        fields >> request.arrival >> kind;
        if (kind != "exec") {
            continue;
        }
        fields >> address >> request.cdb >> request.length >> request.completion >> arrow >>
            request.status >> request.targetStatus >> key >> asc >> ascq;
        request.sense = key + " " + asc + " " + ascq;
        requests.push_back(request);
    }
    return requests;
}

std::size_t IndexOf(const std::vector<LoggedRequest>& requests, const char* functionCode,
                    const char* blockByte, std::size_t from = 0) {
    for (std::size_t i = from; i < requests.size(); ++i) {
        if (requests[i].IsVendorDownload(functionCode, blockByte)) {
            return i;
        }
    }
    return requests.size();
}

class AspiFlash : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        directory = std::filesystem::path(WindowsPath(TROZ_WIN32_TEST_RUNS)) / test->name();
        std::filesystem::remove_all(directory);
        std::filesystem::create_directories(directory);
    }

    ChildResult RunCli(const std::string& arguments, const char* firstDrive = nullptr,
                       bool logRequests = true) {
        const std::string log = (directory / "requests.log").string();
        const std::string state = (directory / "drives.json").string();
        const ScopedEnvironment environment(
            {{"TROZFLASH_DRIVES", nullptr},
             {"TROZ_WNASPI32_LOG", logRequests ? log.c_str() : nullptr},
             {"TROZ_WNASPI32_STATE", state.c_str()},
             {"TROZ_WNASPI32_FIRST_DRIVE", firstDrive}});
        return RunProgram(WindowsPath(TROZ_CLI_PATH), arguments, kFlashTimeoutMs);
    }

    ChildResult FlashDemo(const char* firstDrive = nullptr, bool logRequests = true) {
        std::filesystem::remove(directory / "requests.log");
        return RunCli(
            "flash --drive 0 --yes --no-restart \"" + WindowsPath(TROZ_DEMO_PACKAGE) + "\"",
            firstDrive, logRequests);
    }

    std::vector<LoggedRequest> Requests() { return ReadExecRequests(directory / "requests.log"); }

    std::filesystem::path directory;
};

constexpr const char* kFlashOutput =
    "Flashing ..\n"
    "Ok:Flash Complete!!\n"
    "Reboot this computer right now ? no\n";

TEST_F(AspiFlash, ListShowsTheDrivesOfTheLibrary) {
    const ChildResult list = RunCli("list");

    ASSERT_TRUE(list.finished);
    EXPECT_EQ(list.exitCode, 0u);
    EXPECT_EQ(WithoutCarriageReturns(list.output),
              "0  TROZ    KVW-A100A        1.00  (ha 0 target 0 lun 0)\n"
              "1  TROZ    KVW-B200A        2.00  (ha 0 target 1 lun 0)\n"
              "2  ACME    CDRW-5200        3.10  (ha 1 target 0 lun 0)\n");
    EXPECT_EQ(list.errors, "");
}

TEST_F(AspiFlash, DemoPackageGoesInByTheDirectProcedure) {
    const ChildResult flash = FlashDemo();

    ASSERT_TRUE(flash.finished);
    EXPECT_EQ(flash.exitCode, 0u);
    EXPECT_EQ(WithoutCarriageReturns(flash.output), kFlashOutput);
    // Beside the log: the plan before writing and the revision afterwards, nothing else.
    const std::string errors = WithoutCarriageReturns(flash.errors);
    EXPECT_EQ(errors.rfind("About to write firmware into drive 0:\n  drive:    TROZ    KVW-A100A"
                           "        1.00  (ha 0 target 0 lun 0)\n",
                           0),
              0u)
        << errors;
    ASSERT_NE(errors.find("  target:"), std::string::npos) << errors;
    EXPECT_EQ(errors.substr(errors.find("  target:")),
              "  target:   TROZ    KVW-A100A       1.10\n"
              "  Upgrade: the drive reports 1.00, the package brings 1.10\n"
              "Drive 0 now reports revision 1.10 (it was 1.00).\n");

    const std::vector<LoggedRequest> requests = Requests();
    const std::size_t firstBlock = IndexOf(requests, "05", "00");
    ASSERT_GT(firstBlock, 0u);
    ASSERT_LE(firstBlock + kDemoBlockCount, requests.size());
    EXPECT_GE(requests[firstBlock].arrival - requests[firstBlock - 1].arrival, kBlockPauseMs);
    for (std::size_t n = 0; n < kDemoBlockCount; ++n) {
        const LoggedRequest& block = requests[firstBlock + n];
        EXPECT_TRUE(block.IsVendorDownload("05", ("0" + std::to_string(n)).c_str())) << block.cdb;
        EXPECT_EQ(block.length, 16384u);
        EXPECT_EQ(block.completion, "later");
        EXPECT_EQ(block.status, "1");
    }

    // Taken at the first try: no resend, no retry pause; the wait polls at once.
    const std::size_t trigger = firstBlock + kDemoBlockCount;
    ASSERT_LT(trigger + 1, requests.size());
    EXPECT_TRUE(requests[trigger].IsVendorDownload("04", "e4")) << requests[trigger].cdb;
    EXPECT_EQ(requests[trigger].status, "1");
    EXPECT_TRUE(requests[trigger + 1].IsTestUnitReady());
    EXPECT_LT(requests[trigger + 1].arrival - requests[trigger].arrival, kBlockPauseMs);
    EXPECT_EQ(IndexOf(requests, "05", "e4"), requests.size());
    EXPECT_EQ(requests.back().status, "1");

    const ChildResult list = RunCli("list");
    EXPECT_NE(WithoutCarriageReturns(list.output).find("0  TROZ    KVW-A100A        1.10"),
              std::string::npos)
        << list.output;
}

// The ASPI transport's own steps: a TEST UNIT READY before the first resend, and after a
// resend 20 seconds for the drive before the completion wait. It takes that long.
TEST_F(AspiFlash, RefusedTriggerIsResentAfterATestUnitReadyAndAPause) {
    const ChildResult flash = FlashDemo("resend-function5");

    ASSERT_TRUE(flash.finished);
    EXPECT_EQ(flash.exitCode, 0u);
    EXPECT_EQ(WithoutCarriageReturns(flash.output), kFlashOutput);

    const std::vector<LoggedRequest> requests = Requests();
    const std::size_t trigger = IndexOf(requests, "04", "e4");
    ASSERT_LT(trigger + 3, requests.size());
    EXPECT_EQ(requests[trigger].status, "4");
    EXPECT_EQ(requests[trigger].targetStatus, "2");
    EXPECT_EQ(requests[trigger].sense, "5 24 0");
    EXPECT_TRUE(requests[trigger + 1].IsTestUnitReady()) << requests[trigger + 1].cdb;
    EXPECT_TRUE(requests[trigger + 2].IsVendorDownload("05", "e4")) << requests[trigger + 2].cdb;
    EXPECT_EQ(requests[trigger + 2].status, "1");
    EXPECT_EQ(IndexOf(requests, "05", "f4"), requests.size());
    EXPECT_TRUE(requests[trigger + 3].IsTestUnitReady());
    EXPECT_GE(requests[trigger + 3].arrival - requests[trigger + 2].arrival, kRetryPauseMs);
}

// On ASPI the time-out line carries the target's status byte of the last poll first. The
// drive never comes back, so this waits the whole 121 seconds; its polls are not recorded.
TEST_F(AspiFlash, DriveThatNeverComesBackEndsInTheTimeOutLineWithTheTargetStatus) {
    const ChildResult flash = FlashDemo("never-comes-back", false);

    ASSERT_TRUE(flash.finished);
    EXPECT_EQ(flash.exitCode, 1u);
    EXPECT_EQ(WithoutCarriageReturns(flash.output),
              "Flashing ..\n"
              "Time Out Status:2;Status:1;Debug:Trigger_SenseCode:2 : 4 : 1;\n"
              "Err:Flash error,time out 120 Sec\n"
              "Err:The firmware is not support this device!!(7)\n");
}

}  // namespace
}  // namespace troz::test
