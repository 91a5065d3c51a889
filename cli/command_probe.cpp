// trozflash-cli probe: whether a drive answers, before a flash. Its identification, where
// it lives, TEST UNIT READY with its status and sense in plain words, and with --count the
// time per command over that many TEST UNIT READY commands.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/drive_session.h"
#include "cli/exit_status.h"
#include "cli/interrupted_flashes.h"
#include "cli/sense_text.h"
#include "os/user_files.h"

namespace troz::cli {

namespace {

constexpr std::size_t kTextLength = 128;

struct ProbeOptions {
    std::string drive = "0";
    unsigned count = 0;
};

// "GOOD", or the status with the sense in plain words, or why no status came back.
std::string Outcome(const CommandOutcome& outcome) {
    switch (outcome.category) {
        case CommandCategory::AnsweredGood:
            return "GOOD";
        case CommandCategory::ToleratedPlatformError:
            return "no answer (timed out or I/O error)";
        case CommandCategory::OtherPlatformError:
        case CommandCategory::NoDevice:
            return "no answer (the command failed below SCSI)";
        case CommandCategory::AnsweredCheckCondition:
        case CommandCategory::AnsweredOtherStatus:
            break;
    }
    const SenseBytes& sense = outcome.sense;
    char codes[kTextLength];
    std::snprintf(codes, sizeof codes, "status 0x%02X, sense %X/%02X/%02X", outcome.status,
                  sense.senseKey, sense.asc, sense.ascq);
    const std::string words = SenseInPlainWords({sense.senseKey, sense.asc, sense.ascq});
    return words.empty() ? codes : std::string(codes) + ": " + words;
}

int RunProbe(const ProbeOptions& options) {
    WarnOfInterruptedFlashes();
    DriveSession session;
    int drive = 0;
    if (!session.OpenOrReport() || !session.PickDrive(options.drive, drive)) {
        return kExitUsage;
    }
    TAtapi& atapi = session.Atapi();
    atapi.SelectDevice(drive);
    const std::string location = atapi.Location(drive);
    const std::string generic = session.Platform().CommandNodeOf(location);
    // What a drive reports is shown as file names are: escape sequences in it must not
    // reach the terminal.
    std::printf("drive %d: %s\n", drive, PrintableName(DriveItemText(atapi.Entry(drive))).c_str());
    std::printf("  device node: %s\n", PrintableName(location).c_str());
    if (location.rfind("/dev/", 0) == 0) {
        std::printf("  sg node: %s\n", generic.empty() ? "none (modprobe sg)" : generic.c_str());
    }
    atapi.TestUnitReady();
    std::printf("  TEST UNIT READY: %s\n", Outcome(atapi.LastOutcome()).c_str());
    if (options.count == 0) {
        return kExitOk;
    }
    unsigned good = 0;
    const auto start = std::chrono::steady_clock::now();
    for (unsigned i = 0; i < options.count; ++i) {
        atapi.TestUnitReady();
        if (atapi.LastOutcome().category == CommandCategory::AnsweredGood) {
            ++good;
        }
    }
    const std::chrono::duration<double, std::milli> elapsed =
        std::chrono::steady_clock::now() - start;
    std::printf("  %u x TEST UNIT READY in %.1f ms: %.3f ms per command (%u GOOD)\n", options.count,
                elapsed.count(), elapsed.count() / options.count, good);
    return kExitOk;
}

}  // namespace

void RegisterProbeCommand(CLI::App& app, int& exitStatus) {
    auto options = std::make_shared<ProbeOptions>();
    CLI::App* probe = app.add_subcommand(
        "probe",
        "Show whether a drive answers: identification, device and sg node, TEST UNIT "
        "READY with its status and sense");
    probe
        ->add_option("--drive", options->drive,
                     "The drive: its index in trozflash-cli list, or its device node "
                     "(/dev/sr0, /dev/sg1)")
        ->capture_default_str();
    probe->add_option("--count", options->count,
                      "Also time this many TEST UNIT READY commands and print the time per "
                      "command");
    probe->callback([options, &exitStatus] { exitStatus = RunProbe(*options); });
}

}  // namespace troz::cli
