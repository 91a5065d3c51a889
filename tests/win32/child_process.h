// Another Windows program started by a test: its standard output and error come back
// through pipes, and its standard input is a pipe the test closes to let it go on.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace troz::test {

// A path of the build tree as Windows programs under wine name it: / is drive Z:.
std::string WindowsPath(const std::string& path);

// Sets environment variables of this process (and so of the programs it starts) for the
// scope of one test; a null value removes the variable.
class ScopedEnvironment {
public:
    explicit ScopedEnvironment(std::vector<std::pair<std::string, const char*>> settings);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::vector<std::pair<std::string, std::string>> saved_;
    std::vector<std::string> unset_;
};

struct ChildResult {
    bool finished = false;  // false: it did not end in time and was terminated
    std::uint32_t exitCode = 0;
    std::string output;
    std::string errors;
};

class ChildProcess {
public:
    ChildProcess() = default;
    // Ends the program if it still runs.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // program is a Windows path; arguments are appended to the command line as they are.
    bool Start(const std::string& program, const std::string& arguments);
    // Waits until the program's standard output holds text; false after timeoutMs.
    bool WaitForOutput(const std::string& text, std::uint32_t timeoutMs);
    void CloseInput();
    void Kill();
    // Closes its input, waits for its end (terminating it after timeoutMs) and returns what
    // it wrote.
    ChildResult Finish(std::uint32_t timeoutMs);

private:
    void ReadAll(void* pipe, std::string& into);
    void JoinReaders();

    void* process_ = nullptr;
    void* input_ = nullptr;
    std::thread outputReader_;
    std::thread errorReader_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string output_;
    std::string errors_;
};

// Runs a program to its end (see ChildProcess::Finish).
ChildResult RunProgram(const std::string& program, const std::string& arguments,
                       std::uint32_t timeoutMs);

// CR LF line ends, as Windows programs write them, become LF.
std::string WithoutCarriageReturns(std::string text);

}  // namespace troz::test
