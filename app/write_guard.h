// How a signal held while a drive is being written reaches the window: the signal handler
// only writes a byte into a self-pipe, which the event loop reads (the completion wait
// dispatches events), and the window then shows the same notice as a refused close.
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace troz {

class WriteGuard final : public QObject {
    Q_OBJECT
public:
    // arrived is called in the event loop for each batch of held signals.
    explicit WriteGuard(std::function<void()> arrived, QObject* parent = nullptr);
    ~WriteGuard() override;

    // The descriptor the signal handler writes to; -1 when no pipe could be made.
    int WakeDescriptor() const { return wakeWrite_; }

private:
    void SignalArrived();

    std::function<void()> arrived_;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace troz
