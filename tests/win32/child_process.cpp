#include "tests/win32/child_process.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <chrono>

namespace troz::test {

namespace {

constexpr DWORD kReadChunk = 4096;

// A pipe whose one end a child inherits; the other end stays with the test only.
bool MakePipe(HANDLE& read, HANDLE& write, bool childReads) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    if (!CreatePipe(&read, &write, &inheritable, 0)) {
        return false;
    }
    SetHandleInformation(childReads ? write : read, HANDLE_FLAG_INHERIT, 0);
    return true;
}

void CloseIfOpen(HANDLE& handle) {
    if (handle != nullptr) {
        CloseHandle(handle);
        handle = nullptr;
    }
}

}  // namespace

std::string WindowsPath(const std::string& path) {
    std::string windows = path.starts_with('/') ? "Z:" + path : path;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    return windows;
}

std::string WithoutCarriageReturns(std::string text) {
    std::erase(text, '\r');
    return text;
}

ScopedEnvironment::ScopedEnvironment(std::vector<std::pair<std::string, const char*>> settings) {
    for (const auto& [name, value] : settings) {
        char old[4096];
        const DWORD length = GetEnvironmentVariableA(name.c_str(), old, sizeof old);
        if (length > 0 && length < sizeof old) {
            saved_.emplace_back(name, std::string(old, length));
        } else {
            unset_.push_back(name);
        }
        SetEnvironmentVariableA(name.c_str(), value);
    }
}

ScopedEnvironment::~ScopedEnvironment() {
    for (const auto& [name, value] : saved_) {
        SetEnvironmentVariableA(name.c_str(), value.c_str());
    }
    for (const std::string& name : unset_) {
        SetEnvironmentVariableA(name.c_str(), nullptr);
    }
}

ChildProcess::~ChildProcess() {
    if (process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
        Kill();
    }
    CloseInput();
    JoinReaders();
    CloseIfOpen(process_);
}

bool ChildProcess::Start(const std::string& program, const std::string& arguments) {
    HANDLE inputRead = nullptr;
    HANDLE inputWrite = nullptr;
    HANDLE outputRead = nullptr;
    HANDLE outputWrite = nullptr;
    HANDLE errorRead = nullptr;
    HANDLE errorWrite = nullptr;
    if (!MakePipe(inputRead, inputWrite, true) || !MakePipe(outputRead, outputWrite, false) ||
        !MakePipe(errorRead, errorWrite, false)) {
        for (HANDLE* handle :
             {&inputRead, &inputWrite, &outputRead, &outputWrite, &errorRead, &errorWrite}) {
            CloseIfOpen(*handle);
        }
        return false;
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inputRead;
    startup.hStdOutput = outputWrite;
    startup.hStdError = errorWrite;
    PROCESS_INFORMATION information{};
    std::string commandLine = "\"" + program + "\" " + arguments;
    const BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &information);
    // The child holds its own ends now; ours would keep the pipes from ever reaching EOF.
    CloseIfOpen(inputRead);
    CloseIfOpen(outputWrite);
    CloseIfOpen(errorWrite);
    if (!started) {
        CloseIfOpen(inputWrite);
        CloseIfOpen(outputRead);
        CloseIfOpen(errorRead);
        return false;
    }
    CloseHandle(information.hThread);
    process_ = information.hProcess;
    input_ = inputWrite;
    outputReader_ = std::thread([this, outputRead] { ReadAll(outputRead, output_); });
    errorReader_ = std::thread([this, errorRead] { ReadAll(errorRead, errors_); });
    return true;
}

void ChildProcess::ReadAll(void* pipe, std::string& into) {
    char chunk[kReadChunk];
    DWORD count = 0;
    while (ReadFile(static_cast<HANDLE>(pipe), chunk, sizeof chunk, &count, nullptr) && count > 0) {
        const std::lock_guard lock(mutex_);
        into.append(chunk, count);
        changed_.notify_all();
    }
    CloseHandle(static_cast<HANDLE>(pipe));
}

bool ChildProcess::WaitForOutput(const std::string& text, std::uint32_t timeoutMs) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return output_.find(text) != std::string::npos; });
}

void ChildProcess::CloseInput() {
    HANDLE input = static_cast<HANDLE>(input_);
    CloseIfOpen(input);
    input_ = nullptr;
}

void ChildProcess::Kill() {
    if (process_ != nullptr) {
        TerminateProcess(static_cast<HANDLE>(process_), 1);
        WaitForSingleObject(static_cast<HANDLE>(process_), INFINITE);
    }
}

void ChildProcess::JoinReaders() {
    for (std::thread* reader : {&outputReader_, &errorReader_}) {
        if (reader->joinable()) {
            reader->join();
        }
    }
}

ChildResult ChildProcess::Finish(std::uint32_t timeoutMs) {
    ChildResult result;
    if (process_ == nullptr) {
        return result;
    }
    CloseInput();
    result.finished =
        WaitForSingleObject(static_cast<HANDLE>(process_), timeoutMs) == WAIT_OBJECT_0;
    if (!result.finished) {
        Kill();
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(static_cast<HANDLE>(process_), &exitCode);
    result.exitCode = exitCode;
    JoinReaders();
    const std::lock_guard lock(mutex_);
    result.output = output_;
    result.errors = errors_;
    return result;
}

ChildResult RunProgram(const std::string& program, const std::string& arguments,
                       std::uint32_t timeoutMs) {
    ChildProcess child;
    if (!child.Start(program, arguments)) {
        return {};
    }
    return child.Finish(timeoutMs);
}

}  // namespace troz::test
