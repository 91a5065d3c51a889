#include "app/update_connection.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <memory>
#if QT_CONFIG(sessionmanager)
#include <QSessionManager>
#endif

#include "app/write_guard.h"

namespace troz {

namespace {

struct ConnectionState {
    // Set for the whole Start handler: should the workflow's own mark be left standing by a
    // failure that escaped it, the window can still be closed once the handler is gone.
    bool startHandlerRunning = false;
    QPointer<QMessageBox> closeNotice;
};

// The box must not run a loop of its own: it is shown from inside the completion wait,
// which has to go on polling the drive while the user reads it.
void ShowCloseNotice(TForm1& form, ConnectionState& state) {
    if (state.closeNotice) {
        state.closeNotice->raise();
        state.closeNotice->activateWindow();
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Warning, QCoreApplication::applicationName(),
                                QLatin1String(kCloseWhileProgramming), QMessageBox::Ok, &form);
    box->setObjectName(QStringLiteral("CloseWhileProgrammingBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    state.closeNotice = box;
    box->show();
}

}  // namespace

void ConnectUpdateWorkflow(TForm1& form, UpdateWorkflow& workflow, TAtapi& atapi,
                           std::unique_ptr<ShutdownInhibitor> inhibitor) {
    auto state = std::make_shared<ConnectionState>();
    auto* guard = new WriteGuard(
        atapi, form, [&form, state] { ShowCloseNotice(form, *state); }, std::move(inhibitor));
    guard->setParent(&form);
    form.SetWriteHandlers([guard](bool writing) { guard->SetDriveBeingWritten(writing); },
                          [guard] { return guard->HeldSignal() != 0; });
    form.SetOpenHandler([&workflow] { workflow.OpenPackage(); });
    form.SetStartHandler([&form, &workflow, &atapi, state, guard] {
        struct RunningMark {
            explicit RunningMark(bool& flag) : flag_(flag) { flag_ = true; }
            ~RunningMark() { flag_ = false; }
            bool& flag_;
        } mark(state->startHandlerRunning);
        // Before the drive gets its first command: another copy may be writing into it.
        const int drive = form.SelectedDriveIndex();
        const DriveLockResult lock = atapi.LockForWriting(drive);
        if (lock.outcome == DriveLockOutcome::HeldElsewhere) {
            form.AddLogLine(
                SecondWriterRefusal(drive, form.SelectedDriveText(), atapi.Location(drive)));
            return;
        }
        workflow.StartUpdate();
        // Its reason is gone with the update.
        if (state->closeNotice) {
            state->closeNotice->close();
        }
        if (const int held = guard->HeldSignal(); held != 0) {
            QCoreApplication::exit(ExitStatusOfSignal(held));
        }
    });
    const auto programming = [&workflow, state] {
        // Once the flash is complete only the restart question is left: the drive is done.
        return state->startHandlerRunning && workflow.UpdateRunning() &&
               !workflow.LastUpdateSucceeded();
    };
    form.SetMayClose([&form, state, programming] {
        if (!programming()) {
            return true;
        }
        ShowCloseNotice(form, *state);
        return false;
    });
#if QT_CONFIG(sessionmanager)
    // A logout or shutdown from the desktop: refused while the drive is being programmed,
    // where the desktop lets the program take part (on Windows this answers
    // WM_QUERYENDSESSION with no; the shutdown block reason says why).
    QObject::connect(qGuiApp, &QGuiApplication::commitDataRequest, &form,
                     [&form, state, programming](QSessionManager& manager) {
                         if (!programming()) {
                             return;
                         }
                         if (manager.allowsInteraction()) {
                             manager.cancel();
                             manager.release();
                         }
                         ShowCloseNotice(form, *state);
                     });
#endif
}

}  // namespace troz
