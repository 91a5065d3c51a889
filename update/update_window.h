// The update window: the window's side of an update. The Qt window implements it; so do the command
// line front end and the tests. The update code reports and asks only through it.
#pragma once

#include <cstdint>
#include <string>

#include "drive/scsi.h"

namespace troz {

class UpdateWindow {
public:
    virtual ~UpdateWindow() = default;

    // Appends one line to the message log, shows it at once (even while the caller keeps
    // the thread busy) and selects it as the new last line.
    virtual void AddLogLine(const std::string& text) = 0;
    // Sets the progress bar to a percentage from 0 to 100.
    virtual void SetProgress(int percent) = 0;
    // Sets the progress bar's range (the flash driver sets 0..100 again before it starts).
    virtual void SetProgressRange(int minimum, int maximum) = 0;

    // Enabling of the controls that Start disables and enables again. Disabling the drive
    // list repaints it at once, so it shows as disabled before the long work begins.
    virtual void SetDriveListEnabled(bool enabled) = 0;
    virtual void SetStartEnabled(bool enabled) = 0;
    virtual void SetExitEnabled(bool enabled) = 0;

    // The package file name the open dialog holds: empty until the user confirms a file.
    virtual std::string PackageFileName() = 0;
    // Runs the open dialog. On confirmation the dialog holds the new name and true is
    // returned; on cancel nothing changes and false is returned.
    virtual bool ChoosePackageFile() = 0;

    // The read-only box that shows the target product string of the opened package.
    virtual std::string TargetProductText() = 0;
    virtual void SetTargetProductText(const std::string& text) = 0;

    // The drive list: the selected item's index (-1 with no selection) and text.
    virtual int SelectedDriveIndex() = 0;
    virtual std::string SelectedDriveText() = 0;

    // Dispatches every window event that is waiting, then returns. The completion wait of
    // the direct procedure calls it between polls so the window stays responsive for two
    // minutes. It is the update code's hook; DrivePlatform::PumpOneMessage is the drive
    // layer's, taking one system message while the ASPI scan waits. Both let the event loop
    // run; they stay apart because the drive layer knows no window.
    virtual void DispatchPendingEvents() = 0;

    // Why a package file could not be opened or read (its name and the system's reason),
    // told after the log's own fixed line. Front ends with room for more than that line
    // show it; the command line prints it on standard error.
    virtual void ShowFileError(const std::string& /*text*/) {}

    // Asks "Reboot this computer right now ?" (caption "Warning", OK and Cancel, system
    // modal). True only when the user answered OK.
    virtual bool AskRestart() = 0;

    // True from the first command that carries firmware (or starts the programming) until
    // the completion wait ends or the procedure gives up; false once after that. Whatever
    // would cut the write short (a signal, a logout, the machine going to sleep, another
    // copy of the tool) is held off meanwhile.
    virtual void SetDriveBeingWritten(bool /*writing*/) {}

    // A command of the flash failed with this sense (status is the command's status byte):
    // told right after the log line that shows it in hexadecimal, so a front end can say it
    // in words without reading the line back.
    virtual void CommandSenseReported(std::uint8_t /*status*/, const SenseBytes& /*sense*/) {}
};

}  // namespace troz
