#include "cli/terminal_window.h"

#include <cctype>
#include <utility>

namespace troz::cli {

namespace {

constexpr int kProgressBarWidth = 40;
constexpr std::size_t kAnswerLength = 16;

}  // namespace

TerminalWindow::TerminalWindow(TAtapi& atapi, std::string packagePath, int driveIndex,
                               bool askRestart, std::FILE* out, std::FILE* in, bool drawProgress)
    : atapi_(atapi),
      packagePath_(std::move(packagePath)),
      driveIndex_(driveIndex),
      askRestart_(askRestart),
      out_(out),
      in_(in),
      drawProgress_(drawProgress) {}

void TerminalWindow::ClearProgressLine() {
    if (progressShown_) {
        std::fprintf(out_, "\r%*s\r", kProgressBarWidth + 8, "");
        progressShown_ = false;
    }
}

void TerminalWindow::AddLogLine(const std::string& text) {
    ClearProgressLine();
    std::fprintf(out_, "%s\n", text.c_str());
    if (drawProgress_) {
        SetProgress(progress_);
    }
    std::fflush(out_);
}

void TerminalWindow::SetProgress(int percent) {
    progress_ = percent;
    if (!drawProgress_) {
        return;
    }
    const int filled = percent * kProgressBarWidth / 100;
    std::fprintf(out_, "\r[%.*s%*s] %3d%%", filled, "########################################",
                 kProgressBarWidth - filled, "", percent);
    progressShown_ = true;
    std::fflush(out_);
}

bool TerminalWindow::ChoosePackageFile() {
    chosenPath_ = packagePath_;
    return true;
}

std::string TerminalWindow::SelectedDriveText() {
    if (driveIndex_ < 0 || driveIndex_ >= atapi_.DriveCount()) {
        return {};
    }
    return DriveItemText(atapi_.Entry(driveIndex_));
}

bool TerminalWindow::AskRestart() {
    ClearProgressLine();
    if (!askRestart_ || in_ == nullptr) {
        std::fprintf(out_, "Reboot this computer right now ? no\n");
        return false;
    }
    std::fprintf(out_, "Reboot this computer right now ? [yes/No] ");
    std::fflush(out_);
    char answer[kAnswerLength] = {};
    if (std::fgets(answer, sizeof answer, in_) == nullptr) {
        std::fprintf(out_, "\n");
        return false;
    }
    std::string word(answer);
    while (!word.empty() && std::isspace(static_cast<unsigned char>(word.back()))) {
        word.pop_back();
    }
    // Only an explicit yes restarts the machine.
    return word == "y" || word == "Y" || word == "yes" || word == "YES" || word == "Yes";
}

}  // namespace troz::cli
