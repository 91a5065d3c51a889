// What holding the ending signals asks of the system it runs on, one implementation in each
// of linux/ and win32/. Only os/ includes this.
#pragma once

#include <cstddef>
#include <vector>

namespace troz::platform {

using SignalHandler = void (*)(int);

// The signals that end the process by default and can be caught.
std::vector<int> EndingSignals();
// The signals ignored while a drive is written.
std::vector<int> SpanIgnoredSignals();
// Installs handler for the signal and remembers what it had; false (nothing changed) when
// the signal cannot be caught or is ignored already: a signal the program was told to ignore
// (under nohup, in the background of a script) stays ignored.
bool InstallSignalHandler(int signalNumber, SignalHandler handler);
// Puts back what every signal installed since the last call had.
void RestoreSignalHandlers();
// Called first in a handler: puts it back where the system resets it on delivery.
void RearmSignalHandler(int signalNumber, SignalHandler handler);
// write() that a signal handler may call.
void WriteFromHandler(int descriptor, const char* bytes, std::size_t size);

}  // namespace troz::platform
