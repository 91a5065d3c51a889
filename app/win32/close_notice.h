// The notice that tells why the window did not close: the drive is being programmed. It is
// modeless on purpose: it is shown from inside the completion wait, which has to go on
// polling the drive while the user reads it. The main window takes no input meanwhile.
#pragma once

#include <string>

#include "app/win32/win32_window_api.h"

namespace troz::win32 {

class CloseNotice {
public:
    CloseNotice() = default;
    ~CloseNotice();
    CloseNotice(const CloseNotice&) = delete;
    CloseNotice& operator=(const CloseNotice&) = delete;

    // Shows text over owner, or brings the notice to the front when it is up already.
    void Show(HWND owner, const std::string& text);
    // Takes it down (its reason is gone) and gives the owner its input back.
    void Close();
    bool IsShown() const { return window_ != nullptr; }

private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);

    HWND window_ = nullptr;
    HWND owner_ = nullptr;
};

}  // namespace troz::win32
