// While a drive is being written, the signals that would end the program are held: Ctrl+C
// (SIGINT) is refused, and every other signal that ends a process by default and can be
// caught (SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGALRM, the real-time signals, ...) is put off
// until the write is done; SIGXFSZ and SIGPIPE are ignored. Each held one prints why on
// standard error and the write goes on. A signal the program already ignores stays ignored.
// Outside that span the signals do what they did before (end the process, as usual).
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
// Gives the signals back what they had before. Returns the first held signal other than
// SIGINT that arrived, 0 when none did.
int ReleaseTerminationSignals();
// The status a process ended by that signal reports to a shell or a service manager.
constexpr int ExitStatusOfSignal(int signalNumber) {
    return 128 + signalNumber;
}
// A closed standard output must not end a flash: writes to it fail instead.
void IgnoreBrokenPipe();

}  // namespace troz
