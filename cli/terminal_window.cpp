#include "cli/terminal_window.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <utility>

#include "drive/text_field.h"
#include "os/user_files.h"

namespace troz::cli {

namespace {

constexpr int kProgressBarWidth = 40;
// "[" bar "] " and "100%".
constexpr int kProgressLineWidth = kProgressBarWidth + 7;
constexpr int kProgressMaximum = 100;
// No answer is longer than this; a line that is, is no answer at all.
constexpr std::size_t kAnswerMaximumLength = 64;
constexpr const char* kRestartQuestion = "Reboot this computer right now ?";

}  // namespace

bool ReadAnswerLine(std::FILE* in, std::string& line) {
    line.clear();
    for (;;) {
        const int c = std::getc(in);
        if (c == EOF) {
            return !line.empty();
        }
        if (c == '\n') {
            return true;
        }
        if (line.size() == kAnswerMaximumLength) {
            line.clear();
            return false;
        }
        line += static_cast<char>(c);
    }
}

bool IsExplicitYes(const std::string& answer) {
    std::string word = TrimmedField(answer);
    std::transform(word.begin(), word.end(), word.begin(), [](char c) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
    // A lone "y" is no: `yes | trozflash-cli flash ...` answers every question with one, and
    // must not restart the machine.
    return word == "yes";
}

TerminalWindow::TerminalWindow(TAtapi& atapi, std::string packagePath, int driveIndex,
                               std::FILE* out, std::FILE* in, bool drawProgress)
    : atapi_(atapi),
      packagePath_(std::move(packagePath)),
      driveIndex_(driveIndex),
      out_(out),
      in_(in),
      drawProgress_(drawProgress) {}

void TerminalWindow::ClearProgressLine() {
    if (progressShown_) {
        std::fprintf(out_, "\r%*s\r", kProgressLineWidth, "");
        progressShown_ = false;
    }
}

void TerminalWindow::DrawProgress() {
    const int filled = progress_ * kProgressBarWidth / kProgressMaximum;
    std::fprintf(out_, "\r[%s%s] %3d%%", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                 std::string(static_cast<std::size_t>(kProgressBarWidth - filled), ' ').c_str(),
                 progress_);
    progressShown_ = true;
}

void TerminalWindow::AddLogLine(const std::string& text) {
    ClearProgressLine();
    std::fprintf(out_, "%s\n", text.c_str());
    if (observer_) {
        std::fflush(out_);
        observer_(text);
    }
    if (drawProgress_ && progressStarted_) {
        DrawProgress();
    }
    std::fflush(out_);
}

void TerminalWindow::SetProgress(int percent) {
    progress_ = std::clamp(percent, 0, kProgressMaximum);
    progressStarted_ = true;
    if (drawProgress_) {
        DrawProgress();
        std::fflush(out_);
    }
}

void TerminalWindow::Finish() {
    progressStarted_ = false;
    ClearProgressLine();
    std::fflush(out_);
}

void TerminalWindow::Note(std::FILE* notes, const std::string& line) {
    ClearProgressLine();
    std::fflush(out_);
    std::fprintf(notes, "%s\n", line.c_str());
    std::fflush(notes);
    if (drawProgress_ && progressStarted_) {
        DrawProgress();
        std::fflush(out_);
    }
}

void TerminalWindow::ShowFileError(const std::string& text) {
    ClearProgressLine();
    std::fprintf(stderr, "trozflash-cli: %s\n", text.c_str());
    std::fflush(stderr);
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

void TerminalWindow::SayRestartNotAsked() {
    Finish();
    std::fprintf(out_, "%s no\n", kRestartQuestion);
    std::fflush(out_);
}

bool TerminalWindow::AskRestart() {
    Finish();
    if (in_ == nullptr) {
        SayRestartNotAsked();
        return false;
    }
    std::fprintf(out_, "%s [yes/No] ", kRestartQuestion);
    std::fflush(out_);
    std::string answer;
    if (!ReadAnswerLine(in_, answer)) {
        // End of input, or no answer: the answer line the user never typed.
        std::fprintf(out_, "\n");
        std::fflush(out_);
        return false;
    }
    if (isatty(fileno(in_)) == 0) {
        // Nobody typed it, so the terminal did not echo it: the log still shows the answer.
        std::fprintf(out_, "%s\n", PrintableName(answer).c_str());
        std::fflush(out_);
    }
    // Only an explicit yes restarts the machine.
    return IsExplicitYes(answer);
}

}  // namespace troz::cli
