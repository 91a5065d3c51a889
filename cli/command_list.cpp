// trozflash-cli list: the drives the window would offer, in the same order.
#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/drive_session.h"
#include "cli/exit_status.h"
#include "cli/flash_plan.h"
#include "cli/interrupted_flashes.h"
#include "drive/scsi_commands.h"
#include "os/user_files.h"

namespace troz::cli {

namespace {

constexpr std::size_t kInquiryBufferLength = 100;
constexpr int kListSchemaVersion = 1;

// INQUIRY bytes 38-39, the model code support staff ask for when a package is refused.
std::string ModelCode(TAtapi& atapi, int index) {
    std::uint8_t reply[kInquiryBufferLength] = {};
    atapi.SelectDevice(index);
    atapi.Inquiry(std::span(reply).first<kInquiryAllocationLength>());
    char text[5];
    std::snprintf(text, sizeof text, "%02X%02X", reply[kInquiryModelCodeOffset],
                  reply[kInquiryModelCodeOffset + 1]);
    return text;
}

int RunList(bool json) {
    const nlohmann::json interrupted = WarnOfInterruptedFlashes();
    DriveSession session;
    if (!session.OpenOrReport()) {
        return kExitUsage;
    }
    TAtapi& atapi = session.Atapi();
    if (json) {
        nlohmann::json drives = nlohmann::json::array();
        for (int i = 0; i < atapi.DriveCount(); ++i) {
            const DeviceEntry& entry = atapi.Entry(i);
            const std::string identification = entry.identification;
            drives.push_back(
                {{"index", i},
                 {"identification", identification},
                 {"vendor", TrimmedField(identification.substr(
                                0, std::min(identification.size(), kInquiryVendorLength)))},
                 {"product", TrimmedField(identification.size() > kInquiryVendorLength
                                              ? identification.substr(kInquiryVendorLength,
                                                                      kInquiryProductLength)
                                              : std::string())},
                 {"revision", TrimmedField(entry.revision)},
                 {"model_code", ModelCode(atapi, i)},
                 {"location", atapi.Location(i)}});
        }
        atapi.SelectDevice(0);
        const nlohmann::json list = {{"schema_version", kListSchemaVersion},
                                     {"interrupted_flashes", interrupted},
                                     {"drives", drives}};
        std::printf("%s\n",
                    list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        return kExitOk;
    }
    if (atapi.DriveCount() == 0) {
        std::printf("no drives found\n");
        return kExitOk;
    }
    for (int i = 0; i < atapi.DriveCount(); ++i) {
        // What a drive reports is shown as file names are: escape sequences in it must
        // not reach the terminal.
        std::printf("%d  %s  (%s)\n", i, PrintableName(DriveItemText(atapi.Entry(i))).c_str(),
                    PrintableName(atapi.Location(i)).c_str());
    }
    return kExitOk;
}

}  // namespace

void RegisterListCommand(CLI::App& app, int& exitStatus) {
    CLI::App* list =
        app.add_subcommand("list", "List the optical drives, as the window offers them");
    auto json = std::make_shared<bool>(false);
    list->add_flag("--json", *json,
                   "Print the drives as JSON: index, identification as the drive reports it, "
                   "vendor, product and revision without their padding, "
                   "model_code (INQUIRY bytes 38-39) and location");
    list->callback([json, &exitStatus] { exitStatus = RunList(*json); });
}

}  // namespace troz::cli
