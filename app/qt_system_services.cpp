#include "app/qt_system_services.h"

#include <QCoreApplication>
#include <QMessageBox>

#include "os/system_restart.h"

namespace troz {

namespace {

// The system's error texts end in a line break that would only add an empty line to the box.
QString WithoutTrailingLineBreaks(const std::string& text) {
    std::string::size_type end = text.size();
    while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r')) {
        --end;
    }
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(end));
}

}  // namespace

void QtSystemServices::ShowMessage(const std::string& text) {
    QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(),
                    WithoutTrailingLineBreaks(text), QMessageBox::Ok);
    box.exec();
}

bool QtSystemServices::RequestRestart(std::string& error) {
    return RequestSystemRestart(error);
}

}  // namespace troz
