// While a drive is being written, the signals that would end the program are held: Ctrl+C
// (SIGINT) is refused, and SIGTERM, SIGHUP (the terminal closing) and SIGQUIT are put off
// until the write is done. Each prints why on standard error and the write goes on. Outside
// that span the signals do what they did before (end the process, as usual).
#pragma once

namespace troz {

// The lines a held signal prints: refused for Ctrl+C, delayed for the others.
struct HeldSignalNotices {
    const char* refused;
    const char* delayed;
};

// Holds the signals. wakeDescriptor, when not negative, gets one byte per held signal (the
// window's self-pipe, read in its event loop).
void HoldTerminationSignals(const HeldSignalNotices& notices, int wakeDescriptor = -1);
// Gives the signals back what they had before. Returns the first of SIGTERM, SIGHUP and
// SIGQUIT that arrived while held, 0 when none did.
int ReleaseTerminationSignals();
// The status a process ended by that signal reports to a shell or a service manager.
constexpr int ExitStatusOfSignal(int signalNumber) {
    return 128 + signalNumber;
}
// A closed standard output must not end a flash: writes to it fail instead.
void IgnoreBrokenPipe();

}  // namespace troz
