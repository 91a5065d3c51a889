#include "app/write_guard.h"

#include <QSocketNotifier>

#include "app/tform1.h"
#include "app/update_connection.h"

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <unistd.h>
#endif

namespace troz {

namespace {

constexpr HeldSignalNotices kWindowSignalNotices = {kCloseWhileProgramming, kEndAfterProgramming};

std::unique_ptr<ShutdownInhibitor> SystemInhibitorFor([[maybe_unused]] TForm1& form) {
#ifdef Q_OS_WIN
    // The window's handle lets a shutdown show why it waits.
    return MakeSystemShutdownInhibitor(static_cast<std::intptr_t>(form.winId()));
#else
    return MakeSystemShutdownInhibitor();
#endif
}

}  // namespace

WriteGuard::WriteGuard(TAtapi& atapi, TForm1& form, std::function<void()> showNotice,
                       std::unique_ptr<ShutdownInhibitor> inhibitor)
    : atapi_(atapi),
      form_(form),
      showNotice_(std::move(showNotice)),
      inhibitor_(inhibitor ? std::move(inhibitor) : SystemInhibitorFor(form)),
      span_(*inhibitor_, kWindowSignalNotices, stderr) {
#ifndef Q_OS_WIN
    // The signal handler only writes a byte here; the event loop does the rest.
    int ends[2] = {-1, -1};
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
        wakeRead_ = ends[0];
        wakeWrite_ = ends[1];
        notifier_ = new QSocketNotifier(wakeRead_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &WriteGuard::SignalArrived);
    }
#endif
}

WriteGuard::~WriteGuard() {
    span_.End();
#ifndef Q_OS_WIN
    delete notifier_;
    for (const int end : {wakeRead_, wakeWrite_}) {
        if (end >= 0) {
            close(end);
        }
    }
#endif
}

void WriteGuard::SetDriveBeingWritten(bool writing) {
    if (!writing) {
        span_.End();
        return;
    }
    const int index = form_.SelectedDriveIndex();
    span_.Begin(WrittenDriveName(form_.SelectedDriveText(), atapi_.Location(index)), wakeWrite_);
}

void WriteGuard::SignalArrived() {
#ifndef Q_OS_WIN
    char drained[64];
    while (read(wakeRead_, drained, sizeof drained) > 0) {
    }
#endif
    if (span_.IsOpen() && showNotice_) {
        showNotice_();
    }
}

}  // namespace troz
