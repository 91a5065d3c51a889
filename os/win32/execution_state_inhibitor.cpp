// Windows keeps the machine awake for as long as the thread's execution state asks for it,
// and a window with a shutdown block reason makes a shutdown wait and tell the user why.
#include <string>

#include "os/shutdown_inhibitor.h"
#include "os/win32/win32_api.h"

namespace troz {

namespace {

// The reason is shown as it is; ours is plain ASCII but a drive name could be anything.
std::wstring Widened(const std::string& text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (length <= 0) {
        return L"Writing firmware";
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
    wide.resize(static_cast<std::size_t>(length - 1));
    return wide;
}

class ExecutionStateInhibitor final : public ShutdownInhibitor {
public:
    explicit ExecutionStateInhibitor(HWND window) : window_(window) {}
    ~ExecutionStateInhibitor() override { Release(); }

    bool Take(const std::string& why, std::string& error) override {
        Release();
        if (window_ != nullptr) {
            blockReasonSet_ = ShutdownBlockReasonCreate(window_, Widened(why).c_str()) != FALSE;
        }
        if (SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) == 0) {
            error = "SetThreadExecutionState failed, error " + std::to_string(GetLastError());
            return false;
        }
        stateSet_ = true;
        return true;
    }

    void Release() override {
        if (stateSet_) {
            SetThreadExecutionState(ES_CONTINUOUS);
            stateSet_ = false;
        }
        if (blockReasonSet_) {
            ShutdownBlockReasonDestroy(window_);
            blockReasonSet_ = false;
        }
    }

private:
    HWND window_;
    bool stateSet_ = false;
    bool blockReasonSet_ = false;
};

}  // namespace

std::unique_ptr<ShutdownInhibitor> MakeSystemShutdownInhibitor(std::intptr_t nativeWindow) {
    return std::make_unique<ExecutionStateInhibitor>(reinterpret_cast<HWND>(nativeWindow));
}

}  // namespace troz
