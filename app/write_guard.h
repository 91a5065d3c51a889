// The window's hold while a drive is being written: the ending signals of the process wait
// for the write (they arrive through a self-pipe in the event loop, which shows the same
// notice as a refused close), and the computer's shutdown and sleep are held off. A signal
// that waited ends the program with its usual status once the update is over.
#pragma once

#include <QObject>
#include <functional>
#include <memory>

#include "app/window_texts.h"
#include "drive/atapi.h"
#include "drive/drive_write_span.h"

class QSocketNotifier;

namespace troz {

class TForm1;

class WriteGuard final : public QObject {
    Q_OBJECT
public:
    // showNotice tells the user why the program did not end. inhibitor null: the system's.
    WriteGuard(TAtapi& atapi, TForm1& form, std::function<void()> showNotice,
               std::unique_ptr<ShutdownInhibitor> inhibitor = nullptr);
    ~WriteGuard() override;

    void SetDriveBeingWritten(bool writing);
    bool IsWriting() const { return span_.IsOpen(); }
    // The SIGTERM, SIGHUP or SIGQUIT that waited for the last write, 0 when none did.
    int HeldSignal() const { return span_.HeldSignal(); }

private:
    void SignalArrived();

    TAtapi& atapi_;
    TForm1& form_;
    std::function<void()> showNotice_;
    std::unique_ptr<ShutdownInhibitor> inhibitor_;
    DriveWriteSpan span_;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace troz
