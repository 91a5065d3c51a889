// Drives trozflash.exe from outside, as a user would, by window messages only: it starts the
// program, finds its window and controls, reads them (texts, items, enabling, progress) and
// clicks them, and answers the file dialog and the message boxes the program shows.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace troz::test {

// Waits until ready() holds, checking every few milliseconds; false after timeout.
bool WaitUntil(const std::function<bool()>& ready, std::chrono::milliseconds timeout);

std::wstring Wide(const std::string& text);
std::string Narrow(const std::wstring& text);

class WindowProgram {
public:
    WindowProgram() = default;
    // Ends the program if it still runs.
    ~WindowProgram();
    WindowProgram(const WindowProgram&) = delete;
    WindowProgram& operator=(const WindowProgram&) = delete;

    // Starts the program (a Windows path) with this process's environment.
    bool Start(const std::string& program);
    // Waits for the main window; false when it did not come within the timeout.
    bool WaitForForm(std::chrono::milliseconds timeout);
    // Waits for the program's end: its exit code, or nothing when it still runs.
    bool WaitForExit(std::chrono::milliseconds timeout, std::uint32_t& exitCode);
    bool Running() const;
    std::uint32_t ProcessId() const { return processId_; }

    HWND Form() const { return form_; }
    // A control of the main window by its id (the progress bar lies in the status bar).
    HWND Control(int id) const;
    std::string Text(HWND window) const;
    std::string ControlText(int id) const { return Text(Control(id)); }
    bool Enabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }
    bool Visible(int id) const { return IsWindowVisible(Control(id)) != FALSE; }
    // A control's place in the main window's client area.
    RECT PlaceOf(HWND control) const;

    std::vector<std::string> DriveItems() const;
    int SelectedDrive() const;
    std::vector<std::string> LogLines() const;
    int Progress() const;

    // A click posted (when it opens a modal dialog, the click must not wait for it) or sent.
    void PostClick(int id) const;
    void SendClick(int id) const;

    // The program's top-level windows of a class ("#32770" for dialogs and message boxes)
    // and caption (empty: any), visible ones only.
    std::vector<HWND> TopLevelWindows(const std::wstring& className,
                                      const std::wstring& caption = {}) const;
    // Waits for one of them; null after the timeout.
    HWND WaitForWindow(const std::wstring& className, const std::wstring& caption,
                       std::chrono::milliseconds timeout) const;
    // All texts of the static controls of a dialog or box, joined by line breaks.
    std::string DialogTexts(HWND dialog) const;

    // The Open dialog: types path into the file name and presses OK.
    bool AnswerFileDialog(const std::string& path, std::chrono::milliseconds timeout) const;

private:
    HANDLE process_ = nullptr;
    std::uint32_t processId_ = 0;
    HWND form_ = nullptr;
};

}  // namespace troz::test
