#include "app/win32/close_notice.h"

#include "app/win32/control_ids.h"
#include "app/win32/win32_text.h"
#include "app/window_texts.h"

namespace troz::win32 {

namespace {

constexpr DWORD kNoticeStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr int kClientWidth = 330;
constexpr int kClientHeight = 96;
constexpr int kMargin = 12;
constexpr int kIconExtent = 32;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;

HWND Child(const wchar_t* className, const wchar_t* text, DWORD style, int id, HWND parent,
           int left, int top, int width, int height) {
    HWND child = CreateWindowExW(
        0, className, text, WS_CHILD | WS_VISIBLE | style, left, top, width, height, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 FALSE);
    return child;
}

}  // namespace

CloseNotice::~CloseNotice() {
    Close();
}

void CloseNotice::Show(HWND owner, const std::string& text) {
    if (window_ != nullptr) {
        SetForegroundWindow(window_);
        return;
    }
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    if (GetClassInfoExW(instance, kCloseNoticeClassName, &windowClass) == FALSE) {
        windowClass = {};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = WindowProcedure;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = kCloseNoticeClassName;
        RegisterClassExW(&windowClass);
    }
    RECT frame{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&frame, kNoticeStyle, FALSE, WS_EX_DLGMODALFRAME);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    // Centred over the window it belongs to.
    RECT ownerRect{};
    GetWindowRect(owner, &ownerRect);
    const int left = (ownerRect.left + ownerRect.right - width) / 2;
    const int top = (ownerRect.top + ownerRect.bottom - height) / 2;
    window_ = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kCloseNoticeClassName,
                              FromLatin1(kApplicationTitle).c_str(), kNoticeStyle, left, top, width,
                              height, owner, nullptr, instance, this);
    if (window_ == nullptr) {
        return;
    }
    owner_ = owner;
    Child(WC_STATICW, nullptr, SS_ICON, 0, window_, kMargin, kMargin, kIconExtent, kIconExtent);
    SendMessageW(GetWindow(window_, GW_CHILD), STM_SETICON,
                 reinterpret_cast<WPARAM>(LoadIconW(nullptr, IDI_WARNING)), 0);
    const int textLeft = kMargin * 2 + kIconExtent;
    Child(WC_STATICW, FromAnsi(text).c_str(), SS_LEFT, kNoticeTextId, window_, textLeft, kMargin,
          kClientWidth - textLeft - kMargin, kIconExtent + kMargin);
    HWND ok = Child(WC_BUTTONW, L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, kNoticeOkId, window_,
                    (kClientWidth - kButtonWidth) / 2, kClientHeight - kMargin - kButtonHeight,
                    kButtonWidth, kButtonHeight);
    // The main window waits until the notice is read, as under a modal box.
    EnableWindow(owner_, FALSE);
    ShowWindow(window_, SW_SHOW);
    SetFocus(ok);
}

void CloseNotice::Close() {
    if (window_ == nullptr) {
        return;
    }
    // The owner first, so the activation goes back to it.
    EnableWindow(owner_, TRUE);
    HWND window = window_;
    window_ = nullptr;
    DestroyWindow(window);
}

LRESULT CALLBACK CloseNotice::WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* notice = reinterpret_cast<CloseNotice*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                if (notice != nullptr) {
                    notice->Close();
                }
            }
            return 0;
        case WM_CLOSE:
            if (notice != nullptr) {
                notice->Close();
            }
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace troz::win32
