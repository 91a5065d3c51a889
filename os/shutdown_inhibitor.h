// Keeps the computer from shutting down or going to sleep while a drive is being written:
// on Linux a block inhibitor of the login manager (systemd-logind), on Windows the thread's
// execution state. Behind an interface so the update's tests use a fake.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace troz {

class ShutdownInhibitor {
public:
    virtual ~ShutdownInhibitor() = default;
    // Holds off shutdown, sleep, idling and the power and suspend keys until Release; why is
    // what the system shows to whoever tries ("Writing firmware into ..."). False, with the
    // reason in error, when that cannot be had: the write goes on without it.
    virtual bool Take(const std::string& why, std::string& error) = 0;
    // Lets the computer shut down and sleep again; nothing when nothing is held.
    virtual void Release() = 0;
};

// The running system's inhibitor. The Linux one asks the login manager on the system bus
// that DBUS_SYSTEM_BUS_ADDRESS names (the usual one when unset). On Windows a window (its
// HWND, when not 0) also gives a shutdown the reason to wait (ShutdownBlockReasonCreate).
std::unique_ptr<ShutdownInhibitor> MakeSystemShutdownInhibitor(std::intptr_t nativeWindow = 0);

}  // namespace troz
