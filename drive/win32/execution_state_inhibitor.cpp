// Windows keeps the machine awake for as long as the thread's execution state asks for it.
// (The window also tells a shutdown why it should wait: ShutdownBlockReasonCreate, which
// needs the window's handle and lives with the window.)
#include "drive/shutdown_inhibitor.h"
#include "drive/win32/win32_api.h"

namespace troz {

namespace {

class ExecutionStateInhibitor final : public ShutdownInhibitor {
public:
    ~ExecutionStateInhibitor() override { Release(); }

    bool Take(const std::string&, std::string& error) override {
        if (SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) == 0) {
            error = "SetThreadExecutionState failed, error " + std::to_string(GetLastError());
            return false;
        }
        held_ = true;
        return true;
    }

    void Release() override {
        if (held_) {
            SetThreadExecutionState(ES_CONTINUOUS);
            held_ = false;
        }
    }

private:
    bool held_ = false;
};

}  // namespace

std::unique_ptr<ShutdownInhibitor> MakeSystemShutdownInhibitor() {
    return std::make_unique<ExecutionStateInhibitor>();
}

}  // namespace troz
