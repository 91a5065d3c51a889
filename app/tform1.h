// TForm1: the one main window. It lists the drives of the drive context, lets the user pick
// the drive to work on, and carries the message log and the progress bar that every step
// of an update reports through. Open and Start hand over to the package and update code.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <string>

#include "app/window_texts.h"
#include "drive/atapi.h"
#include "update/update_window.h"

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace troz {

class TOpenDialog;

class TForm1 final : public QWidget, public UpdateWindow {
    Q_OBJECT
public:
    // Creates the controls and fills the drive list from the device table of atapi, in
    // table order, with item 0 selected.
    explicit TForm1(TAtapi& atapi);

    // The creation event, right after construction.
    void FormCreate();

    // Event handlers.
    void SelDeviceChange(int index);
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();

    // Where the package and update code take over Open and Start.
    void SetOpenHandler(std::function<void()> handler) { openHandler_ = std::move(handler); }
    void SetStartHandler(std::function<void()> handler) { startHandler_ = std::move(handler); }
    // Asked before the window closes (Exit or the close box); false keeps the window open.
    void SetMayClose(std::function<bool()> mayClose) { mayClose_ = std::move(mayClose); }
    // Replaces the restart question, for tests.
    void SetRestartQuestion(std::function<bool()> question) {
        restartQuestion_ = std::move(question);
    }
    TOpenDialog& OpenDialog() { return *OpenDialog1; }

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

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    void CreateSourceGroup();
    void CreateFileGroup();
    void CreateButtons();
    void CreateLogAndStatusBar();
    void SetTabOrder();
    void FillDriveList();
    void ShowSelectedDriveInStatusBar();
    void ApplyStartEnablingRule();

    TAtapi& atapi_;

    // The window's controls.
    QFrame* StatusBar1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QComboBox* SelDevice = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QListWidget* ListBox1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QPushButton* BitBtn3 = nullptr;
    TOpenDialog* OpenDialog1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    // Panel 0 of StatusBar1.
    QLabel* statusPanel_ = nullptr;

    std::function<void()> openHandler_;
    std::function<void()> startHandler_;
    std::function<bool()> mayClose_;
    std::function<bool()> restartQuestion_;
};

}  // namespace troz
