#include "tests/win32/window/window_driver.h"

#include <commctrl.h>

#include <thread>

#include "app/win32/control_ids.h"
#include "app/window_texts.h"

namespace troz::test {

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(20);
// The file name box of the common file dialog, and its OK button.
constexpr int kFileNameControlId = 1148;

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

std::wstring WideText(HWND window) {
    // WM_GETTEXT is carried across processes; the buffer stays in this one.
    const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
    const LRESULT copied = SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(text.size()),
                                        reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM into) {
    reinterpret_cast<std::vector<HWND>*>(into)->push_back(window);
    return TRUE;
}

// Children of every depth (the progress bar lies in the status bar).
std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&children));
    return children;
}

std::vector<HWND> AllTopLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& ready, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!ready()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

std::wstring Wide(const std::string& text) {
    std::wstring wide;
    for (const char c : text) {
        wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    return wide;
}

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (const wchar_t c : text) {
        narrow += c <= 0xFF ? static_cast<char>(c) : '?';
    }
    return narrow;
}

WindowProgram::~WindowProgram() {
    if (process_ != nullptr) {
        if (Running()) {
            TerminateProcess(process_, 1);
            WaitForSingleObject(process_, 5000);
        }
        CloseHandle(process_);
    }
}

bool WindowProgram::Start(const std::string& program) {
    std::wstring commandLine = L"\"" + Wide(program) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &info) == FALSE) {
        return false;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    processId_ = info.dwProcessId;
    return true;
}

bool WindowProgram::Running() const {
    return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool WindowProgram::WaitForExit(std::chrono::milliseconds timeout, std::uint32_t& exitCode) {
    if (process_ == nullptr ||
        WaitForSingleObject(process_, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
        return false;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    exitCode = code;
    return true;
}

bool WindowProgram::WaitForForm(std::chrono::milliseconds timeout) {
    return WaitUntil(
        [this] {
            const std::vector<HWND> forms =
                TopLevelWindows(win32::kFormClassName, Wide(kWindowCaption));
            form_ = forms.empty() ? nullptr : forms.front();
            return form_ != nullptr;
        },
        timeout);
}

HWND WindowProgram::Control(int id) const {
    for (HWND child : Children(form_)) {
        if (GetDlgCtrlID(child) == id) {
            return child;
        }
    }
    return nullptr;
}

std::string WindowProgram::Text(HWND window) const {
    return Narrow(WideText(window));
}

RECT WindowProgram::PlaceOf(HWND control) const {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, form_, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::vector<std::string> WindowProgram::DriveItems() const {
    HWND list = Control(win32::kSelDeviceId);
    std::vector<std::string> items;
    const LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        std::wstring text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
        SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<std::size_t>(length > 0 ? length : 0));
        items.push_back(Narrow(text));
    }
    return items;
}

int WindowProgram::SelectedDrive() const {
    return static_cast<int>(SendMessageW(Control(win32::kSelDeviceId), CB_GETCURSEL, 0, 0));
}

std::vector<std::string> WindowProgram::LogLines() const {
    HWND log = Control(win32::kListBox1Id);
    std::vector<std::string> lines;
    const LRESULT count = SendMessageW(log, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(log, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        std::wstring text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
        SendMessageW(log, LB_GETTEXT, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<std::size_t>(length > 0 ? length : 0));
        lines.push_back(Narrow(text));
    }
    return lines;
}

int WindowProgram::Progress() const {
    return static_cast<int>(SendMessageW(Control(win32::kProgressBar1Id), PBM_GETPOS, 0, 0));
}

void WindowProgram::PostClick(int id) const {
    PostMessageW(Control(id), BM_CLICK, 0, 0);
}

void WindowProgram::SendClick(int id) const {
    SendMessageW(Control(id), BM_CLICK, 0, 0);
}

std::vector<HWND> WindowProgram::TopLevelWindows(const std::wstring& className,
                                                 const std::wstring& caption) const {
    std::vector<HWND> found;
    for (HWND window : AllTopLevelWindows()) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId_ && IsWindowVisible(window) && ClassOf(window) == className &&
            (caption.empty() || WideText(window) == caption)) {
            found.push_back(window);
        }
    }
    return found;
}

HWND WindowProgram::WaitForWindow(const std::wstring& className, const std::wstring& caption,
                                  std::chrono::milliseconds timeout) const {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            const std::vector<HWND> windows = TopLevelWindows(className, caption);
            found = windows.empty() ? nullptr : windows.front();
            return found != nullptr;
        },
        timeout);
    return found;
}

std::string WindowProgram::DialogTexts(HWND dialog) const {
    std::string texts;
    for (HWND child : Children(dialog)) {
        if (ClassOf(child) == L"Static") {
            const std::string text = Text(child);
            if (!text.empty()) {
                texts += (texts.empty() ? "" : "\n") + text;
            }
        }
    }
    return texts;
}

bool WindowProgram::AnswerFileDialog(const std::string& path,
                                     std::chrono::milliseconds timeout) const {
    HWND dialog = nullptr;
    const bool shown = WaitUntil(
        [&] {
            for (HWND window : TopLevelWindows(L"#32770")) {
                if (GetDlgItem(window, kFileNameControlId) != nullptr) {
                    dialog = window;
                    return true;
                }
            }
            return false;
        },
        timeout);
    if (!shown) {
        return false;
    }
    const std::wstring name = Wide(path);
    SendMessageW(GetDlgItem(dialog, kFileNameControlId), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(name.c_str()));
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    return WaitUntil([&] { return IsWindow(dialog) == FALSE; }, timeout);
}

}  // namespace troz::test
