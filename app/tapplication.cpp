#include "app/tapplication.h"

#include <QMessageBox>
#include <exception>

namespace troz {

void ConfigureFailureBox(QMessageBox& box, const std::string& message) {
    box.setIcon(QMessageBox::Critical);
    box.setWindowTitle(QCoreApplication::applicationName());
    box.setText(QString::fromStdString(FailureText(message)));
    box.setStandardButtons(QMessageBox::Ok);
}

void ShowFailure(const std::string& message) {
    QMessageBox box;
    ConfigureFailureBox(box, message);
    box.exec();
}

TApplication::TApplication(int& argumentCount, char** arguments)
    : QApplication(argumentCount, arguments), presentFailure_(ShowFailure) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& failure) {
        presentFailure_(failure.what());
    } catch (...) {
        presentFailure_(kUnknownFailureText);
    }
    return false;
}

void PresentFailure(const std::string& message) {
    if (auto* application = qobject_cast<TApplication*>(QCoreApplication::instance())) {
        application->PresentFailure(message);
    } else {
        ShowFailure(message);
    }
}

void RunHandler(const std::function<void()>& handler) {
    if (!handler) {
        return;
    }
    try {
        handler();
    } catch (const std::exception& failure) {
        PresentFailure(failure.what());
    } catch (...) {
        PresentFailure(kUnknownFailureText);
    }
}

}  // namespace troz
