// libFuzzer target over the Open step and Start as a user runs them: the input is the
// package file. The Open step scans each image's 65535-byte window for the model record
// (asking the drive for its model code in a multi-image package); Start validates the
// package, runs the checks and, for a package that passes, the flash procedures read and
// send its blocks to a built-in virtual drive on the virtual clock, then wait for it.
// Header byte 17, which the tool never reads, picks the drive and the transport.
#include <cstdint>
#include <string>

#include "drive/atapi.h"
#include "drive/system_services.h"
#include "fuzz/fuzz_file.h"
#include "tests/support/virtual_clock.h"
#include "update/update_window.h"
#include "update/update_workflow.h"
#include "virtual/builtin_drives.h"

namespace {

constexpr std::size_t kDriveChoiceOffset = 17;

class QuietServices final : public troz::SystemServices {
public:
    void ShowMessage(const std::string&) override {}
    bool RequestRestart(std::string&) override { return false; }
};

class FuzzWindow final : public troz::UpdateWindow {
public:
    FuzzWindow(troz::TAtapi& atapi, std::string path, int drive)
        : atapi_(atapi), path_(std::move(path)), drive_(drive) {}

    void AddLogLine(const std::string&) override {}
    void SetProgress(int) override {}
    void SetProgressRange(int, int) override {}
    void SetDriveListEnabled(bool) override {}
    void SetStartEnabled(bool) override {}
    void SetExitEnabled(bool) override {}
    std::string PackageFileName() override { return chosen_; }
    bool ChoosePackageFile() override {
        chosen_ = path_;
        return true;
    }
    std::string TargetProductText() override { return product_; }
    void SetTargetProductText(const std::string& text) override { product_ = text; }
    int SelectedDriveIndex() override { return drive_; }
    std::string SelectedDriveText() override { return troz::DriveItemText(atapi_.Entry(drive_)); }
    void DispatchPendingEvents() override {}
    bool AskRestart() override { return false; }

private:
    troz::TAtapi& atapi_;
    std::string path_;
    std::string chosen_;
    std::string product_;
    int drive_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = troz::fuzz::InputPath("workflow.tfs");
    if (!troz::fuzz::WriteFile(path, data, size)) {
        return 0;
    }
    const std::uint8_t choice = size > kDriveChoiceOffset ? data[kDriveChoiceOffset] : 0;
    const int drive = choice % static_cast<int>(troz::kBuiltinDriveCount);
    const auto transport =
        (choice & 0x80) != 0 ? troz::VirtualTransport::Aspi : troz::VirtualTransport::PassThrough;

    troz::VirtualClock clock;
    QuietServices services;
    const auto platform = troz::MakeBuiltinDrivePlatform(transport, clock, std::nullopt);
    troz::TAtapi atapi(*platform, clock, services);
    atapi.SelectDevice(drive);
    FuzzWindow window(atapi, path, drive);
    troz::UpdateWorkflow workflow(atapi, window, clock, services);
    workflow.OpenPackage();
    workflow.StartUpdate();
    return 0;
}
