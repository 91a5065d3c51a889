// trozflash.exe under wine, driven from outside by window messages as a user would drive it:
// start-up on the virtual drives of both transports, the layout, Open through the common file
// dialog, a whole Start to "Ok:Flash Complete!!" with its progress and enabling steps and the
// restart question answered no, the close refused while the drive is programmed, a second
// copy, and packages Start refuses. The flash runs on the real clock (about 6 s).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "app/form_layout.h"
#include "app/win32/control_ids.h"
#include "app/window_texts.h"
#include "tests/win32/child_process.h"
#include "tests/win32/window/window_driver.h"
#include "update/update_workflow.h"
#include "update/validate_package.h"

namespace troz::test {
namespace {

using namespace std::chrono_literals;
using namespace troz::win32;

constexpr auto kStartUpTimeout = 60s;
constexpr auto kStepTimeout = 30s;
constexpr auto kFlashTimeout = 90s;

const std::vector<std::string> kVirtualDriveItems = {
    "TROZ    KVW-A100A        1.00",
    "TROZ    KVW-B200A        2.00",
    "ACME    CDRW-5200        3.10",
};
// What the Open step shows of the demo package for the KVW-A100A: the drive it makes.
constexpr const char* kDemoTargetProduct = "TROZ    KVW-A100A       1.10";

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Under wine a window needs an X server: without one the program would hang until the
// test's time-out. On Windows itself there is always a desktop.
bool WithoutDesktop() {
    const bool underWine =
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return underWine && (display == nullptr || *display == '\0') &&
           (wayland == nullptr || *wayland == '\0');
}

class TrozflashWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (WithoutDesktop()) {
            GTEST_SKIP() << "no X server for wine's windows (run under xvfb-run)";
        }
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = test->name();
        std::replace(name.begin(), name.end(), '/', '_');
        directory_ = std::filesystem::path(WindowsPath(TROZ_WINDOW_TEST_RUNS)) / name;
        std::filesystem::remove_all(directory_);
        std::filesystem::create_directories(directory_);
        // Each test starts from the drives' factory state.
        stateHome_ = (directory_ / "state").string();
    }

    // Starts the window on a drive source and waits for it.
    void StartWindow(WindowProgram& program, const char* drives = "virtual") {
        const ScopedEnvironment environment(
            {{"TROZFLASH_DRIVES", drives}, {"XDG_STATE_HOME", stateHome_.c_str()}});
        ASSERT_TRUE(program.Start(WindowsPath(TROZ_WINDOW_PROGRAM)));
        ASSERT_TRUE(program.WaitForForm(kStartUpTimeout)) << "no main window";
    }

    void Open(WindowProgram& program, const std::string& package) {
        program.PostClick(kBitBtn1Id);
        ASSERT_TRUE(program.AnswerFileDialog(package, kStepTimeout)) << "no file dialog";
    }

    // Waits for the restart question and answers it with Cancel.
    void AnswerRestartNo(WindowProgram& program) {
        HWND box = program.WaitForWindow(L"#32770", Wide(kRestartCaption), kFlashTimeout);
        ASSERT_NE(box, nullptr) << "no restart question";
        EXPECT_NE(program.DialogTexts(box).find(kRestartQuestion), std::string::npos);
        EXPECT_NE(GetWindowLongPtrW(box, GWL_EXSTYLE) & WS_EX_TOPMOST, 0)
            << "the question is not above everything else";
        PostMessageW(GetDlgItem(box, IDCANCEL), BM_CLICK, 0, 0);
        ASSERT_TRUE(WaitUntil([&] { return IsWindow(box) == FALSE; }, kStepTimeout));
    }

    void ExpectIdleEnabling(const WindowProgram& program) {
        EXPECT_TRUE(program.Enabled(kSelDeviceId));
        EXPECT_TRUE(program.Enabled(kBitBtn1Id));
        EXPECT_TRUE(program.Enabled(kBitBtn2Id));
        EXPECT_TRUE(program.Enabled(kBitBtn3Id));
    }

    void CloseAndExpectExitCode0(WindowProgram& program) {
        PostMessageW(program.Form(), WM_CLOSE, 0, 0);
        std::uint32_t exitCode = 1;
        ASSERT_TRUE(program.WaitForExit(kStepTimeout, exitCode)) << "the window did not close";
        EXPECT_EQ(exitCode, 0U);
    }

    std::string DemoPackage() const { return WindowsPath(TROZ_DEMO_PACKAGE); }

    // The demo package with one byte of its last image block changed: its checksum fails.
    std::string CorruptedDemoPackage() const {
        const std::filesystem::path copy = directory_ / "corrupted.tfs";
        std::ifstream in(DemoPackage(), std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        EXPECT_FALSE(bytes.empty());
        if (!bytes.empty()) {
            bytes.back() = static_cast<char>(bytes.back() ^ 0x5A);
        }
        std::ofstream out(copy, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return copy.string();
    }

    std::filesystem::path directory_;
    std::string stateHome_;
};

// Start-up on both drive sources: the pass-through transport of the NT family and the ASPI
// manager of the consumer family list the same drives in the same order.
class TrozflashWindowStartUp : public TrozflashWindow,
                               public ::testing::WithParamInterface<const char*> {};

TEST_P(TrozflashWindowStartUp, ListsTheDrivesWithTheFirstSelectedAndEverythingEnabled) {
    WindowProgram program;
    StartWindow(program, GetParam());

    EXPECT_EQ(program.DriveItems(), kVirtualDriveItems);
    EXPECT_EQ(program.SelectedDrive(), 0);
    EXPECT_EQ(program.ControlText(kStatusBar1Id), kVirtualDriveItems[0]);
    ExpectIdleEnabling(program);
    EXPECT_TRUE(program.LogLines().empty());
    EXPECT_EQ(program.Progress(), 0);
    EXPECT_EQ(program.ControlText(kEdit1Id), "");
    EXPECT_FALSE(program.Visible(kEdit2Id));
    EXPECT_FALSE(program.Visible(kSpeedButton1Id));
    CloseAndExpectExitCode0(program);
}

INSTANTIATE_TEST_SUITE_P(DriveSources, TrozflashWindowStartUp,
                         ::testing::Values("virtual", "virtual-aspi"), [](const auto& parameter) {
                             return std::string(parameter.param) == "virtual" ? "PassThrough"
                                                                              : "Aspi";
                         });

TEST_F(TrozflashWindow, PickingADriveShowsItInTheStatusBar) {
    WindowProgram program;
    StartWindow(program);
    HWND list = program.Control(kSelDeviceId);

    for (const int item : {2, 0}) {
        // As the drop-down list does when the user picks an item.
        SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
        SendMessageW(program.Form(), WM_COMMAND, MAKEWPARAM(kSelDeviceId, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(list));
        EXPECT_EQ(program.ControlText(kStatusBar1Id),
                  kVirtualDriveItems[static_cast<std::size_t>(item)]);
        EXPECT_TRUE(program.Enabled(kBitBtn2Id));
    }
    CloseAndExpectExitCode0(program);
}

TEST_F(TrozflashWindow, IsAFixedWindowWithEveryControlAtItsPlaceAndCaption) {
    WindowProgram program;
    StartWindow(program);

    const LONG_PTR style = GetWindowLongPtrW(program.Form(), GWL_STYLE);
    EXPECT_EQ(style & WS_MAXIMIZEBOX, 0) << "a maximise box";
    EXPECT_EQ(style & WS_THICKFRAME, 0) << "a sizing border";
    EXPECT_NE(style & WS_MINIMIZEBOX, 0);
    EXPECT_NE(style & WS_SYSMENU, 0);
    RECT client{};
    GetClientRect(program.Form(), &client);
    EXPECT_EQ(client.right, kClientWidth);
    EXPECT_EQ(client.bottom, kClientHeight);
    RECT frame{};
    GetWindowRect(program.Form(), &frame);
    EXPECT_EQ(frame.left, kWindowLeft);
    EXPECT_EQ(frame.top, kWindowTop);

    struct Place {
        int id;
        FormRect rect;
        const char* caption;  // null: not checked
    };
    const Place places[] = {
        {kGroupBox1Id, kGroupBox1Rect, kGroupBox1Caption},
        {kSelDeviceId, Within(kGroupBox1Rect, kSelDeviceRect), nullptr},
        {kGroupBox2Id, kGroupBox2Rect, kGroupBox2Caption},
        {kEdit1Id, Within(kGroupBox2Rect, kEdit1Rect), nullptr},
        {kBitBtn1Id, Within(kGroupBox2Rect, kBitBtn1Rect), kBitBtn1Caption},
        {kBitBtn2Id, kBitBtn2Rect, kBitBtn2Caption},
        {kBitBtn3Id, kBitBtn3Rect, kBitBtn3Caption},
        {kListBox1Id, kListBox1Rect, nullptr},
        {kStatusBar1Id, kStatusBar1Rect, nullptr},
        {kProgressBar1Id, Within(kStatusBar1Rect, kProgressBar1Rect), nullptr},
    };
    for (const Place& place : places) {
        SCOPED_TRACE("control " + std::to_string(place.id));
        const RECT rect = program.PlaceOf(program.Control(place.id));
        EXPECT_EQ(rect.left, place.rect.left);
        EXPECT_EQ(rect.top, place.rect.top);
        EXPECT_EQ(rect.right - rect.left, place.rect.width);
        // A drop-down list sizes its own selection field.
        if (place.id != kSelDeviceId) {
            EXPECT_EQ(rect.bottom - rect.top, place.rect.height);
        }
        if (place.caption != nullptr) {
            EXPECT_EQ(program.ControlText(place.id), place.caption);
        }
    }
    CloseAndExpectExitCode0(program);
}

TEST_F(TrozflashWindow, OpenTakesThePackageFromTheFileDialogAndShowsItsTargetProduct) {
    WindowProgram program;
    StartWindow(program);

    Open(program, DemoPackage());

    ASSERT_TRUE(WaitUntil([&] { return !program.ControlText(kEdit1Id).empty(); }, kStepTimeout));
    EXPECT_EQ(program.ControlText(kEdit1Id), kDemoTargetProduct);
    EXPECT_TRUE(program.LogLines().empty());
    ExpectIdleEnabling(program);
    CloseAndExpectExitCode0(program);
}

TEST_F(TrozflashWindow,
       StartFlashesToCompletionWithProgressAndAnsweringTheRestartNoKeepsTheWindow) {
    WindowProgram program;
    StartWindow(program);
    Open(program, DemoPackage());

    program.PostClick(kBitBtn2Id);
    // Watched as the user sees it, until the restart question comes.
    std::set<int> progressSeen;
    bool listDisabled = false;
    bool startDisabled = false;
    bool exitDisabled = false;
    bool openEnabledThroughout = true;
    const bool asked = WaitUntil(
        [&] {
            progressSeen.insert(program.Progress());
            listDisabled = listDisabled || !program.Enabled(kSelDeviceId);
            startDisabled = startDisabled || !program.Enabled(kBitBtn2Id);
            exitDisabled = exitDisabled || !program.Enabled(kBitBtn3Id);
            openEnabledThroughout = openEnabledThroughout && program.Enabled(kBitBtn1Id);
            return !program.TopLevelWindows(L"#32770", Wide(kRestartCaption)).empty();
        },
        kFlashTimeout);
    ASSERT_TRUE(asked) << "no restart question; log: "
                       << ::testing::PrintToString(program.LogLines());

    EXPECT_TRUE(listDisabled);
    EXPECT_TRUE(startDisabled);
    EXPECT_TRUE(exitDisabled);
    EXPECT_TRUE(openEnabledThroughout);
    // The window answers only while the update lets it: in the completion wait, which
    // dispatches messages, the bar stands between the start and the end.
    EXPECT_TRUE(std::any_of(progressSeen.begin(), progressSeen.end(), [](int percent) {
        return percent > 20 && percent < 100;
    })) << ::testing::PrintToString(progressSeen);
    EXPECT_EQ(program.Progress(), 100);
    const std::vector<std::string> log = program.LogLines();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), "Flashing ..");
    EXPECT_EQ(log.back(), kFlashComplete);

    AnswerRestartNo(program);
    ASSERT_TRUE(WaitUntil([&] { return program.Enabled(kBitBtn2Id); }, kStepTimeout));
    ExpectIdleEnabling(program);
    EXPECT_EQ(program.LogLines(), log) << "answering no logs nothing";
    EXPECT_TRUE(program.Running());
    CloseAndExpectExitCode0(program);
}

TEST_F(TrozflashWindow, CloseAndSessionEndAreRefusedWhileTheDriveIsProgrammed) {
    WindowProgram program;
    StartWindow(program);
    Open(program, DemoPackage());
    program.PostClick(kBitBtn2Id);
    ASSERT_TRUE(
        WaitUntil([&] { return Contains(program.LogLines(), "Flashing .."); }, kFlashTimeout));

    PostMessageW(program.Form(), WM_CLOSE, 0, 0);
    HWND notice =
        program.WaitForWindow(kCloseNoticeClassName, Wide(kApplicationTitle), kStepTimeout);
    ASSERT_NE(notice, nullptr) << "no notice";
    EXPECT_EQ(program.Text(GetDlgItem(notice, kNoticeTextId)), kCloseWhileProgramming);
    EXPECT_TRUE(IsWindow(program.Form()));
    // The system asks whether the session may end: no, while the drive is programmed.
    DWORD_PTR answer = TRUE;
    ASSERT_NE(
        SendMessageTimeoutW(program.Form(), WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 20000, &answer),
        0);
    EXPECT_EQ(answer, static_cast<DWORD_PTR>(FALSE));
    PostMessageW(GetDlgItem(notice, kNoticeOkId), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return IsWindow(notice) == FALSE; }, kStepTimeout));

    AnswerRestartNo(program);
    EXPECT_EQ(program.LogLines().back(), kFlashComplete) << "the update went on to its end";
    // Once the drive is done, the session may end and the window closes.
    ASSERT_NE(
        SendMessageTimeoutW(program.Form(), WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 20000, &answer),
        0);
    EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE));
    CloseAndExpectExitCode0(program);
}

TEST_F(TrozflashWindow, ASecondCopyEndsSilentlyWithExitCode0AndNoWindow) {
    WindowProgram first;
    StartWindow(first);

    WindowProgram second;
    {
        const ScopedEnvironment environment(
            {{"TROZFLASH_DRIVES", "virtual"}, {"XDG_STATE_HOME", stateHome_.c_str()}});
        ASSERT_TRUE(second.Start(WindowsPath(TROZ_WINDOW_PROGRAM)));
    }
    std::uint32_t exitCode = 1;
    ASSERT_TRUE(second.WaitForExit(kStartUpTimeout, exitCode)) << "the second copy runs on";
    EXPECT_EQ(exitCode, 0U);
    EXPECT_TRUE(second.TopLevelWindows(kFormClassName).empty());
    EXPECT_TRUE(second.TopLevelWindows(L"#32770").empty()) << "the second copy showed a box";
    EXPECT_TRUE(first.Running());
    CloseAndExpectExitCode0(first);
}

// Start refuses what it cannot flash with one line, flashes nothing and asks nothing.
struct Refusal {
    const char* name;
    bool corruptedPackage;  // false: no package chosen at all
    const char* line;
};

class TrozflashWindowRefusal : public TrozflashWindow,
                               public ::testing::WithParamInterface<Refusal> {};

TEST_P(TrozflashWindowRefusal, StartEndsWithOneLineAndEverythingEnabledAgain) {
    WindowProgram program;
    StartWindow(program);
    if (GetParam().corruptedPackage) {
        Open(program, CorruptedDemoPackage());
    }

    program.PostClick(kBitBtn2Id);
    ASSERT_TRUE(
        WaitUntil([&] { return Contains(program.LogLines(), GetParam().line); }, kStepTimeout))
        << ::testing::PrintToString(program.LogLines());
    ASSERT_TRUE(WaitUntil([&] { return program.Enabled(kBitBtn2Id); }, kStepTimeout));
    ExpectIdleEnabling(program);
    EXPECT_FALSE(Contains(program.LogLines(), "Flashing .."));
    EXPECT_TRUE(program.TopLevelWindows(L"#32770").empty()) << "a box was shown";
    CloseAndExpectExitCode0(program);
}

INSTANTIATE_TEST_SUITE_P(Packages, TrozflashWindowRefusal,
                         ::testing::Values(Refusal{"NoPackage", false, kNoFirmware},
                                           Refusal{"BrokenChecksum", true, kFileChecksumError}),
                         [](const auto& parameter) { return std::string(parameter.param.name); });

}  // namespace
}  // namespace troz::test
