// The names by which the Win32 window and its controls are found: the window class, and one
// control id per control. The window's tests drive it by these.
#pragma once

namespace troz::win32 {

constexpr const wchar_t* kFormClassName = L"TForm1";
constexpr const wchar_t* kCloseNoticeClassName = L"TROZFlashNotice";

// Ids start above the dialog manager's own (IDOK 1, IDCANCEL 2, ...), which Enter and Esc
// send to the window.
enum ControlId : int {
    kGroupBox1Id = 101,
    kSelDeviceId,
    kGroupBox2Id,
    kEdit1Id,
    kBitBtn1Id,
    kEdit2Id,
    kBitBtn2Id,
    kSpeedButton1Id,
    kBitBtn3Id,
    kListBox1Id,
    kStatusBar1Id,
    kProgressBar1Id,
};

// The notice's text and its OK button.
constexpr int kNoticeTextId = 201;
constexpr int kNoticeOkId = 1;

}  // namespace troz::win32
