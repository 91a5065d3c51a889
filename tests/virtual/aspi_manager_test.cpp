// The virtual ASPI manager and its platform, under the real drive context's ASPI transport,
// and on their own where the transport cannot see (host status, request fields).
#include "virtual/aspi_manager.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>

#include "drive/bytes.h"
#include "tests/support/virtual_rig.h"

namespace troz::test {
namespace {

DriveIdentity Named(const char* product) {
    return {"TROZ", product, "1.00", {'A', '1'}};
}

class AspiScan : public ::testing::Test {
protected:
    AspiScan() : platform(VirtualTransport::Aspi, clock, 2) {}

    VirtualDrive& AddDrive(const char* product, AspiAddress address) {
        drives.push_back(
            std::make_unique<VirtualDrive>(clock, ConfigFor(Personality::Direct, Named(product))));
        platform.Manager().SetDevice(address, drives.back().get());
        return *drives.back();
    }

    VirtualClock clock;
    RecordingServices services;
    VirtualDrivePlatform platform;
    std::vector<std::unique_ptr<VirtualDrive>> drives;
};

TEST_F(AspiScan, AsksEveryAddressHostAdapterOutermostAndListsDrivesInThatOrder) {
    AddDrive("ON-HA1-T0", {1, 0, 0});
    AddDrive("ON-HA1-T2-L3", {1, 2, 3});
    AddDrive("ON-HA0-T5", {0, 5, 0});
    TAtapi atapi(platform, clock, services);

    ASSERT_EQ(atapi.DriveCount(), 3);
    EXPECT_STREQ(atapi.Entry(0).identification, "TROZ    ON-HA0-T5       ");
    EXPECT_STREQ(atapi.Entry(1).identification, "TROZ    ON-HA1-T0       ");
    EXPECT_EQ(atapi.Entry(2).lun, 3);
    const auto& queries = platform.Manager().DeviceTypeQueries();
    ASSERT_EQ(queries.size(), 128u);
    EXPECT_EQ(queries[1], (AspiAddress{0, 0, 1}));
    EXPECT_EQ(queries[8], (AspiAddress{0, 1, 0}));
    EXPECT_EQ(queries[64], (AspiAddress{1, 0, 0}));
    EXPECT_EQ(atapi.CurrentTargetId(), 5);
}

TEST_F(AspiScan, DeviceTypeRequestsLeftPendingCompleteWhenTheMessagePumpRuns) {
    AddDrive("PUMPED", {0, 3, 0});
    platform.Manager().SetDeviceTypeCompletion(DeviceTypeCompletion::OnPump);
    TAtapi atapi(platform, clock, services);
    EXPECT_EQ(atapi.DriveCount(), 1);
    EXPECT_EQ(platform.PumpCount(), 128);
}

TEST_F(AspiScan, WithoutAnInstalledManagerTheLibraryIsMissing) {
    AddDrive("UNSEEN", {0, 0, 0});
    platform.Manager().Uninstall();
    TAtapi atapi(platform, clock, services);
    EXPECT_EQ(atapi.DriveCount(), 0);
    EXPECT_EQ(services.messages, std::vector<std::string>{"WNASPI32.DLL not found"});
    EXPECT_EQ(platform.VirtualAspi().LoadCount(), 0);
}

class AspiCommands : public ::testing::Test {
protected:
    AspiCommands() : rig(ConfigFor(Personality::Direct), VirtualTransport::Aspi) {}

    VirtualAspiManager& Manager() { return rig.platform.Manager(); }

    DriveRig rig;
};

struct CompletionCase {
    const char* name;
    AspiCompletion completion;
    int waitsForTestUnitReady;
    int waitsForInquiry;
};

// The case by its name in the test listing, not as raw bytes.
void PrintTo(const CompletionCase& x, std::ostream* out) {
    *out << x.name;
}

class AspiCompletionPaths : public AspiCommands,
                            public ::testing::WithParamInterface<CompletionCase> {};

TEST_P(AspiCompletionPaths, AnswerTheSameWhetherCompletedAtOnceOrLater) {
    Manager().SetExecCompletion(GetParam().completion);
    rig.Start();
    const int waitsBefore = rig.platform.VirtualAspi().WaitCount();

    EXPECT_EQ(rig.atapi->TestUnitReady(), kCommandSuccess);
    EXPECT_EQ(rig.platform.VirtualAspi().WaitCount() - waitsBefore,
              GetParam().waitsForTestUnitReady);
    std::array<std::uint8_t, 50> reply{};
    EXPECT_EQ(rig.atapi->Inquiry(reply), kCommandSuccess);
    EXPECT_EQ(rig.platform.VirtualAspi().WaitCount() - waitsBefore,
              GetParam().waitsForTestUnitReady + GetParam().waitsForInquiry);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(reply.data() + 8), 8), "TROZ    ");
    EXPECT_EQ(Manager().OpenEventCount(), 0u);
    EXPECT_TRUE(rig.clock.SleepsOfAtLeast(100).empty());
}

INSTANTIATE_TEST_SUITE_P(Manager, AspiCompletionPaths,
                         ::testing::Values(CompletionCase{"AtOnce", AspiCompletion::AtOnce, 0, 0},
                                           CompletionCase{"Later", AspiCompletion::Later, 1, 1},
                                           CompletionCase{"LaterWithData",
                                                          AspiCompletion::LaterWithData, 0, 1}),
                         [](const auto& testParam) { return std::string(testParam.param.name); });

TEST_F(AspiCommands, CheckConditionEndsInErrorWithTheSenseInTheRequestBlock) {
    rig.Start();
    const std::array<std::uint8_t, 12> unknown = {0xA8};
    EXPECT_EQ(rig.atapi->ExecCommand(unknown.data(), nullptr, 0, kDirectionNone), aspi::kSsErr);
    EXPECT_EQ(rig.Sense().senseKey, 0x05);
    EXPECT_EQ(rig.Sense().asc, 0x20);
    EXPECT_EQ(rig.Sense().targetStatus, kScsiStatusCheckCondition);

    // The transport clears the sense area before each command, so a good command after the
    // refusal no longer shows the refusal's sense.
    EXPECT_EQ(rig.atapi->TestUnitReady(), kCommandSuccess);
    EXPECT_EQ(rig.Sense().senseKey, 0);
    EXPECT_EQ(rig.Sense().asc, 0);
    EXPECT_EQ(rig.Sense().targetStatus, 0);
}

TEST_F(AspiCommands, ACommandThatNeverCompletesIsAbortedOnceAfterThirtySeconds) {
    rig.Start();
    rig.drive.InjectFault(CommandFault::Transport(TransportFault::TimedOut));
    EXPECT_EQ(rig.atapi->TestUnitReady(), 4);
    EXPECT_EQ(Manager().AbortRequestCount(), 1);
    EXPECT_EQ(Manager().AbortedCount(), 1);
    EXPECT_EQ(Manager().PendingCount(), 0u);
    EXPECT_EQ(rig.clock.SleepsOfAtLeast(100), std::vector<std::uint32_t>{30000});
    EXPECT_EQ(rig.atapi->TestUnitReady(), kCommandSuccess);
}

TEST_F(AspiCommands, AFailedWaitIsAbortedAndAFailedEventSendsNothing) {
    rig.Start();
    Manager().SetExecCompletion(AspiCompletion::Later);
    rig.platform.VirtualAspi().FailWaits(1);
    EXPECT_EQ(rig.atapi->TestUnitReady(), 4);
    EXPECT_EQ(Manager().AbortRequestCount(), 1);

    rig.drive.ClearCommands();
    rig.platform.VirtualAspi().FailEventCreations(1);
    EXPECT_EQ(rig.atapi->TestUnitReady(), 4);
    EXPECT_TRUE(rig.drive.Commands().empty());
}

TEST_F(AspiCommands, ADriveThatIsGoneAnswersNoDevice) {
    rig.Start();
    rig.drive.InjectFault(CommandFault::Transport(TransportFault::Gone));
    EXPECT_EQ(rig.atapi->TestUnitReady(), aspi::kSsNoDevice);
    EXPECT_EQ(rig.atapi->TestUnitReady(), aspi::kSsNoDevice);
    EXPECT_EQ(rig.drive.Commands().back().reply.fault, TransportFault::Gone);
}

TEST_F(AspiCommands, AcceptedTriggerAnsweredNotReadyLeavesNotReadySenseForTheProcedure) {
    rig.drive.Config() = ConfigFor(Personality::BufferedResend);
    rig.Start();
    const auto firmware = MakeFirmware(DemoFirmwareIdentity(), {3000});
    ASSERT_TRUE(rig.WriteBufferBlocks(firmware));
    EXPECT_EQ(rig.Trigger(5, 0xF1, Checksum(firmware)), aspi::kSsErr);
    EXPECT_EQ(rig.Sense().asc, 0x1A);
    EXPECT_EQ(rig.Trigger(5, 0xE1, Checksum(firmware)), aspi::kSsErr);
    EXPECT_EQ(rig.Sense().senseKey, 0x02);
    EXPECT_EQ(rig.Sense().asc, 0x04);
    EXPECT_EQ(rig.drive.State(), DriveState::Programming);
}

// The manager on its own: a request block built by offsets.
class AspiRequests : public ::testing::Test {
protected:
    AspiRequests() : drive(clock, ConfigFor(Personality::Direct)) {
        manager.SetDevice({0, 1, 0}, &drive);
        manager.SetExecCompletion(AspiCompletion::AtOnce);
        manager.Install();
        request[aspi::kCommand] = aspi::kScExecScsiCmd;
        request[aspi::kFlags] = aspi::kSrbEventNotify;
        request[aspi::exec::kTarget] = 1;
        request[aspi::exec::kSenseLengthField] = 4;
    }

    std::uint8_t Send() {
        return static_cast<std::uint8_t>(VirtualAspiManager::SendASPI32Command(request.data()));
    }

    VirtualClock clock;
    VirtualDrive drive;
    VirtualAspiManager manager{2};
    alignas(void*) std::array<std::uint8_t, aspi::exec::kSize> request{};
};

TEST_F(AspiRequests, SupportInfoReportsCompletionAndTheHostAdapterCount) {
    EXPECT_EQ(VirtualAspiManager::GetASPI32SupportInfo(), 0x0102u);
    manager.Uninstall();
    EXPECT_EQ(VirtualAspiManager::GetASPI32SupportInfo() & 0xFF, 0u);
}

TEST_F(AspiRequests, SenseIsCopiedOnlyUpToTheRequestsSenseLength) {
    request[aspi::exec::kCdb] = 0xA8;
    std::memset(request.data() + aspi::exec::kSenseArea, 0xEE, 16);
    EXPECT_EQ(Send(), aspi::kSsErr);
    EXPECT_EQ(request[aspi::exec::kSenseArea + 2], 0x05);
    EXPECT_EQ(request[aspi::exec::kSenseArea + 4], 0xEE);
}

TEST_F(AspiRequests, AnAdapterFaultSetsTheHostStatus) {
    drive.InjectFault(CommandFault::Transport(TransportFault::IoError));
    EXPECT_EQ(Send(), aspi::kSsErr);
    EXPECT_EQ(request[aspi::exec::kHostStatus], kHostStatusUnexpectedBusFree);
    EXPECT_EQ(request[aspi::exec::kTargetStatus], 0);
}

TEST_F(AspiRequests, AddressesWithoutADeviceOrAdapterAreRefused) {
    request[aspi::exec::kTarget] = 2;
    EXPECT_EQ(Send(), aspi::kSsNoDevice);
    request[aspi::kHostAdapter] = 2;
    EXPECT_EQ(Send(), aspi::kSsInvalidHa);
}

TEST_F(AspiRequests, AnAbortOfARequestThatIsNotPendingFails) {
    alignas(void*) std::array<std::uint8_t, aspi::abort::kSize> abort{};
    abort[aspi::kCommand] = aspi::kScAbortSrb;
    PutPointer(abort.data() + aspi::abort::kToAbort, request.data());
    EXPECT_EQ(VirtualAspiManager::SendASPI32Command(abort.data()), aspi::kSsAbortFail);
    EXPECT_EQ(manager.AbortedCount(), 0);
}

TEST(VirtualAspiPlatformTest, HonoursTheSystemDirectoryContractAndKnowsOnlyItsLibrary) {
    VirtualClock clock;
    VirtualAspiManager manager;
    VirtualAspiPlatform platform(manager, clock);
    std::array<char, 32> buffer{};
    EXPECT_EQ(platform.GetSystemDirectory(buffer.data(), 17), 18u);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(platform.GetSystemDirectory(buffer.data(), 18), 17u);
    EXPECT_STREQ(buffer.data(), "C:\\WINDOWS\\SYSTEM");

    EXPECT_EQ(platform.LoadLibrary("C:\\WINDOWS\\SYSTEM\\WNASPI32.DLL"), nullptr);
    manager.Install();
    ModuleHandle module = platform.LoadLibrary("c:\\windows\\system\\wnaspi32.dll");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(platform.LoadLibrary("C:\\WINDOWS\\WNASPI32.DLL"), nullptr);
    EXPECT_NE(platform.GetProcAddress(module, "SendASPI32Command"), nullptr);
    EXPECT_EQ(platform.GetProcAddress(module, "GetASPI32Buffer"), nullptr);
}

}  // namespace
}  // namespace troz::test
