// The update as the window (and the command line) drive it: the Open step picks a package
// and the image that fits the selected drive; Start validates it, quiets the drive, runs the
// compatibility checks in their fixed order, flashes, and offers a restart.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "drive/atapi.h"
#include "drive/clock.h"
#include "drive/system_services.h"
#include "update/checked_package.h"
#include "update/package_format.h"
#include "update/package_state.h"
#include "update/package_stream.h"
#include "update/update_window.h"

namespace troz {

constexpr const char* kNoFirmware = "Err:No Firmware to upgrade!!";
constexpr const char* kNoImageChosen = "Err:The firmware file has no image for this device!!";
constexpr const char* kNoDriveSelected = "Err:No device selected!!";
constexpr const char* kNamePathRefusal = "Err: Cannot update this device use this update file!!";
constexpr const char* kRefusalModelCode = "Err:The firmware is not support this device!!(4)";
constexpr const char* kRefusalVendor = "The Firmware isn't support this device !!(6)";
constexpr const char* kRefusalProductTable = "The Firmware isn't support this device !!(2)";
constexpr const char* kRefusalTargetProduct = "The Firmware isn't support this device !!(3)";
constexpr const char* kFlashComplete = "Ok:Flash Complete!!";
constexpr const char* kOpenWhileUpdating =
    "Err:The drive is being updated, a firmware file cannot be opened now!!";
constexpr const char* kRestartRefusedPrefix = "Err:Cannot restart this computer: ";

class UpdateWorkflow {
public:
    UpdateWorkflow(TAtapi& atapi, UpdateWindow& window, Clock& clock, SystemServices& services);

    // The Open button: the open dialog, then the scan for the image that fits.
    void OpenPackage();
    // The Start button.
    void StartUpdate() { RunStart(StartMode::Write); }
    // Every check of Start (the early refusals, the package check, the compatibility checks)
    // with the same lines, but the drive hears INQUIRY only: it is neither quieted nor
    // written. True when Start would write the firmware.
    bool CheckUpdate() { return RunStart(StartMode::CheckOnly); }
    // True from the press of Start until its handler ends: the window must not close and
    // no other package may be opened meanwhile, since a drive may be programming itself.
    bool UpdateRunning() const { return updateRunning_; }
    // True when the last press of Start ended with "Ok:Flash Complete!!".
    bool LastUpdateSucceeded() const { return lastUpdateSucceeded_; }

    const PackageState& State() const { return state_; }
    bool ImageChosen() const { return imageChosen_; }

private:
    enum class StartMode { Write, CheckOnly };

    // The steps of Start, in the order they run.
    bool RunStart(StartMode mode);
    bool CheckCompatibility();
    void RunUpdate();
    bool CheckModelCode();
    bool CheckVendor();
    bool CheckProductTable();
    bool CheckTargetProduct();
    void PromptRestart();

    bool ScanImages(PackageStream& file, std::uint8_t* window, std::uint64_t& windowDigest);
    void ForgetImageChoice();
    // Whether the name still gives the file the Open step examined, unchanged since, and
    // (after the package check) whether the chosen image still begins with the bytes the
    // Open step took its model record from.
    bool OpenedFileStillNamed(const std::string& path) const;
    bool ChosenWindowUnchanged();
    const DeviceEntry* SelectedEntry();
    bool ReadDriveModelCode(std::array<std::uint8_t, 2>& modelCode);

    TAtapi& atapi_;
    UpdateWindow& window_;
    Clock& clock_;
    SystemServices& services_;
    PackageHeader headerCopy_;
    PackageState state_;
    // The package file the Open step examined, held open until the next Open step: Start
    // checks and sends this very file, never another one put under its name since.
    struct OpenedPackage {
        std::shared_ptr<PackageStream> stream;
        FileStamp stamp;
        // The chosen image's scan window as the Open step read it (descrambled).
        std::uint64_t windowDigest = 0;
    };
    OpenedPackage opened_;
    // The package Start checked, open until Start ends: the flash sends from it.
    CheckedPackage checked_;
    // Whether the Open step accepted an image of the file the dialog names now.
    bool imageChosen_ = false;
    bool updateRunning_ = false;
    bool lastUpdateSucceeded_ = false;
};

}  // namespace troz
