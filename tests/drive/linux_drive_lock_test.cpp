// One writer per drive on Linux: the flock()s another copy of the tool meets. A second
// descriptor opened in this process stands in for that copy (flock belongs to the open
// file, not the process). Regular files stand in for the device nodes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "drive/drive_lock.h"

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
