#include "app/win32/tform1.h"

#include <array>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/form_layout.h"
#include "app/glyph_shapes.h"
#include "app/win32/control_ids.h"
#include "app/win32/win32_glyphs.h"
#include "app/win32/win32_text.h"
#include "app/window_texts.h"

namespace troz::win32 {

namespace {

constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kFormExtendedStyle = WS_EX_CONTROLPARENT;
constexpr int kDesignDpi = 96;
// The drop-down list of the drive list shows this many items before it scrolls.
constexpr int kDropDownItems = 8;
// The combo box's selection field is the item height and its frame.
constexpr int kSelectionFieldHeight = 15;
constexpr std::size_t kFileNameCapacity = 32768;

std::wstring Caption(const char* text) {
    return FromLatin1(text);
}

// "TFS file(*.tfs)|*.tfs|..." as the file dialog takes it: NUL-separated, ending in two.
std::wstring DialogFilter() {
    std::wstring filter = FromLatin1(kPackageFileFilter);
    for (wchar_t& character : filter) {
        if (character == L'|') {
            character = L'\0';
        }
    }
    filter += L'\0';
    return filter;
}

std::wstring WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

void DeliverMessage(MSG& message) {
    // Tab, the arrow keys and the Alt+letter accelerators move through the controls of
    // whichever of our windows the message is for.
    HWND root = message.hwnd != nullptr ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (root != nullptr && IsDialogMessageW(root, &message)) {
        return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

}  // namespace

bool DispatchOneMessage() {
    MSG message;
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        return false;
    }
    if (message.message == WM_QUIT) {
        // The loop that waits in GetMessage ends on it, not this one.
        PostQuitMessage(static_cast<int>(message.wParam));
        return false;
    }
    DeliverMessage(message);
    return true;
}

int RunMessageLoop() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DeliverMessage(message);
    }
    return 0;
}

void ShowFailure(const std::string& message) {
    MessageBoxW(nullptr, FromAnsi(FailureText(message)).c_str(), Caption(kApplicationTitle).c_str(),
                MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

TForm1::TForm1(TAtapi& atapi) : atapi_(atapi) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    HDC screen = GetDC(nullptr);
    dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    if (dpi_ <= 0) {
        dpi_ = kDesignDpi;
    }
    icon_ = MakeApplicationIcon();

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = icon_;
    windowClass.hIconSm = icon_;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kFormClassName;
    RegisterClassExW(&windowClass);

    RECT frame{0, 0, Scaled(kClientWidth), Scaled(kClientHeight)};
    AdjustWindowRectEx(&frame, kFormStyle, FALSE, kFormExtendedStyle);
    window_ = CreateWindowExW(kFormExtendedStyle, kFormClassName, L"", kFormStyle, kWindowLeft,
                              kWindowTop, frame.right - frame.left, frame.bottom - frame.top,
                              nullptr, nullptr, instance, this);
    if (window_ == nullptr) {
        throw std::runtime_error("The main window cannot be created (error " +
                                 std::to_string(GetLastError()) + ")");
    }

    LOGFONTW font{};
    font.lfHeight = -Scaled(kFontPixelHeight);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = ANSI_CHARSET;
    const std::wstring family = FromLatin1(kFontFamily);
    family.copy(font.lfFaceName, LF_FACESIZE - 1);
    font_ = CreateFontIndirectW(&font);

    CreateControls();
    ShowWindow(Edit2, SW_HIDE);
    FillDriveList();
    ShowSelectedDriveInStatusBar();
    ApplyStartEnablingRule();
}

TForm1::~TForm1() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
    for (HIMAGELIST& list : glyphs_) {
        if (list != nullptr) {
            ImageList_Destroy(list);
        }
    }
    if (font_ != nullptr) {
        DeleteObject(font_);
    }
    if (icon_ != nullptr) {
        DestroyIcon(icon_);
    }
}

int TForm1::Scaled(int pixels) const {
    return MulDiv(pixels, dpi_, kDesignDpi);
}

HWND TForm1::CreateControl(const wchar_t* className, const wchar_t* text, DWORD style,
                           DWORD extendedStyle, int id, HWND parent, int left, int top, int width,
                           int height) {
    HWND control = CreateWindowExW(extendedStyle, className, text, WS_CHILD | style, Scaled(left),
                                   Scaled(top), Scaled(width), Scaled(height), parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleW(nullptr), nullptr);
    if (control != nullptr && font_ != nullptr) {
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    }
    return control;
}

HWND TForm1::CreateGlyphButton(const char* caption, int id, int left, int top, int width,
                               int height, int glyph) {
    HWND button =
        CreateControl(WC_BUTTONW, Caption(caption).c_str(), WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                      0, id, window_, left, top, width, height);
    HIMAGELIST& list = glyphs_[glyph];
    list = MakeGlyphImageList(static_cast<Glyph>(glyph));
    BUTTON_IMAGELIST images{};
    images.himl = list;
    images.margin = {0, 0, 0, 0};
    images.uAlign = BUTTON_IMAGELIST_ALIGN_LEFT;
    SendMessageW(button, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&images));
    return button;
}

void TForm1::CreateControls() {
    // Created in tab order: the tab key follows creation. The group boxes hold no controls
    // of their own (they would not pass on their notifications): their controls lie over
    // them in the window, at the same places.
    const FormRect selDevice = Within(kGroupBox1Rect, kSelDeviceRect);
    SelDevice =
        CreateControl(WC_COMBOBOXW, L"", WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0,
                      kSelDeviceId, window_, selDevice.left, selDevice.top, selDevice.width,
                      selDevice.height + kDropDownItems * kItemHeight);
    SendMessageW(SelDevice, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1),
                 Scaled(kSelectionFieldHeight));
    SendMessageW(SelDevice, CB_SETITEMHEIGHT, 0, Scaled(kItemHeight));

    const FormRect edit1 = Within(kGroupBox2Rect, kEdit1Rect);
    Edit1 = CreateControl(WC_EDITW, L"", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL | ES_READONLY,
                          WS_EX_CLIENTEDGE, kEdit1Id, window_, edit1.left, edit1.top, edit1.width,
                          edit1.height);
    const FormRect bitBtn1 = Within(kGroupBox2Rect, kBitBtn1Rect);
    BitBtn1 = CreateGlyphButton(kBitBtn1Caption, kBitBtn1Id, bitBtn1.left, bitBtn1.top,
                                bitBtn1.width, bitBtn1.height, static_cast<int>(Glyph::Open));
    const FormRect edit2 = Within(kGroupBox2Rect, kEdit2Rect);
    Edit2 = CreateControl(WC_EDITW, L"", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
                          kEdit2Id, window_, edit2.left, edit2.top, edit2.width, edit2.height);

    ListBox1 =
        CreateControl(WC_LISTBOXW, L"", WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_NOINTEGRALHEIGHT,
                      WS_EX_CLIENTEDGE, kListBox1Id, window_, kListBox1Rect.left, kListBox1Rect.top,
                      kListBox1Rect.width, kListBox1Rect.height);
    SendMessageW(ListBox1, LB_SETITEMHEIGHT, 0, Scaled(kItemHeight));

    BitBtn2 =
        CreateGlyphButton(kBitBtn2Caption, kBitBtn2Id, kBitBtn2Rect.left, kBitBtn2Rect.top,
                          kBitBtn2Rect.width, kBitBtn2Rect.height, static_cast<int>(Glyph::Start));
    BitBtn3 =
        CreateGlyphButton(kBitBtn3Caption, kBitBtn3Id, kBitBtn3Rect.left, kBitBtn3Rect.top,
                          kBitBtn3Rect.width, kBitBtn3Rect.height, static_cast<int>(Glyph::Exit));
    // Invisible: nothing shows it.
    SpeedButton1 = CreateControl(WC_BUTTONW, L"", BS_PUSHBUTTON | BS_FLAT, 0, kSpeedButton1Id,
                                 window_, kSpeedButton1Rect.left, kSpeedButton1Rect.top,
                                 kSpeedButton1Rect.width, kSpeedButton1Rect.height);

    GroupBox1 =
        CreateControl(WC_BUTTONW, Caption(kGroupBox1Caption).c_str(), WS_VISIBLE | BS_GROUPBOX, 0,
                      kGroupBox1Id, window_, kGroupBox1Rect.left, kGroupBox1Rect.top,
                      kGroupBox1Rect.width, kGroupBox1Rect.height);
    GroupBox2 =
        CreateControl(WC_BUTTONW, Caption(kGroupBox2Caption).c_str(), WS_VISIBLE | BS_GROUPBOX, 0,
                      kGroupBox2Id, window_, kGroupBox2Rect.left, kGroupBox2Rect.top,
                      kGroupBox2Rect.width, kGroupBox2Rect.height);

    // Placed by us, not docked by the control: its place is fixed like every other one.
    StatusBar1 = CreateControl(STATUSCLASSNAMEW, L"",
                               WS_VISIBLE | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER, 0,
                               kStatusBar1Id, window_, kStatusBar1Rect.left, kStatusBar1Rect.top,
                               kStatusBar1Rect.width, kStatusBar1Rect.height);
    // One panel; as the last one it runs to the right end of the bar.
    std::array<int, 1> panels = {-1};
    SendMessageW(StatusBar1, SB_SETPARTS, panels.size(), reinterpret_cast<LPARAM>(panels.data()));
    ProgressBar1 = CreateControl(PROGRESS_CLASSW, L"", WS_VISIBLE | PBS_SMOOTH, 0, kProgressBar1Id,
                                 StatusBar1, kProgressBar1Rect.left, kProgressBar1Rect.top,
                                 kProgressBar1Rect.width, kProgressBar1Rect.height);
    SendMessageW(ProgressBar1, PBM_SETRANGE32, kProgressMinimum, kProgressMaximum);
    SendMessageW(ProgressBar1, PBM_SETPOS, kProgressMinimum, 0);

    // The group boxes are drawn beneath the controls that lie over them.
    for (HWND box : {GroupBox1, GroupBox2}) {
        SetWindowPos(box, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

void TForm1::FillDriveList() {
    for (int i = 0; i < atapi_.DriveCount(); ++i) {
        // One character per byte, so the text gives back the very bytes the drive reported.
        const std::wstring text = FromLatin1(DriveItemText(atapi_.Entry(i)));
        SendMessageW(SelDevice, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    // Entry 0 is already the current target: selecting item 0 here sends nothing, and a
    // selection made by the program raises no change notification.
    SendMessageW(SelDevice, CB_SETCURSEL, atapi_.DriveCount() > 0 ? 0 : static_cast<WPARAM>(-1), 0);
}

std::wstring TForm1::SelectedItemText() const {
    const LRESULT index = SendMessageW(SelDevice, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) {
        return {};
    }
    const LRESULT length = SendMessageW(SelDevice, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(SelDevice, CB_GETLBTEXT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

void TForm1::ShowSelectedDriveInStatusBar() {
    const std::wstring text = SelectedItemText();
    SendMessageW(StatusBar1, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void TForm1::ApplyStartEnablingRule() {
    if (SelectedItemText().empty()) {
        EnableWindow(BitBtn2, FALSE);
    }
}

void TForm1::FormCreate() {
    SetWindowTextW(window_, Caption(kWindowCaption).c_str());
}

void TForm1::Show(int showCommand) {
    ShowWindow(window_, showCommand);
    ::UpdateWindow(window_);
}

void TForm1::SelDeviceChange(int index) {
    if (index < 0) {
        return;
    }
    atapi_.SelectDevice(index);
    ShowSelectedDriveInStatusBar();
    ApplyStartEnablingRule();
}

void TForm1::BitBtn1Click() {
    RunHandler(openHandler_);
}

void TForm1::BitBtn2Click() {
    RunHandler(startHandler_);
}

void TForm1::BitBtn3Click() {
    RequestClose();
}

void TForm1::RunHandler(const std::function<void()>& handler) {
    if (!handler) {
        return;
    }
    ++handlersRunning_;
    try {
        handler();
    } catch (const std::exception& failure) {
        ShowFailure(failure.what());
    } catch (...) {
        ShowFailure(kUnknownFailureText);
    }
    --handlersRunning_;
    if (handlersRunning_ == 0 && closePending_ && window_ != nullptr) {
        closePending_ = false;
        DestroyWindow(window_);
    }
}

void TForm1::RequestClose() {
    if (mayClose_ && !mayClose_()) {
        return;
    }
    if (handlersRunning_ > 0) {
        // A handler further down this thread's stack still works with the controls (the
        // close came through a message it dispatched): the window goes once it returns.
        ShowWindow(window_, SW_HIDE);
        closePending_ = true;
        return;
    }
    DestroyWindow(window_);
}

void TForm1::HandleCommand(int id, int code) {
    switch (id) {
        case kSelDeviceId:
            if (code == CBN_SELCHANGE) {
                SelDeviceChange(static_cast<int>(SendMessageW(SelDevice, CB_GETCURSEL, 0, 0)));
            }
            break;
        case kBitBtn1Id:
            if (code == BN_CLICKED) {
                BitBtn1Click();
            }
            break;
        case kBitBtn2Id:
            if (code == BN_CLICKED) {
                BitBtn2Click();
            }
            break;
        case kBitBtn3Id:
            if (code == BN_CLICKED) {
                BitBtn3Click();
            }
            break;
        default:
            break;
    }
}

LRESULT CALLBACK TForm1::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* form = static_cast<TForm1*>(creation->lpCreateParams);
        form->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<TForm1*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    // Nothing of ours may unwind through the system's frames.
    try {
        return form->HandleMessage(message, wParam, lParam);
    } catch (const std::exception& failure) {
        ShowFailure(failure.what());
    } catch (...) {
        ShowFailure(kUnknownFailureText);
    }
    return 0;
}

LRESULT TForm1::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (lParam != 0) {
                HandleCommand(LOWORD(wParam), HIWORD(wParam));
            }
            return 0;
        case WM_CLOSE:
            RequestClose();
            return 0;
        case WM_QUERYENDSESSION:
            return (!mayEndSession_ || mayEndSession_()) ? TRUE : FALSE;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY: {
            const LRESULT result = DefWindowProcW(window_, message, wParam, lParam);
            SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
            window_ = nullptr;
            return result;
        }
        default:
            return DefWindowProcW(window_, message, wParam, lParam);
    }
}

void TForm1::Repaint(HWND control) {
    ::UpdateWindow(control);
}

void TForm1::AddLogLine(const std::string& text) {
    const std::wstring line = FromAnsi(text);
    const LRESULT index =
        SendMessageW(ListBox1, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    if (index >= 0) {
        // Selecting the new last line scrolls it into view.
        SendMessageW(ListBox1, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    Repaint(ListBox1);
}

void TForm1::SetProgress(int percent) {
    SendMessageW(ProgressBar1, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
    Repaint(ProgressBar1);
}

void TForm1::SetProgressRange(int minimum, int maximum) {
    SendMessageW(ProgressBar1, PBM_SETRANGE32, static_cast<WPARAM>(minimum), maximum);
}

void TForm1::SetDriveListEnabled(bool enabled) {
    EnableWindow(SelDevice, enabled ? TRUE : FALSE);
    Repaint(SelDevice);
}

void TForm1::SetStartEnabled(bool enabled) {
    EnableWindow(BitBtn2, enabled ? TRUE : FALSE);
    Repaint(BitBtn2);
}

void TForm1::SetExitEnabled(bool enabled) {
    EnableWindow(BitBtn3, enabled ? TRUE : FALSE);
    Repaint(BitBtn3);
}

std::string TForm1::PackageFileName() {
    if (openDialogFileName_.empty()) {
        return {};
    }
    std::string path = AnsiPath(openDialogFileName_);
    // A name the file calls cannot take still names a file: opening it fails and says so.
    return path.empty() ? ToAnsi(openDialogFileName_) : path;
}

bool TForm1::ChoosePackageFile() {
    const std::wstring filter = DialogFilter();
    std::vector<wchar_t> fileName(kFileNameCapacity, L'\0');
    openDialogFileName_.copy(fileName.data(), fileName.size() - 1);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = window_;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = fileName.data();
    dialog.nMaxFile = static_cast<DWORD>(fileName.size());
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING;
    if (GetOpenFileNameW(&dialog) == FALSE) {
        return false;
    }
    openDialogFileName_ = fileName.data();
    return true;
}

std::string TForm1::TargetProductText() {
    return ToLatin1(WindowText(Edit1));
}

void TForm1::SetTargetProductText(const std::string& text) {
    SetWindowTextW(Edit1, FromLatin1(text).c_str());
}

int TForm1::SelectedDriveIndex() {
    return static_cast<int>(SendMessageW(SelDevice, CB_GETCURSEL, 0, 0));
}

std::string TForm1::SelectedDriveText() {
    return ToLatin1(SelectedItemText());
}

void TForm1::DispatchPendingEvents() {
    while (DispatchOneMessage()) {
    }
}

bool TForm1::AskRestart() {
    // No owner window, above everything else, answered before anything goes on.
    return MessageBoxW(nullptr, Caption(kRestartQuestion).c_str(), Caption(kRestartCaption).c_str(),
                       MB_OKCANCEL | MB_ICONWARNING | MB_SYSTEMMODAL) == IDOK;
}

}  // namespace troz::win32
