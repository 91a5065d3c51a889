// The main window's layout, the same for both windows (Qt on Linux, Win32 on Windows): the
// client size, where the window opens, and every control's place, in pixels at 96 dots per
// inch relative to its parent's client area. Captions of the controls are here too.
#pragma once

namespace troz {

struct FormRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

constexpr int kClientWidth = 267;
constexpr int kClientHeight = 292;
constexpr int kWindowLeft = 400;
constexpr int kWindowTop = 166;

// "MS Sans Serif" 8 pt is 11 pixels high at 96 dots per inch. Where that font is missing the
// system substitutes a sans font of the same pixel height, so every caption keeps fitting.
constexpr const char* kFontFamily = "MS Sans Serif";
constexpr int kFontPixelHeight = 11;
constexpr int kItemHeight = 13;

// Parent: the window.
constexpr FormRect kGroupBox1Rect{4, -1, 261, 65};
constexpr FormRect kGroupBox2Rect{4, 71, 261, 81};
constexpr FormRect kBitBtn2Rect{33, 160, 75, 25};
constexpr FormRect kSpeedButton1Rect{121, 160, 23, 22};
constexpr FormRect kBitBtn3Rect{161, 160, 75, 25};
constexpr FormRect kListBox1Rect{0, 190, 267, 83};
constexpr FormRect kStatusBar1Rect{0, 273, 267, 19};
// Parent: GroupBox1.
constexpr FormRect kSelDeviceRect{30, 25, 201, 21};
// Parent: GroupBox2.
constexpr FormRect kEdit1Rect{31, 16, 201, 21};
constexpr FormRect kBitBtn1Rect{86, 48, 75, 25};
constexpr FormRect kEdit2Rect{16, 48, 49, 21};
// Parent: StatusBar1. It covers the right part of panel 0.
constexpr FormRect kProgressBar1Rect{169, 2, 97, 17};
// Panel 0 is the only panel, so it runs to the right end of the bar.
constexpr FormRect kStatusPanelRect{0, 2, 267, 17};
constexpr int kStatusPanelWidth = 50;

constexpr int kProgressMinimum = 0;
constexpr int kProgressMaximum = 100;

// A child's place in the client area of its parent's parent: a control inside a group box,
// for a toolkit whose group boxes cannot hold controls of their own.
constexpr FormRect Within(const FormRect& parent, const FormRect& child) {
    return {parent.left + child.left, parent.top + child.top, child.width, child.height};
}

constexpr const char* kGroupBox1Caption = "Select Source : ";
constexpr const char* kGroupBox2Caption = "Select File : ";
constexpr const char* kBitBtn1Caption = "&Open";
constexpr const char* kBitBtn2Caption = "&Start";
constexpr const char* kBitBtn3Caption = "&Exit";

}  // namespace troz
