#include "app/win32/win32_update_connection.h"

#include <cstdint>

#include "app/win32/close_notice.h"
#include "app/window_texts.h"
#include "session/update_session.h"
#include "session/user_history.h"

namespace troz::win32 {

namespace {

constexpr HeldSignalNotices kWindowSignalNotices = {kCloseWhileProgramming, kEndAfterProgramming};

// The session and what the window keeps beside it.
class WindowSession final : public SessionObserver {
public:
    WindowSession(TForm1& form, TAtapi& atapi, Clock& clock, SystemServices& services,
                  std::unique_ptr<ShutdownInhibitor> inhibitor)
        : form_(form),
          // The window's handle lets a shutdown show why it waits.
          inhibitor_(inhibitor ? std::move(inhibitor)
                               : MakeSystemShutdownInhibitor(
                                     reinterpret_cast<std::intptr_t>(form.Handle()))),
          session_(atapi, form, clock, services, *inhibitor_, *this, Settings()) {}

    UpdateSession& Session() { return session_; }

    void Start() {
        session_.Start();
        // Its reason is gone with the update.
        closeNotice_.Close();
    }

    // Asked for a close and for the end of the session alike.
    bool MayEnd() {
        if (session_.MayClose()) {
            return true;
        }
        closeNotice_.Show(form_.Handle(), kCloseWhileProgramming);
        return false;
    }

    // SessionObserver: what is not a line of the update's own log still goes to the log,
    // the one place the window shows text.
    void Notice(const std::string& line) override { form_.AddLogLine(line); }

    // A flash of an earlier run that was cut short: said once, before anything else.
    void WarnOfInterruptedFlashes() {
        for (const std::string& line : history_.InterruptedWarnings()) {
            form_.AddLogLine(line);
        }
    }

private:
    SessionSettings Settings() {
        SessionSettings settings{kWindowSignalNotices, -1, true};
        history_.RecordInto(settings, "window");
        return settings;
    }

    TForm1& form_;
    std::unique_ptr<ShutdownInhibitor> inhibitor_;
    UserHistory history_;
    UpdateSession session_;
    CloseNotice closeNotice_;
};

}  // namespace

void ConnectUpdateSession(TForm1& form, TAtapi& atapi, Clock& clock, SystemServices& services,
                          std::unique_ptr<ShutdownInhibitor> inhibitor) {
    auto window =
        std::make_shared<WindowSession>(form, atapi, clock, services, std::move(inhibitor));
    window->WarnOfInterruptedFlashes();
    form.SetOpenHandler([window] { window->Session().Open(); });
    form.SetStartHandler([window] { window->Start(); });
    form.SetMayClose([window] { return window->MayEnd(); });
    // A logout or shutdown: answered no while the drive is being programmed; the shutdown
    // block reason the inhibitor set says why.
    form.SetMayEndSession([window] { return window->MayEnd(); });
}

}  // namespace troz::win32
