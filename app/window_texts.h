// The window program's own texts, the same in both windows (Qt on Linux, Win32 on Windows):
// the captions, the file filter, the restart question and the notices of a refused close.
#pragma once

#include <string>

namespace troz {

// The application's title: the task-bar entry and the caption of its boxes.
constexpr const char* kApplicationTitle = "TROZFlash";
// The main window's own caption.
constexpr const char* kWindowCaption = "TROZ Flash V1.0B5";
constexpr const char* kUnknownFailureText = "Unknown failure";

// Pairs of description and pattern, all separated by '|'.
constexpr const char* kPackageFileFilter = "TFS file(*.tfs)|*.tfs|All File (*.*)|*.*";

constexpr const char* kRestartQuestion = "Reboot this computer right now ?";
constexpr const char* kRestartCaption = "Warning";

constexpr const char* kCloseWhileProgramming =
    "The drive is being programmed. Wait until the update has finished before closing "
    "TROZ Flash.";
constexpr const char* kEndAfterProgramming =
    "The drive is being programmed. The update goes on until it has finished.";

// The failure's message, with a full stop added when the message is not empty and its last
// byte comes after '.' (so "...!" and "...)" stay as they are).
std::string FailureText(const std::string& message);

}  // namespace troz
