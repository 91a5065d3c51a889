// TForm1 on Windows: the one main window, written against the Win32 API and the common
// controls. It lists the drives of the drive context, lets the user pick the drive to work
// on, and carries the message log and the progress bar that every step of an update reports
// through. Open and Start hand over to the package and update code. Layout, texts and
// pictures are the ones the Qt window shows (app/form_layout.h, app/window_texts.h,
// app/glyph_shapes.h).
#pragma once

#include <functional>
#include <string>

#include "app/win32/win32_window_api.h"
#include "drive/atapi.h"
#include "update/update_window.h"

namespace troz::win32 {

class TForm1 final : public UpdateWindow {
public:
    // Creates the window (not yet shown) and its controls, and fills the drive list from the
    // device table of atapi, in table order, with item 0 selected.
    explicit TForm1(TAtapi& atapi);
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    // The creation event, right after construction.
    void FormCreate();
    void Show(int showCommand);
    HWND Handle() const { return window_; }
    // Whether the window still exists: it is gone once it has closed.
    bool IsOpen() const { return window_ != nullptr; }

    // Event handlers.
    void SelDeviceChange(int index);
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();

    // Where the package and update code take over Open and Start.
    void SetOpenHandler(std::function<void()> handler) { openHandler_ = std::move(handler); }
    void SetStartHandler(std::function<void()> handler) { startHandler_ = std::move(handler); }
    // Asked before the window closes (Exit or the close command) and when the system asks
    // whether the session may end; false keeps the window open, or refuses the ending.
    void SetMayClose(std::function<bool()> mayClose) { mayClose_ = std::move(mayClose); }
    void SetMayEndSession(std::function<bool()> mayEnd) { mayEndSession_ = std::move(mayEnd); }

    // The window's side of an update.
    void AddLogLine(const std::string& text) override;
    void SetProgress(int percent) override;
    void SetProgressRange(int minimum, int maximum) override;
    void SetDriveListEnabled(bool enabled) override;
    void SetStartEnabled(bool enabled) override;
    void SetExitEnabled(bool enabled) override;
    std::string PackageFileName() override;
    bool ChoosePackageFile() override;
    std::string TargetProductText() override;
    void SetTargetProductText(const std::string& text) override;
    int SelectedDriveIndex() override;
    std::string SelectedDriveText() override;
    void DispatchPendingEvents() override;
    bool AskRestart() override;

private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void HandleCommand(int id, int code);
    void RequestClose();
    // Runs one of our handlers: a failure in it is shown in the failure box, and a close
    // asked for meanwhile takes effect once it has returned.
    void RunHandler(const std::function<void()>& handler);

    void CreateControls();
    HWND CreateControl(const wchar_t* className, const wchar_t* text, DWORD style,
                       DWORD extendedStyle, int id, HWND parent, int left, int top, int width,
                       int height);
    HWND CreateGlyphButton(const char* caption, int id, int left, int top, int width, int height,
                           int glyph);
    void FillDriveList();
    std::wstring SelectedItemText() const;
    void ShowSelectedDriveInStatusBar();
    void ApplyStartEnablingRule();
    int Scaled(int pixels) const;
    static void Repaint(HWND control);

    TAtapi& atapi_;
    HWND window_ = nullptr;
    int dpi_ = 96;
    HFONT font_ = nullptr;
    HICON icon_ = nullptr;
    HIMAGELIST glyphs_[3] = {nullptr, nullptr, nullptr};

    // The window's controls.
    HWND StatusBar1 = nullptr;
    HWND GroupBox1 = nullptr;
    HWND SelDevice = nullptr;
    HWND GroupBox2 = nullptr;
    HWND Edit1 = nullptr;
    HWND BitBtn1 = nullptr;
    HWND ListBox1 = nullptr;
    HWND BitBtn2 = nullptr;
    HWND BitBtn3 = nullptr;
    HWND ProgressBar1 = nullptr;
    HWND SpeedButton1 = nullptr;
    HWND Edit2 = nullptr;
    // OpenDialog1: its file name, empty until the user confirms a file.
    std::wstring openDialogFileName_;

    int handlersRunning_ = 0;
    bool closePending_ = false;

    std::function<void()> openHandler_;
    std::function<void()> startHandler_;
    std::function<bool()> mayClose_;
    std::function<bool()> mayEndSession_;
};

// Takes one waiting message off the queue and delivers it (keyboard navigation included);
// false when none was waiting. A WM_QUIT stays for the message loop to end on.
bool DispatchOneMessage();
// Delivers messages until WM_QUIT; returns 0.
int RunMessageLoop();
// Shows a failure the way the window does: the message with its full stop, the application
// title as the caption, one OK button and the error icon.
void ShowFailure(const std::string& message);

}  // namespace troz::win32
