// The blocks that go to the drive are the blocks Start checked: a package replaced, cut,
// grown, touched or rewritten while the flash pauses before its first block gets no trigger.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <utility>

#include "tests/support/flash_rig.h"
#include "update/checked_package.h"

namespace troz::test {
namespace {

// Passes time on to the rig's clock and changes the package during one pause.
class PauseHook final : public Clock {
public:
    explicit PauseHook(VirtualClock& clock) : clock_(clock) {}
    void Sleep(std::uint32_t milliseconds) override {
        clock_.Sleep(milliseconds);
        if (milliseconds == pause && change) {
            std::exchange(change, nullptr)();
        }
    }
    std::uint32_t GetTickCount() override { return clock_.GetTickCount(); }

    std::uint32_t pause = 0;
    std::function<void()> change;

private:
    VirtualClock& clock_;
};

namespace fs = std::filesystem;

// Blocks larger than the stream's buffer, so block 1 is read from the file again and not
// from what the check left buffered. Its bytes 0x10 and 0x11 differ.
constexpr std::uint16_t kBlockSize = 6000;
constexpr long kSwapAt = static_cast<long>(kPackageHeaderSize) + kBlockSize + 0x10;

// Swaps two differing bytes in place, which keeps the sum, and keeps the time as well.
void SwapKeepingSumAndTime(const std::string& path) {
    const auto time = fs::last_write_time(path);
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(file, nullptr);
    std::uint8_t bytes[2] = {};
    std::fseek(file, kSwapAt, SEEK_SET);
    ASSERT_EQ(std::fread(bytes, 1, 2, file), 2u);
    ASSERT_NE(bytes[0], bytes[1]);
    std::swap(bytes[0], bytes[1]);
    std::fseek(file, kSwapAt, SEEK_SET);
    std::fwrite(bytes, 1, 2, file);
    std::fclose(file);
    fs::last_write_time(path, time);
}

struct Change {
    const char* name;
    int blocksSent;  // before the change is found
    void (*apply)(const std::string& path);
    // Windows keeps a file that is open in place: it can be neither removed nor renamed over.
    bool heldInPlace = false;
};

constexpr Change kChanges[] = {
    {"two bytes swapped, same sum, size and time", 1, SwapKeepingSumAndTime},
    {"replaced by rename with the same bytes", 2,
     [](const std::string& path) {
         fs::copy_file(path, path + ".new");
         fs::rename(path + ".new", path);
     },
     true},
    {"grown past its image", 2,
     [](const std::string& path) { fs::resize_file(path, fs::file_size(path) + 1); }},
    {"touched", 2,
     [](const std::string& path) {
         fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(2));
     }},
    {"removed", 2, [](const std::string& path) { fs::remove(path); }, true},
};

class PackageChangeTest : public FlashTest {
protected:
    PackageChangeTest() { blockSizes = {kBlockSize, kBlockSize}; }
};

TEST_P(PackageChangeTest, PackageChangedDuringThePauseGetsNoTrigger) {
    struct Procedure {
        Personality personality;
        std::uint32_t pause;
        std::uint8_t opcode;
    };
    for (const Procedure procedure :
         {Procedure{Personality::Direct, kDirectPauseBeforeBlocksMs, kOpVendor},
          Procedure{Personality::BufferedOnly, kBufferedPauseBeforeBlocksMs, kOpWriteBuffer}}) {
        for (const Change& change : kChanges) {
#ifdef _WIN32
            if (change.heldInPlace) {
                continue;
            }
#endif
            SCOPED_TRACE(change.name);
            auto rig = MakeRig(RigConfig(procedure.personality));
            PauseHook hook(rig->clock);
            hook.pause = procedure.pause;
            hook.change = [&] { change.apply(rig->package->Path()); };
            EXPECT_FALSE(rig->Driver(hook).FlashFirmware());
            EXPECT_EQ(hook.change, nullptr) << "the pause came";

            EXPECT_EQ(rig->window.lines.back(), kPackageChanged);
            EXPECT_EQ(rig->window.lines.size(),
                      procedure.personality == Personality::Direct ? 2u : 3u)
                << "one line, no other procedure after it";
            EXPECT_TRUE(TriggersSent(rig->Commands()).empty());
            const auto sent = rig->CommandsWithOpcode(procedure.opcode);
            EXPECT_EQ(std::count_if(sent.begin(), sent.end(),
                                    [](const auto& command) { return command.length > 0; }),
                      change.blocksSent);
            EXPECT_EQ(rig->drive.ProgramCount(), 0);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, PackageChangeTest,
                         ::testing::Values(VirtualTransport::PassThrough, VirtualTransport::Aspi),
                         TransportTestName);

}  // namespace
}  // namespace troz::test
