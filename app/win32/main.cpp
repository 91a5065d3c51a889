// trozflash.exe: the window program on Windows. Drive access is a static object of the
// program, brought up during program initialisation before the entry routine runs, and
// released once at process exit after it has returned. The entry routine ends at once for
// a second copy, and otherwise creates the main window and runs its loop. It reads nothing of
// its command line and returns 0 on every path.
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "app/single_instance.h"
#include "app/win32/tform1.h"
#include "app/win32/win32_system_services.h"
#include "app/win32/win32_update_connection.h"
#include "app/win32/win32_window_api.h"
#include "app/window_texts.h"
#include "drive/atapi.h"
#include "drive/clock.h"
#include "virtual/drive_source.h"

namespace troz::win32 {
namespace {

constexpr int kExitCode = 0;

// The process-wide drive context and what it needs, for the whole life of the process.
class DriveAccess {
public:
    // A second copy never touches the drives: the first one may be programming one of them
    // and must not get an INQUIRY in the middle of it. So the single-instance mark is taken
    // right before discovery, and a second copy skips it.
    DriveAccess() : guard_(kInstanceName) {
        if (guard_.AnotherInstanceRunning()) {
            return;
        }
        try {
            platform_ =
                MakeDrivePlatform(std::getenv(kDriveSourceVariable), clock_, services_, failure_);
            if (platform_) {
                atapi_ = std::make_unique<TAtapi>(*platform_, clock_, services_);
            }
        } catch (const std::exception& failure) {
            failure_ = failure.what();
            exceptionFailure_ = true;
        } catch (...) {
            failure_ = kUnknownFailureText;
            exceptionFailure_ = true;
        }
    }

    bool AnotherInstanceRunning() const { return guard_.AnotherInstanceRunning(); }
    TAtapi* Atapi() { return atapi_.get(); }
    SystemClock& Clock() { return clock_; }
    Win32SystemServices& Services() { return services_; }
    // Why there is no drive context: the drive source named is not known, or discovery failed.
    const std::string& Failure() const { return failure_; }
    bool ExceptionFailure() const { return exceptionFailure_; }

private:
    SingleInstanceGuard guard_;
    SystemClock clock_;
    Win32SystemServices services_;
    std::unique_ptr<DrivePlatform> platform_;
    std::unique_ptr<TAtapi> atapi_;
    std::string failure_;
    bool exceptionFailure_ = false;
};

DriveAccess driveAccess;

void RunMainWindow(TAtapi& atapi, int showCommand) {
    INITCOMMONCONTROLSEX classes{};
    classes.dwSize = sizeof(classes);
    classes.dwICC = ICC_STANDARD_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS;
    InitCommonControlsEx(&classes);

    TForm1 form(atapi);
    form.FormCreate();
    Win32SystemServices& services = driveAccess.Services();
    services.SetOwner(form.Handle());
    ConnectUpdateSession(form, atapi, driveAccess.Clock(), services);
    form.Show(showCommand);
    RunMessageLoop();
    services.SetOwner(nullptr);
}

}  // namespace
}  // namespace troz::win32

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int showCommand) {
    using namespace troz::win32;
    if (driveAccess.AnotherInstanceRunning()) {
        return kExitCode;
    }
    try {
        troz::TAtapi* atapi = driveAccess.Atapi();
        if (atapi == nullptr) {
            // Falling back to other drives than the ones asked for could flash the wrong one.
            if (driveAccess.ExceptionFailure()) {
                ShowFailure(driveAccess.Failure());
            } else {
                driveAccess.Services().ShowMessage(driveAccess.Failure());
            }
            return kExitCode;
        }
        RunMainWindow(*atapi, showCommand);
    } catch (const std::exception& failure) {
        ShowFailure(failure.what());
    } catch (...) {
        ShowFailure(troz::kUnknownFailureText);
    }
    return kExitCode;
}
