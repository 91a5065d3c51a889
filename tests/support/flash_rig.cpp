#include "tests/support/flash_rig.h"

#include <cstdio>
#include <ostream>

#include "update/validate_package.h"

namespace troz {

void PrintTo(VirtualTransport transport, std::ostream* out) {
    *out << test::TransportName(transport);
}

void PrintTo(const Sense& sense, std::ostream* out) {
    char text[16];
    std::snprintf(text, sizeof text, "%X/%02X/%02X", sense.key, sense.asc, sense.ascq);
    *out << text;
}

}  // namespace troz

namespace troz::test {

namespace {

constexpr std::uint8_t kVendorDownloadSelector = 0xA0;
constexpr std::size_t kSelectorOffset = 5;
constexpr std::size_t kFunctionOffset = 6;
constexpr std::size_t kBlockByteOffset = 7;
constexpr std::uint8_t kFirstTriggerCode = 0xE0;

}  // namespace

const char* TransportName(VirtualTransport transport) {
    return transport == VirtualTransport::PassThrough ? "PassThrough" : "Aspi";
}

std::string TransportTestName(const ::testing::TestParamInfo<VirtualTransport>& info) {
    return TransportName(info.param);
}

unsigned CheckConditionStatus(VirtualTransport transport) {
    return transport == VirtualTransport::PassThrough ? kScsiStatusCheckCondition : aspi::kSsErr;
}

DeviceReply DriveLink::Execute(const std::uint8_t* cdb, std::uint8_t direction,
                               std::uint8_t* buffer, std::uint32_t length) {
    DeviceReply reply = drive_.Execute(cdb, direction, buffer, length);
    if (loseAnswerOf && loseAnswerOf(cdb)) {
        reply = DeviceReply{};
        reply.fault = lostAs;
    }
    return reply;
}

std::string BytesText(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", byte);
        if (!text.empty()) {
            text += ' ';
        }
        text += hex;
    }
    return text;
}

std::string CdbText(const ReceivedCommand& command) {
    return BytesText({command.cdb.begin(), command.cdb.end()});
}

PackageImage PatternImage(const std::vector<std::uint16_t>& sizes) {
    PackageImage image;
    for (std::size_t n = 0; n < sizes.size(); ++n) {
        PackageBlock block(sizes[n]);
        for (std::size_t i = 0; i < block.size(); ++i) {
            block[i] = static_cast<std::uint8_t>(i * 31 + n * 7 + 1);
        }
        if (!block.empty()) {
            block[0] = 0x02;  // a scrambled block starts with it
        }
        image.push_back(std::move(block));
    }
    return image;
}

VirtualDriveConfig RigConfig(Personality personality) {
    VirtualDriveConfig config = ConfigFor(personality);
    config.commandLatencyMs = kRigLatencyMs;
    config.programmingMs = kRigProgrammingMs;
    return config;
}

FlashRig::FlashRig(VirtualTransport transport, VirtualDriveConfig config, std::uint32_t startTick)
    : VirtualRig(transport, startTick),
      drive(clock, std::move(config)),
      link(drive),
      transport_(transport) {
    Attach(link, 0);
    Start();
}

void FlashRig::UsePackage(const PackageContents& contents) {
    package = std::make_unique<TempPackageFile>(BuildPackage(contents));
    ASSERT_TRUE(ValidatePackage(package->Path(), header, state, window, checked))
        << window.lines.back();
    const std::size_t picked = contents.multiImage ? static_cast<std::size_t>(state.imageIndex) : 0;
    expectedImage_ = Concatenated(contents.images.at(picked));
    ForgetCommands();
}

void FlashRig::UseImage(const PackageImage& image, bool scrambled) {
    UsePackage({false, scrambled, {image}});
}

FlashDriver FlashRig::Driver() {
    return Driver(clock);
}

FlashDriver FlashRig::Driver(Clock& pauses) {
    return FlashDriver(*atapi, window, pauses, checked, header, state);
}

bool FlashRig::Flash() {
    return Driver().FlashFirmware();
}

std::vector<ReceivedCommand> FlashRig::CommandsWithOpcode(std::uint8_t opcode) const {
    return drive.CommandsWithOpcode(opcode);
}

void FlashRig::ForgetCommands() {
    drive.ClearCommands();
    clock.ClearSleeps();
    startTick_ = clock.GetTickCount();
}

std::uint32_t FlashRig::PauseBefore(std::size_t index) const {
    const auto& commands = Commands();
    const std::uint32_t previous = index == 0 ? startTick_ : commands.at(index - 1).tick;
    return commands.at(index).tick - previous - kRigLatencyMs;
}

std::size_t FlashRig::FirstPollIndex() const {
    const auto& commands = Commands();
    std::size_t afterTrigger = 0;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        if (IsTrigger(commands[i]) || commands[i].Opcode() == kOpRequestSense) {
            afterTrigger = i + 1;
        }
    }
    for (std::size_t i = afterTrigger; i < commands.size(); ++i) {
        if (commands[i].Opcode() == kOpTestUnitReady) {
            return i;
        }
    }
    return commands.size();
}

bool FlashRig::DriveProgrammed() {
    return drive.State() == DriveState::Ready && drive.ProgramCount() > 0 &&
           drive.ProgrammedImage() == expectedImage_;
}

bool IsTrigger(const ReceivedCommand& command) {
    return command.Opcode() == kOpVendor &&
           command.cdb[kSelectorOffset] == kVendorDownloadSelector &&
           command.cdb[kBlockByteOffset] >= kFirstTriggerCode && command.length == 0;
}

std::vector<TriggerSent> TriggersSent(const std::vector<ReceivedCommand>& commands) {
    std::vector<TriggerSent> triggers;
    for (const ReceivedCommand& command : commands) {
        if (IsTrigger(command)) {
            triggers.push_back({command.cdb[kFunctionOffset], command.cdb[kBlockByteOffset]});
        }
    }
    return triggers;
}

void PrintTo(const TriggerSent& trigger, std::ostream* out) {
    char text[32];
    std::snprintf(text, sizeof text, "{function %u, code %02X}", trigger.functionCode,
                  trigger.triggerCode);
    *out << text;
}

}  // namespace troz::test
