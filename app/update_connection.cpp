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
#include "session/update_session.h"
#include "session/user_history.h"

namespace troz {

namespace {

constexpr HeldSignalNotices kWindowSignalNotices = {kCloseWhileProgramming, kEndAfterProgramming};

// The Qt window runs on Linux only (Windows has its own), where the login manager needs no
// window handle.
std::unique_ptr<ShutdownInhibitor> SystemInhibitorFor(TForm1& /*form*/) {
    return MakeSystemShutdownInhibitor();
}

// The session and what the window keeps beside it; a child of the form, so it lives as long.
class WindowSession final : public QObject, public SessionObserver {
public:
    WindowSession(TForm1& form, TAtapi& atapi, Clock& clock, SystemServices& services,
                  std::unique_ptr<ShutdownInhibitor> inhibitor)
        : QObject(&form),
          form_(form),
          inhibitor_(inhibitor ? std::move(inhibitor) : SystemInhibitorFor(form)),
          wake_(new WriteGuard([this] { SignalArrived(); }, this)),
          session_(atapi, form, clock, services, *inhibitor_, *this, Settings()) {}

    UpdateSession& Session() { return session_; }

    // The box must not run a loop of its own: it is shown from inside the completion wait,
    // which has to go on polling the drive while the user reads it.
    void ShowCloseNotice() {
        if (closeNotice_) {
            closeNotice_->raise();
            closeNotice_->activateWindow();
            return;
        }
        auto* box = new QMessageBox(QMessageBox::Warning, QCoreApplication::applicationName(),
                                    QLatin1String(kCloseWhileProgramming), QMessageBox::Ok, &form_);
        box->setObjectName(QStringLiteral("CloseWhileProgrammingBox"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::ApplicationModal);
        closeNotice_ = box;
        box->show();
    }

    void Start() {
        session_.Start();
        // Its reason is gone with the update.
        if (closeNotice_) {
            closeNotice_->close();
        }
        if (const int held = session_.HeldSignal(); held != 0) {
            QCoreApplication::exit(ExitStatusOfSignal(held));
        }
    }

    // SessionObserver: what is not a line of the update's own log still goes to the log,
    // the one place the window shows text.
    void Notice(const std::string& line) override { form_.AddLogLine(line); }
    void WriteSpanChanged(bool open) override { writing_ = open; }

    // A flash of an earlier run that was cut short: said once, before anything else.
    void WarnOfInterruptedFlashes() {
        for (const std::string& line : history_.InterruptedWarnings()) {
            form_.AddLogLine(line);
        }
    }

private:
    SessionSettings Settings() {
        SessionSettings settings{kWindowSignalNotices, wake_->WakeDescriptor(), true};
        history_.RecordInto(settings, "window");
        return settings;
    }

    void SignalArrived() {
        if (writing_) {
            ShowCloseNotice();
        }
    }

    TForm1& form_;
    std::unique_ptr<ShutdownInhibitor> inhibitor_;
    WriteGuard* wake_;
    UserHistory history_;
    UpdateSession session_;
    QPointer<QMessageBox> closeNotice_;
    bool writing_ = false;
};

}  // namespace

void ConnectUpdateSession(TForm1& form, TAtapi& atapi, Clock& clock, SystemServices& services,
                          std::unique_ptr<ShutdownInhibitor> inhibitor) {
    auto* window = new WindowSession(form, atapi, clock, services, std::move(inhibitor));
    window->WarnOfInterruptedFlashes();
    form.SetOpenHandler([window] { window->Session().Open(); });
    form.SetStartHandler([window] { window->Start(); });
    form.SetMayClose([window] {
        if (window->Session().MayClose()) {
            return true;
        }
        window->ShowCloseNotice();
        return false;
    });
#if QT_CONFIG(sessionmanager)
    // A logout or shutdown from the desktop: refused while the drive is being programmed,
    // where the desktop lets the program take part (on Windows this answers
    // WM_QUERYENDSESSION with no; the shutdown block reason says why).
    QObject::connect(qGuiApp, &QGuiApplication::commitDataRequest, window,
                     [window](QSessionManager& manager) {
                         if (window->Session().MayClose()) {
                             return;
                         }
                         if (manager.allowsInteraction()) {
                             manager.cancel();
                             manager.release();
                         }
                         window->ShowCloseNotice();
                     });
#endif
}

}  // namespace troz
