// A window that only passes the log lines on: for the package check on the command line,
// the fuzzer and the benchmarks, where nothing else of a window exists.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "update/update_window.h"

namespace troz {

class LineWindow final : public UpdateWindow {
public:
    explicit LineWindow(std::function<void(const std::string&)> onLine = {},
                        std::function<void(const std::string&)> onFileError = {})
        : onLine_(std::move(onLine)), onFileError_(std::move(onFileError)) {}

    void AddLogLine(const std::string& text) override {
        if (onLine_) {
            onLine_(text);
        }
    }
    void SetProgress(int) override {}
    void SetProgressRange(int, int) override {}
    void SetDriveListEnabled(bool) override {}
    void SetStartEnabled(bool) override {}
    void SetExitEnabled(bool) override {}
    std::string PackageFileName() override { return {}; }
    bool ChoosePackageFile() override { return false; }
    std::string TargetProductText() override { return {}; }
    void SetTargetProductText(const std::string&) override {}
    int SelectedDriveIndex() override { return -1; }
    std::string SelectedDriveText() override { return {}; }
    void DispatchPendingEvents() override {}
    bool AskRestart() override { return false; }
    void ShowFileError(const std::string& text) override {
        if (onFileError_) {
            onFileError_(text);
        }
    }

private:
    std::function<void(const std::string&)> onLine_;
    std::function<void(const std::string&)> onFileError_;
};

}  // namespace troz
