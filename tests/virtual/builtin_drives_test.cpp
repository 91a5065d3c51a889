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
#include <iterator>
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
        ASSERT_EQ(SendDemoFirmware(atapi), kCommandSuccess);
        int polls = 0;
        while (atapi.TestUnitReady() != kCommandSuccess) {
            ASSERT_LT(++polls, 10000);
        }
    }
    // The same up to the trigger; its status.
    static std::uint8_t SendDemoFirmware(TAtapi& atapi) {
        const auto firmware = MakeFirmware(DemoFirmwareIdentity(), {3000, 1000});
        for (std::size_t n = 0; n < firmware.size(); ++n) {
            EXPECT_EQ(atapi.VendorDownload(firmware[n].data(), 5, static_cast<std::uint8_t>(n),
                                           static_cast<std::uint16_t>(firmware[n].size()), 0),
                      kCommandSuccess);
        }
        return atapi.VendorDownload(nullptr, 4, 0xE2, 0, Checksum(firmware));
    }
    static std::string Content(const fs::path& file) {
        std::ifstream stream(file);
        return std::string(std::istreambuf_iterator<char>(stream), {});
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
              "TROZFLASH_DRIVES=foo\\x0Abar is not known; use virtual or virtual-aspi, or leave it "
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

TEST_F(BuiltinDrives, AStateThatCannotBeSavedIsAFailedProgramming) {
    // A file where the state folder should be: nothing can be read or saved there. The
    // drive's flash memory cannot be written, as a real drive's that refuses the trigger.
    fs::create_directories(stateHome);
    std::ofstream(stateHome / "trozflash") << "a file";
    for (const char* selection : {"virtual", "virtual-aspi"}) {
        services.messages.clear();
        auto platform = Make(selection);
        TAtapi atapi(*platform, clock, services);
        atapi.SelectDevice(0);
        EXPECT_NE(SendDemoFirmware(atapi), kCommandSuccess) << selection;
        const SenseBytes sense = atapi.LastOutcome().sense;
        EXPECT_EQ((std::array{sense.senseKey, sense.asc, sense.ascq}),
                  (std::array<std::uint8_t, 3>{kSenseHardwareError, 0x44, 0x00}));
        EXPECT_EQ(atapi.TestUnitReady(), kCommandSuccess) << "back at once, with its old firmware";
        EXPECT_EQ(Listed(atapi)[0], factoryList[0]);
#ifndef _WIN32  // where a path through a file is not even looked at
        ASSERT_EQ(services.messages.size(), 2u);
        EXPECT_EQ(services.messages[0], "The virtual drives' state file " + stateFile.string() +
                                            " cannot be used: Not a directory; the virtual "
                                            "drives start in their factory state");
#endif
        ASSERT_FALSE(services.messages.empty());
        const std::string saveFailure =
            "Cannot save the virtual drives' state to " + stateFile.string();
        EXPECT_EQ(services.messages.back().substr(0, saveFailure.size()), saveFailure);
    }
}

TEST_F(BuiltinDrives, AStateFileThatCannotBeUsedIsLeftAsItIs) {
    // Somebody else's file, in place or behind a link: a flash fails rather than replace it.
    const fs::path foreign = stateHome / "notes.txt";
    fs::create_directories(stateFile.parent_path());
    for (const bool linked : {false, true}) {
        fs::remove(stateFile);
        std::ofstream(foreign) << "precious";
        if (linked) {
            std::error_code error;
            fs::create_symlink(foreign, stateFile, error);
            if (error) {
                GTEST_SKIP() << "this system makes no symbolic links (Windows without the right)";
            }
        } else {
            fs::copy_file(foreign, stateFile);
        }
        services.messages.clear();
        auto platform = Make("virtual");
        TAtapi atapi(*platform, clock, services);
        atapi.SelectDevice(0);
        EXPECT_NE(SendDemoFirmware(atapi), kCommandSuccess);
        EXPECT_EQ(Content(foreign), "precious");
        EXPECT_EQ(Content(stateFile), "precious");
        EXPECT_EQ(fs::is_symlink(stateFile), linked);
        ASSERT_EQ(services.messages.size(), 2u);
        EXPECT_EQ(services.messages[1],
                  "Cannot save the virtual drives' state to " + stateFile.string() +
                      ": that file cannot be used (not a state file of this tool's) and is left "
                      "as it is; remove it to save again; the virtual drive keeps the firmware it "
                      "had");
    }
    // A link to a state file elsewhere: read through, then replaced by the file itself.
    fs::remove(stateFile);
    fs::remove(foreign);
    const DriveIdentity otherFlash{"TROZ", "KVW-B200A", "2.10", {'W', '0'}};
    std::string error;
    ASSERT_TRUE(SaveDriveState(foreign, "kvw-b200a", otherFlash, error)) << error;
    const std::string linkedState = Content(foreign);
    fs::create_symlink(foreign, stateFile);
    auto platform = Make("virtual");
    TAtapi atapi(*platform, clock, services);
    atapi.SelectDevice(0);
    FlashDemoFirmware(atapi);
    EXPECT_EQ(Content(foreign), linkedState) << "never written through the link";
    EXPECT_FALSE(fs::is_symlink(stateFile));
    EXPECT_EQ(LoadDriveStates(stateFile, error).size(), 2u);
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
    // A relative HOME would put the state under whatever folder the tool runs in.
    SetVariable("HOME", "relative-home");
    SetVariable("LOCALAPPDATA", "");
    EXPECT_EQ(DriveStateFilePath(), std::nullopt);
}

TEST_F(BuiltinDrives, WithoutAStateFolderTheDrivesSaySoAndCannotBeLocked) {
    SetVariable("XDG_STATE_HOME", "");
    SetVariable("HOME", "relative-home");
    SetVariable("LOCALAPPDATA", "");
    auto platform = Make("virtual");
    EXPECT_EQ(services.messages,
              std::vector<std::string>{"The virtual drives have no state folder (neither "
                                       "XDG_STATE_HOME nor HOME is an absolute path): they start "
                                       "in their factory state and cannot be flashed"});
    TAtapi atapi(*platform, clock, services);
    EXPECT_EQ(atapi.LockForWriting(0).outcome, DriveLockOutcome::Unavailable);
}

TEST_F(BuiltinDrives, WriterLocksFailClosedAndOutliveTheStateFolder) {
    for (const char* selection : {"virtual", "virtual-aspi"}) {
        DriveLockResult writing;
        {
            auto platform = Make(selection);
            TAtapi atapi(*platform, clock, services);
            writing = atapi.LockForWriting(0);
        }
        ASSERT_EQ(writing.outcome, DriveLockOutcome::Taken) << writing.reason;
        // The factory drives back, as the README says, while drive 0 is being written.
        fs::remove_all(stateFile.parent_path());
        auto second = Make(selection);
        TAtapi other(*second, clock, services);
        EXPECT_EQ(other.LockForWriting(0).outcome, DriveLockOutcome::HeldElsewhere) << selection;
        EXPECT_EQ(other.LockForWriting(1).outcome, DriveLockOutcome::Taken) << selection;
        const DriveLockResult unknown = other.LockForWriting(3);
        EXPECT_EQ(unknown.outcome, DriveLockOutcome::Unavailable);
        EXPECT_EQ(unknown.reason, "there is no drive 3");
    }
}

}  // namespace
}  // namespace troz::test
