// One writer per drive on Linux: the flock()s another copy of the tool meets. A second
// descriptor opened in this process stands in for that copy (flock belongs to the open
// file, not the process). Regular files stand in for the device nodes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "os/drive_lock.h"

namespace troz {
namespace {

namespace fs = std::filesystem;

class DriveLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("troz-lock-" + std::to_string(getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override {
        for (const int descriptor : descriptors_) {
            close(descriptor);
        }
        fs::remove_all(folder_);
    }
    std::string Node(const char* name) {
        const std::string path = (folder_ / name).string();
        close(open(path.c_str(), O_CREAT | O_WRONLY, 0600));
        return path;
    }
    DeviceHandle Opened(const std::string& path) {
        const int descriptor = open(path.c_str(), O_RDWR);
        descriptors_.push_back(descriptor);
        return descriptor;
    }
    fs::path folder_;
    std::vector<int> descriptors_;
};

TEST_F(DriveLockTest, SecondWriterOfADriveFileWaitsForTheFirstAndOthersDoNot) {
    DriveLockResult first = LockDriveFile(folder_ / "state" / "kvw-a100a.lock");
    ASSERT_EQ(first.outcome, DriveLockOutcome::Taken) << first.reason;
    EXPECT_EQ(LockDriveFile(folder_ / "state" / "kvw-a100a.lock").outcome,
              DriveLockOutcome::HeldElsewhere);
    EXPECT_EQ(LockDriveFile(folder_ / "state" / "kvw-b200a.lock").outcome, DriveLockOutcome::Taken);
    first.lock.reset();
    EXPECT_EQ(LockDriveFile(folder_ / "state" / "kvw-a100a.lock").outcome, DriveLockOutcome::Taken);
}

TEST_F(DriveLockTest, LockFilesAndTheirFolderArePrivateToTheUser) {
    const fs::path older = folder_ / "state" / "kvw-b200a.lock";
    fs::create_directories(older.parent_path());
    close(open(older.c_str(), O_CREAT | O_WRONLY, 0644));  // as an earlier version made it
    chmod(older.c_str(), 0644);
    const DriveLockResult made = LockDriveFile(folder_ / "locks" / "kvw-a100a.lock");
    const DriveLockResult kept = LockDriveFile(older);
    ASSERT_EQ(made.outcome, DriveLockOutcome::Taken) << made.reason;
    ASSERT_EQ(kept.outcome, DriveLockOutcome::Taken) << kept.reason;
    const auto mode = [](const fs::path& path) { return fs::status(path).permissions(); };
    EXPECT_EQ(mode(folder_ / "locks"), fs::perms::owner_all);
    EXPECT_EQ(mode(folder_ / "locks" / "kvw-a100a.lock"),
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(mode(older), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(DriveLockTest, ALockThatCannotBeMadeRefusesTheWriteWithItsReason) {
    const fs::path locks = folder_ / "locks";
    fs::create_directories(locks / "folder.lock");
    fs::create_symlink(folder_ / "elsewhere", locks / "link.lock");
    mkfifo((locks / "fifo.lock").c_str(), 0600);
    struct Case {
        const char* name;
        const char* reason;
    };
    for (const Case& lock :
         {Case{"folder.lock", "Is a directory"}, Case{"link.lock", "a symbolic link"},
          Case{"fifo.lock", "not a regular file"}}) {
        const DriveLockResult result = LockDriveFile(locks / lock.name);
        EXPECT_EQ(result.outcome, DriveLockOutcome::Unavailable) << lock.name;
        EXPECT_EQ(result.lock, nullptr);
        EXPECT_EQ(result.reason, (locks / lock.name).string() + ": " + lock.reason);
    }
    EXPECT_FALSE(fs::exists(folder_ / "elsewhere")) << "nothing is made through the link";
    if (geteuid() != 0) {  // root writes into any folder
        fs::permissions(locks, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(LockDriveFile(locks / "new.lock").outcome, DriveLockOutcome::Unavailable);
        fs::permissions(locks, fs::perms::owner_all);
    }
    EXPECT_EQ(LockDeviceNode((folder_ / "sr9").string(), kInvalidHandle).outcome,
              DriveLockOutcome::Unavailable)
        << "a drive node that cannot be opened cannot be held";
}

TEST_F(DriveLockTest, BothNodesOfADriveAreHeld) {
    const std::string sr = Node("sr0");
    const std::string sg = Node("sg1");
    // The commands go through the generic node: both it and /dev/srN are taken.
    DriveLockResult writer = LockDeviceNode(sr, Opened(sg));
    ASSERT_EQ(writer.outcome, DriveLockOutcome::Taken) << writer.reason;
    struct Contender {
        std::string location;
        DeviceHandle handle;
    };
    for (const Contender& other : {Contender{sr, Opened(sg)},         // the same way in
                                   Contender{sr, Opened(sr)},         // no access to sg
                                   Contender{sr, kInvalidHandle}}) {  // by name only
        const DriveLockResult result = LockDeviceNode(other.location, other.handle);
        EXPECT_EQ(result.outcome, DriveLockOutcome::HeldElsewhere) << other.handle;
        EXPECT_NE(result.reason.find(sr), std::string::npos);
    }
    EXPECT_EQ(LockDeviceNode(Node("sr1"), Opened(Node("sg2"))).outcome, DriveLockOutcome::Taken);
    writer.lock.reset();
    EXPECT_EQ(LockDeviceNode(sr, Opened(sr)).outcome, DriveLockOutcome::Taken)
        << "the node the commands use is locked once, not twice";
}

}  // namespace
}  // namespace troz
