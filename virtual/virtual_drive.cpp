#include "virtual/virtual_drive.h"

#include <algorithm>
#include <utility>

#include "virtual/firmware_identity.h"

namespace troz {

namespace {

constexpr std::uint8_t kFixedSenseCurrent = 0x70;
constexpr std::size_t kAdditionalSenseLengthOffset = 7;
constexpr std::uint8_t kAdditionalSenseLength = kFixedSenseLength - 8;

}  // namespace

std::array<std::uint8_t, kFixedSenseLength> MakeFixedSense(const Sense& sense) {
    std::array<std::uint8_t, kFixedSenseLength> data{};
    data[0] = kFixedSenseCurrent;
    data[kSenseKeyOffset] = sense.key;
    data[kAdditionalSenseLengthOffset] = kAdditionalSenseLength;
    data[kSenseAscOffset] = sense.asc;
    data[kSenseAscqOffset] = sense.ascq;
    return data;
}

VirtualDrive::VirtualDrive(Clock& clock, VirtualDriveConfig config)
    : clock_(clock), config_(std::move(config)), identity_(config_.identity) {}

DeviceReply VirtualDrive::Execute(const std::uint8_t* cdb, std::uint8_t direction,
                                  std::uint8_t* buffer, std::uint32_t length) {
    if (config_.commandLatencyMs > 0) {
        clock_.Sleep(config_.commandLatencyMs);
    }
    UpdateProgramming();
    if (buffer == nullptr) {
        length = 0;
    }

    ReceivedCommand command;
    std::copy_n(cdb, kCdbLength, command.cdb.begin());
    command.direction = direction;
    command.length = length;
    command.tick = clock_.GetTickCount();
    if (recording_ && direction == kDirectionOut) {
        command.dataOut.assign(buffer, buffer + length);
        for (const std::uint8_t byte : command.dataOut) {
            command.dataOutSum = static_cast<std::uint16_t>(command.dataOutSum + byte);
        }
    }

    DeviceReply reply;
    if (!present_) {
        reply.fault = TransportFault::Gone;
    } else if (auto injected = InjectedReply(cdb[0])) {
        reply = *injected;
    } else {
        reply = Answer(cdb, direction, buffer, length);
    }
    if (config_.senseTakenByHost && reply.fault == TransportFault::None &&
        reply.scsiStatus == kScsiStatusCheckCondition) {
        pendingSense_.reset();
    }
    if (recording_) {
        command.reply = reply;
        commands_.push_back(std::move(command));
    }
    return reply;
}

std::vector<ReceivedCommand> VirtualDrive::CommandsWithOpcode(std::uint8_t opcode) const {
    std::vector<ReceivedCommand> matching;
    std::copy_if(commands_.begin(), commands_.end(), std::back_inserter(matching),
                 [opcode](const ReceivedCommand& command) { return command.Opcode() == opcode; });
    return matching;
}

void VirtualDrive::InjectFault(const CommandFault& fault) {
    faults_.push_back({fault, 0, 0});
}

std::optional<DeviceReply> VirtualDrive::InjectedReply(std::uint8_t opcode) {
    std::optional<DeviceReply> injected;
    for (ActiveFault& active : faults_) {
        const CommandFault& fault = active.fault;
        if (fault.opcode && *fault.opcode != opcode) {
            continue;
        }
        ++active.seen;
        const bool due =
            active.seen >= fault.occurrence && (fault.times == 0 || active.failed < fault.times);
        if (!due || injected) {
            continue;
        }
        ++active.failed;
        DeviceReply reply;
        reply.fault = fault.transportFault;
        if (fault.transportFault == TransportFault::None) {
            reply.scsiStatus = fault.scsiStatus;
            if (fault.scsiStatus == kScsiStatusCheckCondition) {
                reply.sense = MakeFixedSense(fault.sense);
            }
        }
        injected = reply;
    }
    if (injected) {
        // The failed command replaces whatever sense was pending, as any command does.
        pendingSense_.reset();
        if (injected->fault == TransportFault::None &&
            injected->scsiStatus == kScsiStatusCheckCondition) {
            pendingSense_ =
                Sense{injected->sense[kSenseKeyOffset], injected->sense[kSenseAscOffset],
                      injected->sense[kSenseAscqOffset]};
        }
        if (injected->fault == TransportFault::Gone) {
            present_ = false;
        }
    }
    return injected;
}

DriveState VirtualDrive::State() {
    UpdateProgramming();
    return state_;
}

void VirtualDrive::UpdateProgramming() {
    if (state_ != DriveState::Programming) {
        return;
    }
    const std::uint32_t elapsed = clock_.GetTickCount() - programmingStart_;
    const bool finishes = !config_.programmingNeverEnds;
    if (powerLossAfterMs_ && elapsed >= *powerLossAfterMs_ &&
        (!finishes || *powerLossAfterMs_ < config_.programmingMs)) {
        EnterBootLoader();
    } else if (finishes && elapsed >= config_.programmingMs) {
        FinishProgramming();
    }
}

bool VirtualDrive::StartProgramming(std::vector<std::uint8_t> image) {
    const DriveIdentity programmed = FindFirmwareIdentity(image).value_or(identity_);
    if (flashMemory_ && !flashMemory_(programmed)) {
        return false;
    }
    programmingImage_ = std::move(image);
    programmingStart_ = clock_.GetTickCount();
    state_ = DriveState::Programming;
    return true;
}

void VirtualDrive::FinishProgramming() {
    if (const auto identity = FindFirmwareIdentity(programmingImage_)) {
        identity_ = *identity;
    }
    programmedImage_ = std::move(programmingImage_);
    programmingImage_.clear();
    ++programCount_;
    state_ = DriveState::Ready;
    unitAttention_ = config_.unitAttentionAfterRestart;
}

void VirtualDrive::EnterBootLoader() {
    programmingImage_.clear();
    powerLossAfterMs_.reset();
    state_ = DriveState::BootLoader;
    unitAttention_ = config_.unitAttentionAfterRestart;
}

void VirtualDrive::CutPower() {
    UpdateProgramming();
    staging_.Clear();
    pendingSense_.reset();
    if (state_ == DriveState::Programming) {
        EnterBootLoader();
        return;
    }
    unitAttention_ = config_.unitAttentionAfterRestart;
}

DeviceReply VirtualDrive::Fail(const Sense& sense) {
    pendingSense_ = sense;
    DeviceReply reply;
    reply.scsiStatus = kScsiStatusCheckCondition;
    reply.sense = MakeFixedSense(sense);
    return reply;
}

}  // namespace troz
