#include "app/write_guard.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace troz {

WriteGuard::WriteGuard(std::function<void()> arrived, QObject* parent)
    : QObject(parent), arrived_(std::move(arrived)) {
    int ends[2] = {-1, -1};
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
        wakeRead_ = ends[0];
        wakeWrite_ = ends[1];
        notifier_ = new QSocketNotifier(wakeRead_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &WriteGuard::SignalArrived);
    }
}

WriteGuard::~WriteGuard() {
    delete notifier_;
    for (const int end : {wakeRead_, wakeWrite_}) {
        if (end >= 0) {
            close(end);
        }
    }
}

void WriteGuard::SignalArrived() {
    char drained[64];
    while (read(wakeRead_, drained, sizeof drained) > 0) {
    }
    if (arrived_) {
        arrived_();
    }
}

}  // namespace troz
