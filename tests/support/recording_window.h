// An update window that records what the update code shows, for assertions on exact lines.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "update/update_window.h"

namespace troz::test {

class RecordingWindow : public UpdateWindow {
public:
    void AddLogLine(const std::string& text) override { lines.push_back(text); }
    void SetProgress(int percent) override { progress.push_back(percent); }
    void SetProgressRange(int minimum, int maximum) override {
        rangeMinimum = minimum;
        rangeMaximum = maximum;
    }
    void SetDriveListEnabled(bool enabled) override { driveListEnabled = enabled; }
    void SetStartEnabled(bool enabled) override { startEnabled = enabled; }
    void SetExitEnabled(bool enabled) override { exitEnabled = enabled; }
    std::string PackageFileName() override { return packageFileName; }
    bool ChoosePackageFile() override {
        if (nextChoice.empty()) {
            return false;
        }
        packageFileName = nextChoice;
        return true;
    }
    std::string TargetProductText() override { return targetProductText; }
    void SetTargetProductText(const std::string& text) override { targetProductText = text; }
    int SelectedDriveIndex() override { return selectedDriveIndex; }
    std::string SelectedDriveText() override { return selectedDriveText; }
    void DispatchPendingEvents() override { ++dispatchCount; }
    bool AskRestart() override {
        ++restartQuestions;
        return restartAnswer;
    }
    void SetDriveBeingWritten(bool writing) override {
        if (onDriveBeingWritten) {
            onDriveBeingWritten(writing);
        }
    }

    void CommandSenseReported(std::uint8_t, const SenseBytes& sense) override {
        senses.push_back({sense.senseKey, sense.asc, sense.ascq});
    }

    std::vector<std::string> lines;
    // Key, ASC and ASCQ of each failed command's sense, as told beside its line.
    std::vector<std::array<int, 3>> senses;
    std::vector<int> progress;
    int rangeMinimum = 0;
    int rangeMaximum = 100;
    bool driveListEnabled = true;
    bool startEnabled = true;
    bool exitEnabled = true;
    std::string packageFileName;
    std::string nextChoice;  // what the open dialog confirms next; empty: the user cancels
    std::string targetProductText;
    int selectedDriveIndex = 0;
    std::string selectedDriveText;
    int dispatchCount = 0;
    int restartQuestions = 0;
    bool restartAnswer = false;
    std::function<void(bool)> onDriveBeingWritten;
};

}  // namespace troz::test
