// The built-in drives behind TROZFLASH_DRIVES, and the state file that keeps what a flash
// made of them.
#include "virtual/builtin_drives.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <utility>

#include "tests/support/virtual_rig.h"
#include "virtual/drive_source.h"
#include "virtual/drive_state_file.h"

namespace troz::test {
namespace {

namespace fs = std::filesystem;

void SetVariable(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

// Distinct for each test and each run, also when test programs of several build trees run
// side by side.
std::string UniqueName(const char* testName) {
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return std::string("trozflash-virtual-") + testName + "-" + std::to_string(now);
}

class BuiltinDrives : public ::testing::Test {
protected:
    BuiltinDrives() {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        stateHome = fs::temp_directory_path() / UniqueName(test->name());
        SetVariable("XDG_STATE_HOME", stateHome.string());
        stateFile = stateHome / "trozflash" / "virtual-drives.json";
    }
    ~BuiltinDrives() override { fs::remove_all(stateHome); }

    std::unique_ptr<DrivePlatform> Make(const char* selection) {
        std::string error;
        auto platform = MakeDrivePlatform(selection, clock, services, error);
        EXPECT_TRUE(error.empty()) << error;
        return platform;
    }

    static std::vector<std::string> Listed(const TAtapi& atapi) {
        std::vector<std::string> lines;
        for (int i = 0; i < atapi.DriveCount(); ++i) {
            lines.push_back(std::string(atapi.Entry(i).identification) + " " +
                            atapi.Entry(i).revision);
        }
        return lines;
    }

    // The direct procedure's commands with the demo firmware, and the wait until it is back.
    static void FlashDemoFirmware(TAtapi& atapi) {
        const auto firmware = MakeFirmware(DemoFirmwareIdentity(), {3000, 1000});
        for (std::size_t n = 0; n < firmware.size(); ++n) {
            ASSERT_EQ(atapi.VendorDownload(firmware[n].data(), 5, static_cast<std::uint8_t>(n),
                                           static_cast<std::uint16_t>(firmware[n].size()), 0),
                      kCommandSuccess);
        }
        ASSERT_EQ(atapi.VendorDownload(nullptr, 4, 0xE2, 0, Checksum(firmware)), kCommandSuccess);
        int polls = 0;
        while (atapi.TestUnitReady() != kCommandSuccess) {
            ASSERT_LT(++polls, 10000);
        }
    }

    fs::path stateHome;
    fs::path stateFile;
    VirtualClock clock;
    RecordingServices services;
    const std::vector<std::string> factoryList = {"TROZ    KVW-A100A        1.00",
                                                  "TROZ    KVW-B200A        2.00",
                                                  "ACME    CDRW-5200        3.10"};
};

TEST_F(BuiltinDrives, VirtualListsTheThreeDrivesOnPassThrough) {
    auto platform = Make("virtual");
    ASSERT_NE(platform, nullptr);
    TAtapi atapi(*platform, clock, services);
    EXPECT_TRUE(atapi.NtFlag());
    EXPECT_EQ(Listed(atapi), factoryList);
    EXPECT_EQ(atapi.Location(2), "virtual:2");
}

TEST_F(BuiltinDrives, VirtualAspiListsTheSameDrivesByHostAdapterTargetAndLun) {
    auto platform = Make("virtual-aspi");
    ASSERT_NE(platform, nullptr);
    TAtapi atapi(*platform, clock, services);
    EXPECT_FALSE(atapi.NtFlag());
    EXPECT_EQ(Listed(atapi), factoryList);
    EXPECT_EQ(atapi.Entry(1).targetId, 1);
    EXPECT_EQ(atapi.Entry(2).hostAdapterId, 1);
    std::array<std::uint8_t, 50> inquiry{};
    atapi.SelectDevice(1);
    atapi.Inquiry(inquiry);
    EXPECT_EQ(inquiry[38], 'W');
    EXPECT_EQ(inquiry[39], '0');
}

TEST_F(BuiltinDrives, AnUnknownSelectionIsRefusedWithOneLine) {
    std::string error;
    EXPECT_EQ(MakeDrivePlatform("foo\nbar", clock, services, error), nullptr);
    EXPECT_EQ(error,
              "TROZFLASH_DRIVES=foo?bar is not known; use virtual or virtual-aspi, or leave it "
              "unset for the system's drives");
}

TEST_F(BuiltinDrives, AFlashedDriveShowsItsNewRevisionOnTheNextRun) {
    {
        auto platform = Make("virtual");
        TAtapi atapi(*platform, clock, services);
        FlashDemoFirmware(atapi);
    }
    ASSERT_TRUE(fs::exists(stateFile));
    auto platform = Make("virtual-aspi");
    TAtapi atapi(*platform, clock, services);
    EXPECT_EQ(Listed(atapi)[0], "TROZ    KVW-A100A        1.10");
    EXPECT_EQ(Listed(atapi)[1], factoryList[1]);
}

TEST_F(BuiltinDrives, ABrokenStateFileMeansFactoryState) {
    // Files that are no state file at all get one warning; broken entries are left out.
    const std::string tooLarge(kLargestStateFile + 1, ' ');
    const std::pair<std::string, std::size_t> cases[] = {
        {"{ not json", 1},
        {"[]", 1},
        {"{\"drives\": 5}", 1},
        {tooLarge, 1},
        {"{\"drives\": {\"kvw-a100a\": {\"vendor\": 1}}}", 0},
        {"{\"drives\": {\"kvw-a100a\": {\"vendor\": \"X\", \"product\": \"Y\", "
         "\"revision\": \"Z\", \"modelCode\": [1, 300]}}}",
         0}};
    for (const auto& [content, warnings] : cases) {
        fs::create_directories(stateFile.parent_path());
        std::ofstream(stateFile) << content;
        services.messages.clear();
        auto platform = Make("virtual");
        TAtapi atapi(*platform, clock, services);
        EXPECT_EQ(Listed(atapi), factoryList) << content.substr(0, 40);
        EXPECT_EQ(services.messages.size(), warnings) << content.substr(0, 40);
    }
}

TEST_F(BuiltinDrives, AStateThatCannotBeSavedIsReported) {
    // A file where the state folder should be: nothing can be read or saved there.
    fs::create_directories(stateHome);
    std::ofstream(stateHome / "trozflash") << "a file";
    auto platform = Make("virtual");
    TAtapi atapi(*platform, clock, services);
    FlashDemoFirmware(atapi);
#ifndef _WIN32  // where a path through a file is not even looked at
    ASSERT_EQ(services.messages.size(), 2u);
    EXPECT_EQ(services.messages[0], "The virtual drives' state file " + stateFile.string() +
                                        " cannot be used: Not a directory; the virtual drives "
                                        "start in their factory state");
#endif
    ASSERT_FALSE(services.messages.empty());
    const std::string saveFailure =
        "Cannot save the virtual drives' state to " + stateFile.string();
    EXPECT_EQ(services.messages.back().substr(0, saveFailure.size()), saveFailure);
}

TEST_F(BuiltinDrives, AFlashKeepsWhatAnotherRunSavedMeanwhile) {
    auto platform = Make("virtual");  // reads the file before the other run saves
    const DriveIdentity otherFlash{"TROZ", "KVW-B200A", "2.10", {'W', '0'}};
    std::string error;
    ASSERT_TRUE(SaveDriveState(stateFile, "kvw-b200a", otherFlash, error)) << error;
    TAtapi atapi(*platform, clock, services);
    FlashDemoFirmware(atapi);
    const DriveStates saved = LoadDriveStates(stateFile, error);
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(saved.at("kvw-a100a").revision, "1.10");
    EXPECT_EQ(saved.at("kvw-b200a"), otherFlash);
}

TEST_F(BuiltinDrives, TwoWritersAtOnceLoseNoUpdate) {
    // Each thread keeps its own drive's entry changing; under the lock neither ever writes
    // back an entry of the other that it read before the other's save.
    constexpr int kSaves = 25;
    std::atomic<int> lost{0};
    const auto writer = [&](const std::string& key) {
        for (int n = 0; n < kSaves; ++n) {
            const DriveIdentity identity{"TROZ", key, std::to_string(n), {'A', '1'}};
            std::string message;
            const bool saved = SaveDriveState(stateFile, key, identity, message);
            const DriveStates states = ReadDriveStates(stateFile, message);
            if (!saved || states.count(key) == 0 || !(states.at(key) == identity)) {
                ++lost;
            }
        }
    };
    std::thread first(writer, "kvw-a100a");
    std::thread second(writer, "kvw-b200a");
    first.join();
    second.join();
    EXPECT_EQ(lost, 0);
    std::string message;
    EXPECT_EQ(LoadDriveStates(stateFile, message).size(), 2u);
}

TEST_F(BuiltinDrives, StatesOfAnyBytesReadBackExactly) {
    const DriveStates states = {{"kvw-a100a",
                                 {"TR\xC4Z",
                                  std::string("K\0W", 3),
                                  "\xFF"
                                  "1.1",
                                  {0x00, 0xFE}}}};
    std::string message;
    ASSERT_TRUE(SaveDriveStates(stateFile, states, message)) << message;
    EXPECT_EQ(LoadDriveStates(stateFile, message), states);
    EXPECT_TRUE(LoadDriveStates(stateHome / "missing.json", message).empty());
    EXPECT_EQ(message, "");
}

TEST_F(BuiltinDrives, TheStateDirectoryFollowsXdgStateHomeOrHome) {
    EXPECT_EQ(DriveStateFilePath(), stateFile);
    SetVariable("XDG_STATE_HOME", "relative/dir");
    const fs::path home = stateHome / "home";
    SetVariable("HOME", home.string());
    EXPECT_EQ(DriveStateFilePath(),
              home / ".local" / "state" / "trozflash" / "virtual-drives.json");
}

}  // namespace
}  // namespace troz::test
