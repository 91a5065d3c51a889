// What a virtual drive is: its identification, which ways of receiving firmware it knows,
// how it answers the triggers of the flash procedures, and how long it takes. Each
// personality is one such configuration; tests start from one and change what they need.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace troz {

// Sense key, ASC and ASCQ of a CHECK CONDITION.
struct Sense {
    std::uint8_t key = 0;
    std::uint8_t asc = 0;
    std::uint8_t ascq = 0;

    friend bool operator==(const Sense&, const Sense&) = default;
};

// The senses the drive answers with.
constexpr Sense kSenseNone{0x00, 0x00, 0x00};
constexpr Sense kSenseBecomingReady{0x02, 0x04, 0x01};  // programming itself
constexpr Sense kSenseNotReportable{0x02, 0x04, 0x00};  // boot loader: no firmware to run
constexpr Sense kSenseMediumNotPresent{0x02, 0x3A, 0x00};
constexpr Sense kSenseInvalidOpcode{0x05, 0x20, 0x00};
constexpr Sense kSenseInvalidFieldInCdb{0x05, 0x24, 0x00};
constexpr Sense kSenseParameterListLength{0x05, 0x1A, 0x00};
constexpr Sense kSenseInvalidFieldInParameters{0x05, 0x26, 0x00};
constexpr Sense kSensePowerOnReset{0x06, 0x29, 0x00};
constexpr Sense kSenseInternalTargetFailure{0x04, 0x44, 0x00};  // its flash memory failed

// What INQUIRY reports. The texts go out blank-padded (or cut) to 8, 16 and 4 bytes; they
// are raw bytes, since a drive takes them from the firmware image as they are.
struct DriveIdentity {
    std::string vendor;
    std::string product;
    std::string revision;
    std::array<std::uint8_t, 2> modelCode{};

    friend bool operator==(const DriveIdentity&, const DriveIdentity&) = default;
};

// The four triggers the flash procedures send: function code 4 or 5, block byte
// 0xE0 + count ("E") or 0xF0 + count ("F").
enum class TriggerKind { Function4E, Function5E, Function5F, Function4F };
constexpr std::size_t kTriggerKindCount = 4;

// How the drive answers a trigger it takes.
enum class TriggerAcceptance {
    Good,      // GOOD, then it programs
    NotReady,  // CHECK CONDITION 2/04/01: it has already begun programming
};

struct VirtualDriveConfig {
    DriveIdentity identity;
    // Blocks sent with the vendor download command (function 5, one block per command).
    // When false each is refused with downloadRefusal; triggers are judged on their own.
    bool acceptsBlockDownload = true;
    // WRITE BUFFER mode 5, buffer id 1, refused with downloadRefusal when false.
    bool acceptsWriteBuffer = true;
    Sense downloadRefusal = kSenseInvalidFieldInCdb;
    // Byte 0 of the vendor query answer: non-zero lets the buffered procedure be tried.
    std::uint8_t queryFlag = 0;
    // A trigger kind with a sense here is refused with it (before any check of the data).
    std::array<std::optional<Sense>, kTriggerKindCount> triggerRefusals{};
    TriggerAcceptance triggerAcceptance = TriggerAcceptance::Good;
    // The trigger's argument (the image checksum) is not compared: a transport that cuts
    // the vendor CDB to 10 bytes never lets it reach the drive.
    bool triggerArgumentUnseen = false;
    // The host adapter reads the sense itself after each CHECK CONDITION (as usb-storage
    // does), so a REQUEST SENSE from the tool afterwards finds none pending.
    bool senseTakenByHost = false;
    // Clock time the drive spends programming itself; never done when programmingNeverEnds.
    std::uint32_t programmingMs = 4000;
    bool programmingNeverEnds = false;
    // Clock time each command costs (spent with Clock::Sleep, so none with 0).
    std::uint32_t commandLatencyMs = 2;
    // Without a disc TEST UNIT READY answers 2/3A/00 (medium not present).
    bool mediumPresent = true;
    // After restarting with new firmware the first command (other than INQUIRY and
    // REQUEST SENSE) is answered with UNIT ATTENTION 6/29/00.
    bool unitAttentionAfterRestart = true;

    void RefuseTrigger(TriggerKind kind, const Sense& sense) {
        triggerRefusals[static_cast<std::size_t>(kind)] = sense;
    }
    const std::optional<Sense>& TriggerRefusal(TriggerKind kind) const {
        return triggerRefusals[static_cast<std::size_t>(kind)];
    }
};

// The ways a drive takes (or does not take) firmware, one for each path of the flash
// procedures.
enum class Personality {
    Direct,                  // takes the first trigger: function 4, 0xE0 + count
    ResendWithFunction5,     // refuses function 4 (5/24/00), takes function 5, 0xE0 + count
    ThirdAttempt,            // also refuses 5 with 0xE0 + count (5/1A/00), takes 0xF0 + count
    BufferedOnly,            // refuses vendor download; query flag 1; WRITE BUFFER and 0xF0
    BufferedResend,          // as BufferedOnly, but 0xF0 + count is refused with 5/1A/00
                             // and 0xE0 + count taken (answered NOT READY, programming)
    NoDownload,              // refuses vendor download and WRITE BUFFER; query flag 0
    NeverComesBack,          // takes the direct trigger, then stays NOT READY for ever
    ComesBackWithoutMedium,  // takes the direct trigger; has no disc: 2/3A/00 when back
};

// The drive of the demo: "TROZ    KVW-A100A       1.00", model code 'A','1'.
DriveIdentity DefaultIdentity();

// A configuration with the given personality and identity (DefaultIdentity() when none).
VirtualDriveConfig ConfigFor(Personality personality);
VirtualDriveConfig ConfigFor(Personality personality, const DriveIdentity& identity);

}  // namespace troz
