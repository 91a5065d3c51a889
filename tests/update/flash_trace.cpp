// Prints every event of 3,740 flash runs on both virtual transports: each CDB whose answer
// arrives, log line, progress value, pause, written-span change and result, for all
// personalities, with and without sense fetched by the host, and with each kind of fault at
// every command. Two trees whose traces are byte-identical flash identically; see
// tools/flash-trace.sh. Not a test of its own: it has nothing to expect.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/flash_rig.h"

namespace troz::test {
namespace {

std::vector<std::string>* events = nullptr;

void Event(const std::string& text) {
    events->push_back(text);
}

class TraceWindow final : public RecordingWindow {
public:
    void AddLogLine(const std::string& text) override { Event("L " + text); }
    void SetProgress(int percent) override { Event("P " + std::to_string(percent)); }
    void SetProgressRange(int low, int high) override {
        Event("R " + std::to_string(low) + " " + std::to_string(high));
    }
    void DispatchPendingEvents() override { Event("D"); }
    void SetDriveBeingWritten(bool writing) override {
        Event(std::string("W ") + (writing ? "1" : "0"));
    }
};

class TraceClock final : public Clock {
public:
    explicit TraceClock(Clock& inner) : inner_(inner) {}
    void Sleep(std::uint32_t milliseconds) override {
        Event("S " + std::to_string(milliseconds));
        inner_.Sleep(milliseconds);
    }
    std::uint32_t GetTickCount() override { return inner_.GetTickCount(); }

private:
    Clock& inner_;
};

struct Scenario {
    std::string name;
    Personality personality = Personality::Direct;
    VirtualTransport transport = VirtualTransport::PassThrough;
    bool senseTakenByHost = false;
    bool withFault = false;
    CommandFault fault;
    std::uint32_t latency = 10;
    std::uint32_t programming = 200;
};

void PrintRun(const Scenario& scenario, const std::vector<std::string>& log, bool flashed,
              FlashRig& rig) {
    std::printf("=== %s\n", scenario.name.c_str());
    // Long runs of the same poll are counted, not repeated: the file stays small but exact.
    std::string last;
    int repeats = 0;
    for (const std::string& event : log) {
        if (event == last) {
            ++repeats;
            continue;
        }
        if (repeats > 0) {
            std::printf("  x%d\n", repeats);
        }
        repeats = 0;
        std::printf("%s\n", event.c_str());
        last = event;
    }
    if (repeats > 0) {
        std::printf("  x%d\n", repeats);
    }
    std::printf("result %d programmed %d ticks %llu services %zu\n", flashed ? 1 : 0,
                rig.drive.ProgramCount(), static_cast<unsigned long long>(rig.clock.Now()),
                rig.services.messages.size());
    for (const auto& message : rig.services.messages) {
        std::printf("M %s\n", message.c_str());
    }
    std::size_t index = 0;
    for (const ReceivedCommand& command : rig.Commands()) {
        std::printf("c%zu %s dir %u len %u sum %04X tick %u st %u fault %d\n", index++,
                    CdbText(command).c_str(), command.direction, command.length, command.dataOutSum,
                    command.tick, command.reply.scsiStatus, static_cast<int>(command.reply.fault));
    }
}

// Runs one flash and prints it; returns how many commands reached the drive.
std::size_t RunScenario(const Scenario& scenario) {
    std::vector<std::string> log;
    events = &log;
    VirtualDriveConfig config = RigConfig(scenario.personality);
    config.senseTakenByHost = scenario.senseTakenByHost;
    config.commandLatencyMs = scenario.latency;
    config.programmingMs = scenario.programming;
    FlashRig rig(scenario.transport, config);
    rig.UseImage(PatternImage({3000, 20000}));
    rig.link.loseAnswerOf = [](const std::uint8_t* cdb) {
        char text[64];
        std::snprintf(text, sizeof text,
                      "C %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X %02X", cdb[0],
                      cdb[1], cdb[2], cdb[3], cdb[4], cdb[5], cdb[6], cdb[7], cdb[8], cdb[9],
                      cdb[10], cdb[11]);
        Event(text);
        return false;
    };
    if (scenario.withFault) {
        rig.drive.InjectFault(scenario.fault);
    }
    TraceWindow window;
    TraceClock clock(rig.clock);
    FlashDriver driver(*rig.atapi, window, clock, rig.checked, rig.header, rig.state);
    const bool flashed = driver.FlashFirmware();
    PrintRun(scenario, log, flashed, rig);
    return rig.Commands().size();
}

CommandFault BusyAnswer() {
    CommandFault fault = CommandFault::CheckCondition(kSenseNone);
    fault.scsiStatus = kScsiStatusBusy;
    return fault;
}

TEST(FlashTrace, EveryEventOfEveryRun) {
    const Personality personalities[] = {
        Personality::Direct,         Personality::ResendWithFunction5,   Personality::ThirdAttempt,
        Personality::BufferedOnly,   Personality::BufferedResend,        Personality::NoDownload,
        Personality::NeverComesBack, Personality::ComesBackWithoutMedium};
    const VirtualTransport transports[] = {VirtualTransport::PassThrough, VirtualTransport::Aspi};
    const std::vector<std::pair<std::string, CommandFault>> faults = {
        {"medium", CommandFault::CheckCondition({kSenseMediumError, 0, 0})},
        {"busy", BusyAnswer()},
        {"timeout", CommandFault::Transport(TransportFault::TimedOut)},
        {"io", CommandFault::Transport(TransportFault::IoError)},
        {"gone", CommandFault::Transport(TransportFault::Gone)},
        {"notready", CommandFault::CheckCondition(kSenseBecomingReady)},
        {"plle", CommandFault::CheckCondition(kSenseParameterListLength)},
        {"illegal", CommandFault::CheckCondition(kSenseInvalidFieldInCdb)},
        {"ua", CommandFault::CheckCondition(kSensePowerOnReset)},
    };
    // The drives that never take a download or never come back fail the same way at every
    // command: one run each is enough.
    constexpr int kNoDownload = 5;
    constexpr int kNeverComesBack = 6;
    for (const VirtualTransport transport : transports) {
        for (int number = 0; number < 8; ++number) {
            for (const bool hostSense : {false, true}) {
                Scenario scenario;
                scenario.personality = personalities[number];
                scenario.transport = transport;
                scenario.senseTakenByHost = hostSense;
                scenario.name = std::string(TransportName(transport)) + " p" +
                                std::to_string(number) + (hostSense ? " host-sense" : "");
                const std::size_t commands = RunScenario(scenario);
                if (number == kNoDownload || number == kNeverComesBack) {
                    continue;
                }
                for (const auto& [faultName, fault] : faults) {
                    for (std::uint32_t at = 1; at <= commands + 1; ++at) {
                        Scenario faulty = scenario;
                        faulty.latency = 100;
                        faulty.programming = 300;
                        faulty.withFault = true;
                        faulty.fault = fault;
                        faulty.fault.AtOccurrence(at);
                        faulty.name = scenario.name + " " + faultName + "@" + std::to_string(at);
                        RunScenario(faulty);
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace troz::test
