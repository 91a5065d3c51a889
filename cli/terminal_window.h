// The window's side of an update on a terminal: log lines on standard output, a progress
// bar when standard output is a terminal, and the restart question asked on the terminal.
// The update session decides whether the question is asked at all.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <utility>

#include "drive/atapi.h"
#include "update/update_window.h"

namespace troz::cli {

class TerminalWindow final : public UpdateWindow {
public:
    // packagePath is what the "open dialog" confirms; driveIndex the selected drive.
    TerminalWindow(TAtapi& atapi, std::string packagePath, int driveIndex, std::FILE* out,
                   std::FILE* in, bool drawProgress);

    void AddLogLine(const std::string& text) override;
    void SetProgress(int percent) override;
    void SetProgressRange(int, int) override {}
    void SetDriveListEnabled(bool) override {}
    void SetStartEnabled(bool) override {}
    void SetExitEnabled(bool) override {}
    std::string PackageFileName() override { return chosenPath_; }
    bool ChoosePackageFile() override;
    std::string TargetProductText() override { return targetProduct_; }
    void SetTargetProductText(const std::string& text) override { targetProduct_ = text; }
    int SelectedDriveIndex() override { return driveIndex_; }
    std::string SelectedDriveText() override;
    void DispatchPendingEvents() override {}
    bool AskRestart() override;
    // The reason goes to standard error; standard output keeps the log's lines alone.
    void ShowFileError(const std::string& text) override;
    // The restart question answered no without asking: the log still shows it.
    void SayRestartNotAsked();
    // One line on notes (standard error) without breaking the progress bar's line.
    void Note(std::FILE* notes, const std::string& line);

    // Takes the progress bar off the last line, so whatever follows starts on a clean line.
    void Finish();
    // Called with each log line right after it is shown, before the progress bar returns.
    void ObserveLines(std::function<void(const std::string&)> observer) {
        observer_ = std::move(observer);
    }

private:
    void DrawProgress();
    void ClearProgressLine();

    TAtapi& atapi_;
    std::string packagePath_;
    std::string chosenPath_;
    std::string targetProduct_;
    int driveIndex_;
    std::FILE* out_;
    std::FILE* in_;
    bool drawProgress_;
    std::function<void(const std::string&)> observer_;
    // The bar appears with the first progress the update reports, and is redrawn below each
    // later log line until Finish.
    bool progressStarted_ = false;
    bool progressShown_ = false;
    int progress_ = 0;
};

// Reads one answer line from in, without its line break: at most a short line, so an
// endless input (a device that never ends, a line without end) cannot hold the program.
// False at the end of input with nothing read, and for a line longer than any answer (the
// rest of it is left unread): both mean no.
bool ReadAnswerLine(std::FILE* in, std::string& line);

// True for the one answer that takes the restart: "yes" in lower or upper case, with
// surrounding blanks. Anything else, "y" and an empty line included, is no.
bool IsExplicitYes(const std::string& answer);

}  // namespace troz::cli
