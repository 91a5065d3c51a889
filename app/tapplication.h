// The application object and the failure box. A failure that escapes an event handler or
// start-up is shown in a modal box with the application title as its caption; the loop goes
// on and the window stays usable.
#pragma once

#include <QApplication>
#include <functional>
#include <string>

#include "app/window_texts.h"

class QMessageBox;

namespace troz {

// Caption the application title, one OK button, the error icon.
void ConfigureFailureBox(QMessageBox& box, const std::string& message);
void ShowFailure(const std::string& message);

class TApplication final : public QApplication {
    Q_OBJECT
public:
    using FailurePresenter = std::function<void(const std::string&)>;

    TApplication(int& argumentCount, char** arguments);
    // The last net: a failure that reaches the toolkit's event delivery.
    bool notify(QObject* receiver, QEvent* event) override;

    void PresentFailure(const std::string& message) { presentFailure_(message); }
    // Replaces the failure box, for tests.
    void SetFailurePresenter(FailurePresenter presenter) { presentFailure_ = std::move(presenter); }

private:
    FailurePresenter presentFailure_;
};

// Shows a failure the way the application object does, or in the plain failure box when
// the application object is not ours.
void PresentFailure(const std::string& message);

// Runs one of our event handlers. A failure in it is shown right here, so it never unwinds
// through the toolkit's frames, which would skip their clean-up.
void RunHandler(const std::function<void()>& handler);

}  // namespace troz
