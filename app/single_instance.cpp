// The single-instance mark on Linux; the Windows one is in single_instance_win32.cpp.
#include "app/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <cerrno>

namespace troz {

namespace {

constexpr const char* kLockFileSuffix = ".lock";
constexpr mode_t kLockFileMode = 0600;

QString RuntimeDirectory() {
    // Qt falls back to /tmp/runtime-<user> itself when XDG_RUNTIME_DIR is unset; should even
    // that fail, the temporary directory still gives every user of the machine one place.
    QString directory = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (directory.isEmpty() || !QDir(directory).exists()) {
        directory = QDir::tempPath();
    }
    return directory;
}

}  // namespace

SingleInstanceGuard::SingleInstanceGuard(const std::string& name) {
    const std::string path = LockFilePath(name);
    lockDescriptor_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kLockFileMode);
    if (lockDescriptor_ < 0) {
        return;  // no mark can be made: run as the first copy, as when the mutex cannot be created
    }
    int result = 0;
    do {
        result = flock(lockDescriptor_, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    anotherInstanceRunning_ = result != 0 && errno == EWOULDBLOCK;
}

SingleInstanceGuard::~SingleInstanceGuard() {
    if (lockDescriptor_ >= 0) {
        close(lockDescriptor_);
    }
}

std::string SingleInstanceGuard::LockFilePath(const std::string& name) {
    const QString file = QString::fromStdString(name) + QLatin1String(kLockFileSuffix);
    return QFile::encodeName(QDir(RuntimeDirectory()).filePath(file)).toStdString();
}

}  // namespace troz
