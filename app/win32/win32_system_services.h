// The system services of the Win32 window: messages of drive access in modal boxes with the
// application title as their caption, and the restart through ExitWindowsEx.
#pragma once

#include <string>

#include "app/win32/win32_window_api.h"
#include "drive/system_services.h"

namespace troz::win32 {

class Win32SystemServices final : public SystemServices {
public:
    // The window the boxes belong to once it exists (before, they have none).
    void SetOwner(HWND owner) { owner_ = owner; }
    void ShowMessage(const std::string& text) override;
    bool RequestRestart(std::string& error) override;

private:
    HWND owner_ = nullptr;
};

}  // namespace troz::win32
