#include "virtual/virtual_platform.h"

namespace troz {

VirtualDrivePlatform::VirtualDrivePlatform(VirtualTransport transport, Clock& clock,
                                           std::uint8_t hostAdapterCount)
    : transport_(transport), manager_(hostAdapterCount), aspiPlatform_(manager_, clock) {
    if (transport_ == VirtualTransport::Aspi) {
        manager_.Install();
    }
}

VirtualDrivePlatform::~VirtualDrivePlatform() {
    manager_.Uninstall();
}

std::uint32_t VirtualDrivePlatform::VersionPlatformId() {
    return transport_ == VirtualTransport::PassThrough ? kVerPlatformWin32Nt
                                                       : kVerPlatformWin32Windows;
}

void VirtualDrivePlatform::PumpOneMessage() {
    ++pumpCount_;
    manager_.Pump();
}

void VirtualDrivePlatform::Attach(ScsiDevice* device, int candidate, const AspiAddress& address) {
    passThrough_.SetDevice(candidate, device);
    manager_.SetDevice(address, device);
}

}  // namespace troz
