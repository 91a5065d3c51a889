#include "virtual/device_programs/device_program.h"

#include <atomic>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <map>
#include <thread>

#include "drive/scsi_commands.h"
#include "drive/sense_data.h"

namespace troz {

namespace {

constexpr std::uint8_t kTriggerFirst = 0xE0;

// SIGUSR1 cuts the drive's power: it restarts with a unit attention pending, as a drive
// does after a power cycle or a bus reset.
std::atomic<bool> powerCutRequested{false};

void RequestPowerCut(int) {
    powerCutRequested = true;
}

bool IsVendorDownload(const std::uint8_t* cdb) {
    return cdb[0] == kOpVendor && cdb[2] == kVendorPage && cdb[5] == kVendorDownloadSelector;
}

const std::map<std::string, Personality>& Personalities() {
    static const std::map<std::string, Personality> names = [] {
        std::map<std::string, Personality> byName;
        for (const PersonalityName& entry : kPersonalityNames) {
            byName[entry.name] = entry.personality;
        }
        return byName;
    }();
    return names;
}

const std::map<std::string, TriggerKind>& TriggerKinds() {
    static const std::map<std::string, TriggerKind> names = {
        {"4E", TriggerKind::Function4E},
        {"5E", TriggerKind::Function5E},
        {"5F", TriggerKind::Function5F},
        {"4F", TriggerKind::Function4F},
    };
    return names;
}

bool ParseNumber(const std::string& text, int base, std::uint32_t& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    const unsigned long parsed = std::strtoul(text.c_str(), &end, base);
    if (*end != '\0' || parsed > 0xFFFFFFFFul) {
        return false;
    }
    value = static_cast<std::uint32_t>(parsed);
    return true;
}

bool ParseByte(const std::string& text, std::uint8_t& value) {
    std::uint32_t parsed = 0;
    if (!ParseNumber(text, 16, parsed) || parsed > 0xFF) {
        return false;
    }
    value = static_cast<std::uint8_t>(parsed);
    return true;
}

// "K/ASC/ASCQ" in hexadecimal.
bool ParseSense(const std::string& text, Sense& sense) {
    const std::size_t first = text.find('/');
    const std::size_t second = text.find('/', first == std::string::npos ? first : first + 1);
    if (first == std::string::npos || second == std::string::npos) {
        return false;
    }
    return ParseByte(text.substr(0, first), sense.key) &&
           ParseByte(text.substr(first + 1, second - first - 1), sense.asc) &&
           ParseByte(text.substr(second + 1), sense.ascq);
}

// "KIND@OCCURRENCE" (an opcode in hexadecimal, "block" or "trigger"), optionally followed by
// "=VALUE".
bool ParsePoint(const std::string& text, int& kind, std::uint32_t& occurrence, std::string* value) {
    const std::size_t at = text.find('@');
    const std::size_t equals = text.find('=');
    if (at == std::string::npos || (value != nullptr) != (equals != std::string::npos)) {
        return false;
    }
    const std::size_t occurrenceEnd = value != nullptr ? equals : text.size();
    if (value != nullptr) {
        *value = text.substr(equals + 1);
    }
    const std::string name = text.substr(0, at);
    std::uint8_t opcode = 0;
    if (name == "block") {
        kind = kKindBlock;
    } else if (name == "trigger") {
        kind = kKindTrigger;
    } else if (ParseByte(name, opcode)) {
        kind = opcode;
    } else {
        return false;
    }
    return ParseNumber(text.substr(at + 1, occurrenceEnd - at - 1), 10, occurrence) &&
           occurrence > 0;
}

bool ParsePersonality(const std::string& value, DeviceProgramOptions& options) {
    const auto found = Personalities().find(value);
    if (found == Personalities().end()) {
        return false;
    }
    VirtualDriveConfig& config = options.config;
    const DriveIdentity identity = config.identity;
    const bool unseen = config.triggerArgumentUnseen;
    config = ConfigFor(found->second, identity);
    config.triggerArgumentUnseen = unseen;
    return true;
}

// VENDOR:PRODUCT:REVISION:MODELCODE (four hexadecimal digits)
bool ParseIdentity(const std::string& value, DeviceProgramOptions& options) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t colon; (colon = value.find(':', start)) != std::string::npos;
         start = colon + 1) {
        fields.push_back(value.substr(start, colon - start));
    }
    fields.push_back(value.substr(start));
    std::uint32_t code = 0;
    if (fields.size() != 4 || fields[3].size() != 4 || !ParseNumber(fields[3], 16, code)) {
        return false;
    }
    options.config.identity = {
        fields[0],
        fields[1],
        fields[2],
        {static_cast<std::uint8_t>(code >> 8), static_cast<std::uint8_t>(code)}};
    return true;
}

bool ParseRefusedTrigger(const std::string& value, DeviceProgramOptions& options) {
    const std::size_t equals = value.find('=');
    Sense sense;
    const auto kind = TriggerKinds().find(value.substr(0, equals));
    if (equals == std::string::npos || kind == TriggerKinds().end() ||
        !ParseSense(value.substr(equals + 1), sense)) {
        return false;
    }
    options.config.RefuseTrigger(kind->second, sense);
    return true;
}

bool ParseFailure(const std::string& value, DeviceProgramOptions& options) {
    FailedCommand failure;
    std::string sense;
    if (!ParsePoint(value, failure.kind, failure.occurrence, &sense) ||
        !ParseSense(sense, failure.sense)) {
        return false;
    }
    options.failures.push_back(failure);
    return true;
}

bool ParseDelay(const std::string& value, DeviceProgramOptions& options) {
    DelayedCommand delay;
    std::string milliseconds;
    if (!ParsePoint(value, delay.kind, delay.occurrence, &milliseconds) ||
        !ParseNumber(milliseconds, 10, delay.delayMs)) {
        return false;
    }
    options.delays.push_back(delay);
    return true;
}

bool ParseVanishPoint(const std::string& value, DeviceProgramOptions& options) {
    VanishPoint point;
    if (!ParsePoint(value, point.kind, point.occurrence, nullptr)) {
        return false;
    }
    options.vanishPoint = point;
    return true;
}

bool ParseVanishCommand(const std::string& value, DeviceProgramOptions& options) {
    options.vanishCommand = value;
    return true;
}

bool ParseProgrammingTime(const std::string& value, DeviceProgramOptions& options) {
    return ParseNumber(value, 10, options.config.programmingMs);
}

bool ParseLogFile(const std::string& value, DeviceProgramOptions& options) {
    options.logFile = value;
    return true;
}

// The options that take a value, each with what reads it.
struct ValueOption {
    const char* name;
    bool (*parse)(const std::string& value, DeviceProgramOptions& options);
};
constexpr ValueOption kValueOptions[] = {
    {"--personality", ParsePersonality},
    {"--identity", ParseIdentity},
    {"--refuse-trigger", ParseRefusedTrigger},
    {"--fail", ParseFailure},
    {"--slow", ParseDelay},
    {"--vanish-after", ParseVanishPoint},
    {"--vanish-command", ParseVanishCommand},
    {"--programming-ms", ParseProgrammingTime},
    {"--log", ParseLogFile},
};

const ValueOption* FindValueOption(const std::string& name) {
    for (const ValueOption& option : kValueOptions) {
        if (name == option.name) {
            return &option;
        }
    }
    return nullptr;
}

}  // namespace

const char* const kDeviceProgramUsage =
    "drive options:\n"
    "  --personality NAME           direct, resend5, third-attempt, buffered, buffered-resend,\n"
    "                               no-download, never-comes-back, comes-back-without-medium\n"
    "  --identity VENDOR:PRODUCT:REVISION:MODELCODE   (default TROZ:KVW-A100A:1.00:4131)\n"
    "  --trigger-argument-unseen    take a trigger without comparing its checksum\n"
    "  --refuse-trigger 4E|5E|5F|4F=K/ASC/ASCQ\n"
    "  --fail KIND@N=K/ASC/ASCQ     CHECK CONDITION for the N-th command of KIND: an\n"
    "                               opcode (hexadecimal), block or trigger\n"
    "  --slow KIND@N=MS             answer the N-th command of KIND MS late\n"
    "  --vanish-after KIND@N --vanish-command CMD\n"
    "  --ready                      TEST UNIT READY answers GOOD, as with a disc in\n"
    "  --corrupt-first-block        store the first data block with its first byte changed\n"
    "  --programming-ms MS          (default 4000)\n"
    "  --log FILE                   one line per command\n"
    "SIGUSR1 cuts the drive's power: a unit attention is pending afterwards.\n";

bool ParseDeviceProgramOptions(int argc, char** argv, DeviceProgramOptions& options,
                               std::string& error) {
    // Without a disc the kernel reads nothing from the drive; the completion wait takes
    // "medium not present" as the drive having come back. --ready makes TEST UNIT READY
    // answer GOOD (the other disc commands still find none).
    bool ready = false;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--trigger-argument-unseen") {
            options.config.triggerArgumentUnseen = true;
            continue;
        }
        if (name == "--ready") {
            ready = true;
            continue;
        }
        if (name == "--corrupt-first-block") {
            options.corruptFirstBlock = true;
            continue;
        }
        if (const ValueOption* option = FindValueOption(name); option != nullptr && i + 1 < argc) {
            if (!option->parse(argv[i + 1], options)) {
                error = "invalid value for " + name + ": " + argv[i + 1];
                return false;
            }
            ++i;
            continue;
        }
        options.rest.push_back(name);
    }
    options.config.mediumPresent = ready;
    options.config.commandLatencyMs = 0;
    return true;
}

std::uint8_t DataDirectionOf(const std::uint8_t* cdb) {
    switch (cdb[0]) {
        case kOpTestUnitReady:
        case kOpStartStopUnit:
        case kOpStopPlayScan:
        case kOpPreventAllow:
            return kDirectionNone;
        case kOpWriteBuffer:
            return kDirectionOut;
        case kOpVendor:
            // The vendor download carries its block out; everything else of 5A reads.
            return IsVendorDownload(cdb) ? kDirectionOut : kDirectionIn;
        default:
            return kDirectionIn;
    }
}

ServedDrive::ServedDrive(Clock& clock, DeviceProgramOptions options)
    : options_(std::move(options)), drive_(clock, options_.config) {
    drive_.SetRecording(false);
    std::signal(SIGUSR1, RequestPowerCut);
    if (!options_.logFile.empty()) {
        log_ = std::fopen(options_.logFile.c_str(), "a");
    }
}

ServedDrive::~ServedDrive() {
    if (log_ != nullptr) {
        std::fclose(log_);
    }
}

void ServedDrive::Log(const char* format, ...) {
    if (log_ == nullptr) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(log_, format, arguments);
    va_end(arguments);
    std::fflush(log_);
}

ServedDrive::Answer ServedDrive::Serve(const std::uint8_t* cdb, std::size_t cdbLength,
                                       std::uint8_t direction, std::uint8_t* buffer,
                                       std::uint32_t length) {
    if (powerCutRequested.exchange(false)) {
        Log("power cut\n");
        drive_.CutPower();
    }
    std::array<std::uint8_t, kCdbLength> command{};
    std::memcpy(command.data(), cdb, std::min(cdbLength, command.size()));
    const std::uint8_t opcode = command[0];
    int kind = opcode;
    if (IsVendorDownload(command.data())) {
        kind = command[7] >= kTriggerFirst ? kKindTrigger : kKindBlock;
    }
    const std::uint32_t occurrence = ++seen_[static_cast<std::size_t>(kind)];
    const auto isDue = [&](int pointKind, std::uint32_t pointOccurrence) {
        return pointKind == kind && pointOccurrence == occurrence;
    };

    const bool carriesBlock = direction == kDirectionOut && length > 0;
    if (options_.corruptFirstBlock && !corrupted_ && carriesBlock) {
        // The WRITE BUFFER transfer image has two length bytes in front of the block.
        const std::uint32_t first = opcode == kOpWriteBuffer ? 2 : 0;
        if (length > first) {
            buffer[first] = static_cast<std::uint8_t>(buffer[first] + 1);
            corrupted_ = true;
        }
    }

    Answer answer;
    for (const FailedCommand& failure : options_.failures) {
        if (isDue(failure.kind, failure.occurrence)) {
            drive_.InjectFault(CommandFault::CheckCondition(failure.sense));
        }
    }
    answer.reply = drive_.Execute(command.data(), direction, buffer, length);
    for (const DelayedCommand& delay : options_.delays) {
        if (isDue(delay.kind, delay.occurrence)) {
            answer.delayMs = delay.delayMs;
        }
    }
    if (options_.vanishPoint &&
        isDue(options_.vanishPoint->kind, options_.vanishPoint->occurrence)) {
        vanishDue_ = true;
    }
    const SenseBytes sense = ReadSense(answer.reply.sense);
    Log("%02x cdb%zu", opcode, cdbLength);
    for (std::size_t i = 0; i < cdbLength && i < kCdbLength; ++i) {
        Log(" %02x", command[i]);
    }
    Log(" len %u -> status %02x sense %x/%02x/%02x%s\n", length, answer.reply.scsiStatus,
        sense.senseKey, sense.asc, sense.ascq, answer.delayMs > 0 ? " (held back)" : "");
    return answer;
}

void ServedDrive::AfterAnswer() {
    if (!vanishDue_ || vanished_) {
        return;
    }
    vanished_ = true;
    Log("vanishing: %s\n", options_.vanishCommand.c_str());
    // The host may wait for this program while the drive is taken away: never block on it.
    std::thread([command = options_.vanishCommand] {
        if (!command.empty()) {
            [[maybe_unused]] const int status = std::system(command.c_str());
        }
    }).detach();
}

}  // namespace troz
