#include "tests/support/workflow_rig.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace troz::test {

namespace {

constexpr std::uint8_t kOpVendorCommand = 0x5A;

std::string Mark(bool enabled) {
    return enabled ? "on" : "off";
}

}  // namespace

void PrintTo(const Enabling& enabling, std::ostream* out) {
    *out << "{list " << Mark(enabling.driveList) << ", start " << Mark(enabling.start) << ", exit "
         << Mark(enabling.exit) << "}";
}

void SequenceWindow::SetDriveListEnabled(bool enabled) {
    RecordingWindow::SetDriveListEnabled(enabled);
    enablings.push_back(Now());
}

void SequenceWindow::SetStartEnabled(bool enabled) {
    RecordingWindow::SetStartEnabled(enabled);
    enablings.push_back(Now());
}

void SequenceWindow::SetExitEnabled(bool enabled) {
    RecordingWindow::SetExitEnabled(enabled);
    enablings.push_back(Now());
}

void SequenceWindow::DispatchPendingEvents() {
    RecordingWindow::DispatchPendingEvents();
    if (onDispatch) {
        // Once: the user clicks once, not on every poll.
        auto action = std::move(onDispatch);
        onDispatch = nullptr;
        action();
    }
}

bool SequenceWindow::AskRestart() {
    atRestartQuestion.push_back(Now());
    return RecordingWindow::AskRestart();
}

DeviceReply WatchedDrive::Execute(const std::uint8_t* cdb, std::uint8_t direction,
                                  std::uint8_t* buffer, std::uint32_t length) {
    opcodes.push_back(cdb[0]);
    enablings.push_back(window_.Now());
    return drive_.Execute(cdb, direction, buffer, length);
}

void WatchedDrive::Forget() {
    opcodes.clear();
    enablings.clear();
}

ModelRecordFields TrozFields(const std::string& product, std::array<std::uint8_t, 2> modelCode) {
    return {"TROZ", product, "1.10", modelCode};
}

DriveIdentity Identity(const std::string& vendor, const std::string& product,
                       std::array<std::uint8_t, 2> modelCode) {
    return {vendor, product, "1.00", modelCode};
}

const std::vector<std::uint16_t>& ScanSizedBlocks() {
    static const std::vector<std::uint16_t> sizes = {32768, 32767};
    return sizes;
}

std::vector<std::uint8_t> FillerImage(std::uint32_t seed) {
    return MakeFillerImage(ScanSizedBlocks(), seed);
}

std::vector<std::uint8_t> RecordImage(const ModelRecordFields& fields, std::uint32_t recordOffset) {
    std::vector<std::uint8_t> image = FillerImage(recordOffset);
    std::string error;
    EXPECT_TRUE(PlaceModelRecord(image, recordOffset, fields, error)) << error;
    return image;
}

PackageImage Blocks(const std::vector<std::uint8_t>& image) {
    PackageImage blocks;
    std::string error;
    EXPECT_TRUE(SplitImage(image, ScanSizedBlocks(), blocks, error)) << error;
    return blocks;
}

std::vector<std::uint8_t> SinglePackage(const std::vector<std::uint8_t>& image, bool scrambled) {
    return BuildPackage({false, scrambled, {Blocks(image)}});
}

std::vector<std::uint8_t> MultiPackage(const std::vector<std::vector<std::uint8_t>>& images) {
    PackageContents contents{true, false, {}};
    for (const auto& image : images) {
        contents.images.push_back(Blocks(image));
    }
    return BuildPackage(contents);
}

bool IsFirmwareCommand(std::uint8_t opcode) {
    return opcode == kOpVendorCommand || opcode == kOpWriteBuffer;
}

VirtualDriveConfig DirectDrive(const DriveIdentity& identity) {
    return ConfigFor(Personality::Direct, identity);
}

WorkflowRig::WorkflowRig(const std::vector<VirtualDriveConfig>& configs, VirtualTransport transport)
    : VirtualRig(transport) {
    services.refusal = "A required privilege is not held by the client.";
    for (std::size_t n = 0; n < configs.size(); ++n) {
        drives_.push_back(std::make_unique<VirtualDrive>(clock, configs[n]));
        links_.push_back(std::make_unique<WatchedDrive>(*drives_.back(), window));
        Attach(*links_.back(), static_cast<int>(n));
    }
    VirtualRig::Start();
    workflow = std::make_unique<UpdateWorkflow>(*atapi, window, clock, services);
    if (atapi->DriveCount() > 0) {
        Select(0);
    }
    Forget();
}

WorkflowRig::~WorkflowRig() {
    workflow.reset();
    atapi.reset();
}

void WorkflowRig::Select(int index) {
    atapi->SelectDevice(index);
    window.selectedDriveIndex = index;
    window.selectedDriveText = DriveItemText(atapi->Entry(index));
}

void WorkflowRig::Open(const std::string& path) {
    window.nextChoice = path;
    workflow->OpenPackage();
}

const std::string& WorkflowRig::OpenPackage(const std::vector<std::uint8_t>& bytes) {
    files_.push_back(std::make_unique<TempPackageFile>(bytes));
    Open(files_.back()->Path());
    return files_.back()->Path();
}

void WorkflowRig::Forget() {
    window.lines.clear();
    window.progress.clear();
    window.enablings.clear();
    window.atRestartQuestion.clear();
    for (std::size_t n = 0; n < drives_.size(); ++n) {
        drives_[n]->ClearCommands();
        links_[n]->Forget();
    }
}

int WorkflowRig::CountOf(int index, std::uint8_t opcode) {
    const auto& opcodes = Watched(index).opcodes;
    return static_cast<int>(std::count(opcodes.begin(), opcodes.end(), opcode));
}

bool WorkflowRig::AnyFirmwareCommand(int index) {
    const auto& opcodes = Watched(index).opcodes;
    return std::any_of(opcodes.begin(), opcodes.end(), IsFirmwareCommand);
}

}  // namespace troz::test
