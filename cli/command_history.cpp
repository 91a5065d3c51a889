// trozflash-cli history: every flash the window and the command line began, newest last,
// from the history in the user's state folder. No drive is opened and no command is sent.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/interrupted_flashes.h"
#include "history/flash_history.h"
#include "os/user_files.h"
#include "virtual/drive_source.h"

namespace troz::cli {

namespace {

constexpr int kHistorySchemaVersion = 1;
constexpr int kJsonIndent = 2;

struct HistoryOptions {
    bool json = false;
    std::string drive;
    std::size_t forget = 0;
};

// completed, running, interrupted (begun, its writer gone) or forgotten.
std::string StateOf(const history::FlashHistory& store, const history::FlashRecord& record) {
    if (record.Completed()) {
        return "completed";
    }
    if (store.WriterRunning(record.id)) {
        return "running";
    }
    return record.forgotten ? "forgotten" : "interrupted";
}

// The drive text names: its index in list, or a device node (a link or a generic node
// matched to the node the drive is listed under).
bool IsDrive(const history::FlashStart& start, const std::string& text) {
    if (text.empty()) {
        return true;
    }
    if (text.find_first_not_of("0123456789") == std::string::npos) {
        return text.size() < 10 && start.driveIndex == std::stoi(text);
    }
    if (start.deviceNode == text) {
        return true;
    }
    const std::string listed = ListedNodeOf(std::getenv(kDriveSourceVariable), text);
    return !listed.empty() && listed == start.deviceNode;
}

nlohmann::json RecordJson(const history::FlashHistory& store, const history::FlashRecord& record,
                          std::size_t number) {
    const history::FlashStart& start = record.start;
    nlohmann::json json = {
        {"number", number},
        {"id", record.id},
        {"time", record.time},
        {"end_time", record.endTime ? nlohmann::json(*record.endTime) : nlohmann::json()},
        {"duration_ms", record.end ? nlohmann::json(record.durationMs) : nlohmann::json()},
        {"front_end", start.frontEnd},
        {"drive",
         {{"index", start.driveIndex},
          {"identification", start.identification},
          {"device_node", start.deviceNode}}},
        {"package",
         {{"path", start.packagePath},
          {"size", start.packageSize},
          {"sha256", start.packageSha256},
          {"target", start.target}}},
        {"revision_before", start.revisionBefore},
        {"revision_after",
         record.end ? nlohmann::json(record.end->revisionAfter) : nlohmann::json()},
        {"state", StateOf(store, record)},
        {"outcome", record.end ? nlohmann::json(record.end->outcome) : nlohmann::json()},
        {"log", record.end ? nlohmann::json(record.end->log) : nlohmann::json::array()}};
    return json;
}

// One line: number, time, drive, package, revisions, outcome.
void PrintRecord(const history::FlashHistory& store, const history::FlashRecord& record,
                 std::size_t number) {
    const history::FlashStart& start = record.start;
    const std::string after =
        record.end && !record.end->revisionAfter.empty() ? record.end->revisionAfter : "?";
    const std::string outcome = record.end ? record.end->outcome : StateOf(store, record);
    std::printf("%zu  %s  drive %d (%s, %s)  %s  %s -> %s  %s\n", number, record.time.c_str(),
                start.driveIndex, PrintableName(start.identification).c_str(),
                PrintableName(start.deviceNode).c_str(), PrintableName(start.packagePath).c_str(),
                PrintableName(start.revisionBefore).c_str(), PrintableName(after).c_str(),
                PrintableName(outcome).c_str());
}

int ForgetFlash(history::FlashHistory& store, const std::vector<history::FlashRecord>& records,
                std::size_t number) {
    if (number == 0 || number > records.size()) {
        std::cerr << "history: there is no flash " << number << " (history lists " << records.size()
                  << ")\n";
        return kExitUsage;
    }
    const history::FlashRecord& record = records[number - 1];
    const std::string state = StateOf(store, record);
    if (state == "completed") {
        std::cerr << "history: flash " << number << " was completed; there is nothing to forget\n";
        return kExitFailed;
    }
    if (state == "running") {
        std::cerr << "history: flash " << number << " is being written now (process "
                  << record.writerPid << ")\n";
        return kExitFailed;
    }
    std::string error;
    if (!store.Forget(record.id, error)) {
        std::cerr << "history: " << error << '\n';
        return kExitFailed;
    }
    std::cerr << "history: flash " << number << " no longer warns\n";
    return kExitOk;
}

int RunHistory(const HistoryOptions& options) {
    const auto folder = history::FlashHistory::DefaultFolder();
    if (!folder) {
        std::cerr << "history: no state folder (neither XDG_STATE_HOME, HOME nor LOCALAPPDATA "
                     "is set)\n";
        return kExitFailed;
    }
    history::FlashHistory store(*folder);
    const history::HistoryRead read = store.Read();
    if (!read.warning.empty()) {
        std::cerr << "history: " << read.warning << '\n';
        return kExitFailed;
    }
    if (options.forget > 0) {
        return ForgetFlash(store, read.records, options.forget);
    }
    const nlohmann::json interrupted = WarnOfInterruptedFlashes(read);
    if (options.json) {
        nlohmann::json flashes = nlohmann::json::array();
        for (std::size_t i = 0; i < read.records.size(); ++i) {
            if (IsDrive(read.records[i].start, options.drive)) {
                flashes.push_back(RecordJson(store, read.records[i], i + 1));
            }
        }
        const nlohmann::json document = {{"schema_version", kHistorySchemaVersion},
                                         {"file", PrintableName(store.Journal().string())},
                                         {"interrupted_flashes", interrupted},
                                         {"flashes", flashes}};
        std::printf("%s\n",
                    document.dump(kJsonIndent, ' ', false, nlohmann::json::error_handler_t::replace)
                        .c_str());
        return kExitOk;
    }
    bool any = false;
    for (std::size_t i = 0; i < read.records.size(); ++i) {
        if (IsDrive(read.records[i].start, options.drive)) {
            PrintRecord(store, read.records[i], i + 1);
            any = true;
        }
    }
    if (!any) {
        std::printf("no flashes recorded%s\n", options.drive.empty() ? "" : " for that drive");
    }
    return kExitOk;
}

}  // namespace

void RegisterHistoryCommand(CLI::App& app, int& exitStatus) {
    CLI::App* command = app.add_subcommand(
        "history", "List every flash begun by the window or the command line, newest last");
    auto options = std::make_shared<HistoryOptions>();
    command->add_flag("--json", options->json, "Print one JSON object for scripts");
    command->add_option("--drive", options->drive,
                        "Only the flashes of this drive: its index in list, or its device node");
    command
        ->add_option("--forget", options->forget,
                     "Stop the warning of interrupted flash N (its number in history)")
        ->check(CLI::PositiveNumber);
    command->callback([options, &exitStatus] { exitStatus = RunHistory(*options); });
}

}  // namespace troz::cli
