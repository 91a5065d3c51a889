#include "app/win32/win32_system_services.h"

#include "app/win32/win32_text.h"
#include "app/window_texts.h"
#include "os/system_restart.h"

namespace troz::win32 {

void Win32SystemServices::ShowMessage(const std::string& text) {
    // The system's error texts end in a line break that would only add an empty line.
    std::string::size_type end = text.size();
    while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r')) {
        --end;
    }
    const HWND owner = owner_ != nullptr && IsWindow(owner_) ? owner_ : nullptr;
    MessageBoxW(owner, FromAnsi(text.substr(0, end)).c_str(), FromLatin1(kApplicationTitle).c_str(),
                MB_OK | MB_ICONWARNING | MB_TASKMODAL);
}

bool Win32SystemServices::RequestRestart(std::string& error) {
    return RequestSystemRestart(error);
}

}  // namespace troz::win32
