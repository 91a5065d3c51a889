// Start: validation, the compatibility checks with their numbered refusals, the flash, and
// the restart prompt.
#include "update/update_workflow.h"

#include <cstring>

#include "drive/scsi_commands.h"
#include "update/flash_driver.h"
#include "update/validate_package.h"

namespace troz {

namespace {

constexpr int kProgressNamed = 10;
constexpr int kProgressValidated = 20;
constexpr int kProgressDone = 100;
constexpr std::size_t kInquiryBufferLength = 100;

// Drives whose INQUIRY bytes 38-39 are 'W','0' are identified by name instead of model code.
constexpr std::uint8_t kNamePathMarker[2] = {'W', '0'};
constexpr std::size_t kNameLength = 17;
constexpr std::array<const char*, 5> kProductNames = {"TROZ    KVW-A100A", "TROZ    KVW-B200A",
                                                      "TROZ    KVW-H300A", "TROZ    KVW-D400A",
                                                      "TROZ    KVW-E500A"};

// Product identifications as drives report them, padded with spaces to 16 characters and
// stored back to back: the padding counts in the comparison.
constexpr std::size_t kProductLength = 16;
constexpr char kSupportedProducts[] =
    "KVX-RDR Q101    "
    "KVW-A100A       "
    "KVW-B200A       "
    "KVW-C300A       "
    "KVW-D400A       "
    "KVW-E500A       "
    "KVC-F600        "
    "KVC-G700        ";
constexpr std::size_t kSupportedProductCount = (sizeof kSupportedProducts - 1) / kProductLength;
// In the drive list's item text the product follows the 8-character vendor.
constexpr std::size_t kItemProductOffset = 8;

constexpr const char* kVendorPrefix = "TROZ";
constexpr std::size_t kVendorPrefixLength = 4;
constexpr std::size_t kIdentificationLength = 24;
constexpr std::size_t kItemTextBufferLength = 100;

// Compares at most length characters, stopping early only where both hold a zero byte.
bool BoundedEqual(const char* a, const char* b, std::size_t length) {
    return std::strncmp(a, b, length) == 0;
}

// A string copied into a zeroed buffer, so bounded comparisons never read past its end.
struct TextBuffer {
    explicit TextBuffer(const std::string& text) {
        std::strncpy(bytes, text.c_str(), sizeof bytes - 1);
    }
    char bytes[kItemTextBufferLength] = {};
};

}  // namespace

UpdateWorkflow::UpdateWorkflow(TAtapi& atapi, UpdateWindow& window, Clock& clock,
                               SystemServices& services)
    : atapi_(atapi), window_(window), clock_(clock), services_(services) {}

const DeviceEntry* UpdateWorkflow::SelectedEntry() {
    const int index = window_.SelectedDriveIndex();
    if (index < 0 || index >= atapi_.DriveCount()) {
        return nullptr;
    }
    return &atapi_.Entry(index);
}

bool UpdateWorkflow::RunStart(StartMode mode) {
    if (updateRunning_) {
        return false;
    }
    // Cleared on every way out, so nothing can leave Open and closing refused for good.
    struct RunningFlag {
        explicit RunningFlag(bool& flag) : flag_(flag) { flag_ = true; }
        ~RunningFlag() { flag_ = false; }
        bool& flag_;
    } running(updateRunning_);
    atapi_.BeginUserAction();
    lastUpdateSucceeded_ = false;
    window_.SetDriveListEnabled(false);
    const std::string path = window_.PackageFileName();
    // The early exits enable the drive list again, so another drive can be picked.
    const char* refusal = nullptr;
    if (path.empty()) {
        refusal = kNoFirmware;
    } else if (!imageChosen_) {
        refusal = kNoImageChosen;
    } else if (SelectedEntry() == nullptr) {
        refusal = kNoDriveSelected;
    }
    if (refusal != nullptr) {
        window_.AddLogLine(refusal);
        window_.SetDriveListEnabled(true);
        return false;
    }
    window_.SetProgress(kProgressNamed);
    // Held open from the check to the last block, and closed on every way out of Start.
    struct ClosedAtEnd {
        ~ClosedAtEnd() { package = CheckedPackage{}; }
        CheckedPackage& package;
    } closedAtEnd{checked_};
    // The file the Open step examined is the file that is checked and sent: one put under
    // its name since (or written to) is refused before anything reaches the drive.
    const bool sameFile = OpenedFileStillNamed(path);
    if (sameFile &&
        !ValidatePackage(opened_.stream, path, headerCopy_, state_, window_, checked_)) {
        window_.SetDriveListEnabled(true);
        return false;
    }
    if (!sameFile || !ChosenWindowUnchanged()) {
        window_.AddLogLine(kPackageChangedSinceOpen);
        window_.SetDriveListEnabled(true);
        return false;
    }
    window_.SetProgress(kProgressValidated);
    if (mode == StartMode::CheckOnly) {
        const bool compatible = CheckCompatibility();
        window_.SetDriveListEnabled(true);
        return compatible;
    }
    atapi_.StopPlayScan();
    atapi_.StopUnit();
    window_.SetStartEnabled(false);
    window_.SetExitEnabled(false);
    RunUpdate();
    window_.SetStartEnabled(true);
    window_.SetExitEnabled(true);
    return lastUpdateSucceeded_;
}

bool UpdateWorkflow::CheckCompatibility() {
    std::uint8_t inquiry[kInquiryBufferLength] = {};
    atapi_.Inquiry(inquiry);
    bool compatible = false;
    if (inquiry[kInquiryModelCodeOffset] == kNamePathMarker[0] &&
        inquiry[kInquiryModelCodeOffset + 1] == kNamePathMarker[1]) {
        for (const char* name : kProductNames) {
            if (BoundedEqual(reinterpret_cast<const char*>(inquiry + kInquiryVendorOffset), name,
                             kNameLength)) {
                compatible = true;
                break;
            }
        }
        if (!compatible) {
            window_.AddLogLine(kNamePathRefusal);
        }
    } else {
        compatible = CheckModelCode();
    }
    return compatible && CheckVendor() && CheckProductTable() && CheckTargetProduct();
}

void UpdateWorkflow::RunUpdate() {
    if (CheckCompatibility()) {
        FlashDriver driver(atapi_, window_, clock_, checked_, headerCopy_, state_);
        if (driver.FlashFirmware()) {
            window_.SetProgress(kProgressDone);
            window_.AddLogLine(kFlashComplete);
            lastUpdateSucceeded_ = true;
            PromptRestart();
        }
    }
    window_.SetDriveListEnabled(true);
}

bool UpdateWorkflow::ReadDriveModelCode(std::array<std::uint8_t, 2>& modelCode) {
    std::uint8_t inquiry[kInquiryBufferLength] = {};
    const bool answered = atapi_.Inquiry(inquiry) == kCommandSuccess;
    modelCode = {inquiry[kInquiryModelCodeOffset], inquiry[kInquiryModelCodeOffset + 1]};
    return answered;
}

bool UpdateWorkflow::CheckModelCode() {
    std::array<std::uint8_t, 2> driveModelCode{};
    ReadDriveModelCode(driveModelCode);
    if (driveModelCode == state_.modelCode) {
        return true;
    }
    window_.AddLogLine(kRefusalModelCode);
    return false;
}

bool UpdateWorkflow::CheckVendor() {
    const DeviceEntry* entry = SelectedEntry();
    if (entry != nullptr &&
        BoundedEqual(entry->identification, kVendorPrefix, kVendorPrefixLength)) {
        return true;
    }
    window_.AddLogLine(kRefusalVendor);
    return false;
}

bool UpdateWorkflow::CheckProductTable() {
    const TextBuffer item(window_.SelectedDriveText());
    for (std::size_t row = 0; row < kSupportedProductCount; ++row) {
        if (BoundedEqual(item.bytes + kItemProductOffset, kSupportedProducts + row * kProductLength,
                         kProductLength)) {
            return true;
        }
    }
    window_.AddLogLine(kRefusalProductTable);
    return false;
}

bool UpdateWorkflow::CheckTargetProduct() {
    const TextBuffer target(window_.TargetProductText());
    const DeviceEntry* entry = SelectedEntry();
    if (entry != nullptr &&
        BoundedEqual(target.bytes, entry->identification, kIdentificationLength)) {
        return true;
    }
    window_.AddLogLine(kRefusalTargetProduct);
    return false;
}

void UpdateWorkflow::PromptRestart() {
    if (!window_.AskRestart()) {
        return;
    }
    std::string error;
    if (!services_.RequestRestart(error)) {
        window_.AddLogLine(kRestartRefusedPrefix + error);
    }
}

}  // namespace troz
