#include "drive/atapi.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace troz {

namespace {

TAtapi* currentInstance = nullptr;

}  // namespace

TAtapi::TAtapi(DrivePlatform& platform, Clock& clock, SystemServices& services)
    : platform_(platform), clock_(clock), services_(services) {
    if (currentInstance != nullptr) {
        // Two drive contexts would share drives and the one request block of the library.
        std::fputs("TAtapi: a second drive context was created\n", stderr);
        std::abort();
    }
    currentInstance = this;

    IsNtFamily();
    if (!NtFlag() && !SetUpAspiTransport()) {
        return;  // no library: no scan, no drives, the current target stays all zero
    }
    ScanDrives();
    SelectDevice(0);
}

TAtapi::~TAtapi() {
    requestBlock_.reset();
    if (aspiLibrary_ != nullptr) {
        platform_.Aspi().FreeLibrary(aspiLibrary_);
        aspiLibrary_ = nullptr;
    }
    // The last opened handle is among these; the other listed drives' handles are closed
    // too rather than left to the end of the process.
    for (int i = 0; i < openedHandleCount_; ++i) {
        platform_.PassThrough().Close(openedHandles_[static_cast<std::size_t>(i)]);
    }
    currentInstance = nullptr;
}

void TAtapi::SelectDevice(int index) {
    if (index < 0 || index >= kDeviceTableSize) {
        return;  // the list never offers such an index; nothing to select
    }
    const DeviceEntry& entry = deviceTable_[static_cast<std::size_t>(index)];
    currentHandle_ = entry.handle;
    currentHostAdapterId_ = entry.hostAdapterId;
    currentTargetId_ = entry.targetId;
    currentLun_ = entry.lun;
}

std::string TAtapi::Location(int index) const {
    if (index < 0 || index >= driveCount_) {
        return {};
    }
    if (NtFlag()) {
        return devicePaths_[static_cast<std::size_t>(index)];
    }
    const DeviceEntry& entry = deviceTable_[static_cast<std::size_t>(index)];
    char text[64];
    std::snprintf(text, sizeof text, "ha %u target %u lun %u", entry.hostAdapterId, entry.targetId,
                  entry.lun);
    return text;
}

DriveLockResult TAtapi::LockForWriting(int index) {
    if (index < 0 || index >= driveCount_) {
        return DriveLockResult::Refused(DriveLockOutcome::Unavailable,
                                        "there is no drive " + std::to_string(index));
    }
    return platform_.LockDrive(Location(index),
                               deviceTable_[static_cast<std::size_t>(index)].handle);
}

}  // namespace troz

namespace troz {

std::string DriveItemText(const DeviceEntry& entry) {
    // Both fields end in a NUL within their arrays; strnlen keeps that true for any entry.
    const std::string identification(entry.identification,
                                     strnlen(entry.identification, sizeof entry.identification));
    const std::string revision(entry.revision, strnlen(entry.revision, sizeof entry.revision));
    return identification + " " + revision;
}

}  // namespace troz
