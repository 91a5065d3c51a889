// The start-up of trozflash with a way out for the process tests: it prints "shown" and the
// caption once the window is up, and presses Exit when a line arrives on standard input.
#include <unistd.h>

#include <QPushButton>
#include <QSocketNotifier>
#include <cstdio>

#include "app/start_up.h"
#include "app/tform1.h"

int main() {
    troz::StartUpHooks hooks;
    hooks.windowShown = [](troz::TForm1& form) {
        auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &form);
        QObject::connect(input, &QSocketNotifier::activated, &form, [&form, input] {
            input->setEnabled(false);
            form.findChild<QPushButton*>(QStringLiteral("BitBtn3"))->click();
        });
        std::printf("shown %s\n", form.windowTitle().toUtf8().constData());
        std::fflush(stdout);
    };
    return troz::RunTrozFlash(hooks);
}
