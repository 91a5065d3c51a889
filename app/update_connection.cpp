#include "app/update_connection.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <memory>

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

void ConnectUpdateWorkflow(TForm1& form, UpdateWorkflow& workflow) {
    auto state = std::make_shared<ConnectionState>();
    form.SetOpenHandler([&workflow] { workflow.OpenPackage(); });
    form.SetStartHandler([&workflow, state] {
        struct RunningMark {
            explicit RunningMark(bool& flag) : flag_(flag) { flag_ = true; }
            ~RunningMark() { flag_ = false; }
            bool& flag_;
        } mark(state->startHandlerRunning);
        workflow.StartUpdate();
        // Its reason is gone with the update.
        if (state->closeNotice) {
            state->closeNotice->close();
        }
    });
    form.SetMayClose([&form, &workflow, state] {
        // Once the flash is complete only the restart question is left: the drive is done.
        const bool programming = state->startHandlerRunning && workflow.UpdateRunning() &&
                                 !workflow.LastUpdateSucceeded();
        if (!programming) {
            return true;
        }
        ShowCloseNotice(form, *state);
        return false;
    });
}

}  // namespace troz
