#include "app/start_up.h"

#include <cstdlib>
#include <exception>
#include <memory>

#include "app/glyphs.h"
#include "app/qt_system_services.h"
#include "app/single_instance.h"
#include "app/tform1.h"
#include "app/update_connection.h"
#include "drive/clock.h"
#include "virtual/drive_source.h"

namespace troz {

namespace {

// The program's own name stands in for the command line, which the tool does not read:
// not even the toolkit's options (-platform, -style, ...) may change what it does.
char programName[] = "trozflash";
char* toolkitArguments[] = {programName, nullptr};
int toolkitArgumentCount = 1;

constexpr const char* kWidgetStyle = "Fusion";

}  // namespace

int RunMainWindow(TAtapi& atapi, Clock& clock, SystemServices& services,
                  const StartUpHooks& hooks) {
    TForm1 form(atapi);
    form.FormCreate();
    ConnectUpdateSession(form, atapi, clock, services,
                         hooks.inhibitor ? hooks.inhibitor() : nullptr);
    form.show();
    if (hooks.windowShown) {
        hooks.windowShown(form);
    }
    return QApplication::exec();
}

namespace {

// Drive access lives from here to the end of this function: the window goes first, then
// the drive context releases what discovery opened.
int RunWithDrives(const StartUpHooks& hooks) {
    QtSystemServices services;
    SystemClock clock;
    std::string error;
    const std::unique_ptr<DrivePlatform> platform =
        MakeDrivePlatform(std::getenv(kDriveSourceVariable), clock, services, error);
    if (!platform) {
        // Falling back to other drives than the ones asked for could flash the wrong drive.
        services.ShowMessage(error);
        return kExitCode;
    }
    TAtapi atapi(*platform, clock, services);
    return RunMainWindow(atapi, clock, services, hooks);
}

}  // namespace

int RunTrozFlash(const StartUpHooks& hooks) {
    // Message boxes of drive discovery need the application object, so it comes first.
    TApplication application(toolkitArgumentCount, toolkitArguments);
    QApplication::setApplicationName(QLatin1String(kApplicationTitle));
    // The window's layout is fixed in pixels; Fusion draws its controls at those sizes on
    // every desktop, where a desktop's own style may want taller ones and clip the texts.
    QApplication::setStyle(QLatin1String(kWidgetStyle));
    QApplication::setWindowIcon(ApplicationIcon());

    // Checked before any drive is touched: a second copy would otherwise send INQUIRY to
    // every drive, the one the first copy may be programming among them.
    const SingleInstanceGuard guard(kInstanceName);
    if (guard.AnotherInstanceRunning()) {
        return kExitCode;
    }
    try {
        return RunWithDrives(hooks);
    } catch (const std::exception& failure) {
        ShowFailure(failure.what());
    } catch (...) {
        ShowFailure(kUnknownFailureText);
    }
    return kExitCode;
}

}  // namespace troz
