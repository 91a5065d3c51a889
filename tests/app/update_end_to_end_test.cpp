// The window from Open to the restart question, on the built-in virtual drives with a clock
// that moves only when asked: the demo package is opened (dialog stubbed), Start flashes it,
// and the window guards itself while the drive is programming.
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>

#include "app/open_dialog.h"
#include "app/start_up.h"
#include "app/tapplication.h"
#include "app/tform1.h"
#include "app/update_connection.h"
#include "tests/support/locking_platform.h"
#include "tests/support/recording_services.h"
#include "update/checked_package.h"
#include "update/update_workflow.h"
#include "virtual/builtin_drives.h"
#include "virtual/virtual_clock.h"

using namespace troz;

Q_DECLARE_METATYPE(troz::VirtualTransport)
Q_DECLARE_METATYPE(troz::DriveLockOutcome)

namespace {

const QString kDemoPackage = QStringLiteral(TROZFLASH_DEMO_PACKAGE);
const QString kRestartText = QStringLiteral("Reboot this computer right now ?");
constexpr int kStuckAfterMs = 10000;

// Records the inhibitor's life. Release notes whether the window was showing why it stays.
class FakeInhibitor final : public ShutdownInhibitor {
public:
    explicit FakeInhibitor(QStringList& events) : events_(events) {}
    bool Take(const std::string& why, std::string&) override {
        events_ << "take " + QString::fromStdString(why);
        return true;
    }
    void Release() override {
        auto* notice = QApplication::activeModalWidget();
        events_ << QStringLiteral("release, notice ") +
                       (notice != nullptr && notice->objectName() == "CloseWhileProgrammingBox"
                            ? "shown"
                            : "not shown");
    }

private:
    QStringList& events_;
};

// What the window shows once Start has returned.
struct WindowState {
    QStringList log;
    int currentRow = -1;
    int progress = -1;
    QString targetProduct;
    bool driveListEnabled = false;
    bool startEnabled = false;
    bool exitEnabled = false;
    bool visible = false;
};

// The built-in drives on one transport, the drive context over them and the window started
// as the program starts it. The script runs once the loop is up and ends with Exit.
class WindowRun {
public:
    explicit WindowRun(VirtualTransport transport)
        : drives_(clock_, std::nullopt),
          platform_(transport, clock_, kBuiltinHostAdapterCount),
          locking_(platform_) {
        drives_.AttachTo(platform_);
    }

    // True when the script ran, no handler failed and the loop ended by Exit.
    bool Run(const std::function<void(TForm1&)>& script) {
        auto* application = qobject_cast<TApplication*>(QCoreApplication::instance());
        application->SetFailurePresenter(
            [this](const std::string& message) { failures << QString::fromStdString(message); });
        locking_.outcome = lockOutcome;
        locking_.reason = "the lock folder is read-only";
        TAtapi atapi(locking_, clock_, services);
        bool stuck = false;
        bool scriptRan = false;
        // The timers of this run end with it.
        QObject runScope;
        StartUpHooks hooks;
        hooks.inhibitor = [this] { return std::make_unique<FakeInhibitor>(inhibitorEvents); };
        hooks.windowShown = [&](TForm1& form) {
            form.OpenDialog().SetRunner([this](QWidget*, const QString&) {
                ++dialogRuns;
                return nextChoice;
            });
            QTimer::singleShot(0, &form, [&] {
                script(form);
                scriptRan = true;
                Button(form, "BitBtn3")->click();
            });
            QTimer::singleShot(kStuckAfterMs, &runScope, [&stuck] {
                stuck = true;
                QCoreApplication::quit();
            });
        };
        exitCode = RunMainWindow(atapi, clock_, services, hooks);
        application->SetFailurePresenter(
            [](const std::string& message) { qWarning("%s", message.c_str()); });
        return scriptRan && !stuck && failures.isEmpty();
    }

    static QPushButton* Button(TForm1& form, const char* name) {
        return form.findChild<QPushButton*>(QLatin1String(name));
    }
    static WindowState StateOf(TForm1& form) {
        WindowState state;
        const auto* log = form.findChild<QListWidget*>(QStringLiteral("ListBox1"));
        for (int row = 0; row < log->count(); ++row) {
            state.log << log->item(row)->text();
        }
        state.currentRow = log->currentRow();
        state.progress = form.findChild<QProgressBar*>(QStringLiteral("ProgressBar1"))->value();
        state.targetProduct = form.findChild<QLineEdit*>(QStringLiteral("Edit1"))->text();
        state.driveListEnabled =
            form.findChild<QComboBox*>(QStringLiteral("SelDevice"))->isEnabled();
        state.startEnabled = Button(form, "BitBtn2")->isEnabled();
        state.exitEnabled = Button(form, "BitBtn3")->isEnabled();
        state.visible = form.isVisible();
        return state;
    }
    // Open with the dialog confirming the demo package, then Start.
    void OpenAndStart(TForm1& form) {
        nextChoice = kDemoPackage;
        QTest::mouseClick(Button(form, "BitBtn1"), Qt::LeftButton);
        QTest::mouseClick(Button(form, "BitBtn2"), Qt::LeftButton);
    }
    const DriveIdentity& Drive(std::size_t index) { return drives_.Drive(index).Identity(); }

    test::RecordingServices services{"Interactive authentication required."};
    QString nextChoice;
    int dialogRuns = 0;
    QStringList failures;
    QStringList inhibitorEvents;
    DriveLockOutcome lockOutcome = DriveLockOutcome::Taken;
    int exitCode = -1;

private:
    VirtualClock clock_;
    BuiltinDriveSet drives_;
    VirtualDrivePlatform platform_;
    test::LockingPlatform locking_;
};

// Answers the restart question box when it comes up, and remembers how it looked.
class RestartBoxAnswerer final : public QObject {
public:
    RestartBoxAnswerer() {
        timer_.setInterval(0);
        connect(&timer_, &QTimer::timeout, this, [this] { Look(); });
        timer_.start();
    }
    int boxes = 0;
    QString caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    Qt::WindowModality modality = Qt::NonModal;
    bool hasOwner = true;

private:
    void Look() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || box->text() != kRestartText) {
            return;
        }
        ++boxes;
        caption = box->windowTitle();
        icon = box->icon();
        buttons = box->standardButtons();
        modality = box->windowModality();
        hasOwner = box->parentWidget() != nullptr;
        box->button(QMessageBox::Cancel)->click();
    }
    QTimer timer_;
};

const QStringList kFlashLines = {"Flashing ..", "Ok:Flash Complete!!"};

}  // namespace

class UpdateEndToEndTest final : public QObject {
    Q_OBJECT
private slots:
    void openAndStartFlashTheDrive_data();
    void openAndStartFlashTheDrive();
    void restartAnsweredOkGoesToTheSystem();
    void closeDuringTheUpdateIsRefused_data();
    void closeDuringTheUpdateIsRefused();
    void closeDuringTheRestartQuestionIsAllowed();
    void openDuringTheUpdateIsRefused();
    void signalDuringTheWriteWaitsForItThenEndsTheProgram();
    void aPackageReplacedBetweenOpenAndStartIsNotWritten();
    void startWithoutTheDrivesLockIsRefused_data();
    void startWithoutTheDrivesLockIsRefused();
};

void UpdateEndToEndTest::aPackageReplacedBetweenOpenAndStartIsNotWritten() {
    // The same bytes under a new file: Start writes only the file Open examined.
    QTemporaryDir folder;
    const QString package = folder.filePath(QStringLiteral("demo.tfs"));
    QVERIFY(QFile::copy(kDemoPackage, package));
    WindowRun run(VirtualTransport::PassThrough);
    WindowState state;
    QVERIFY(run.Run([&](TForm1& form) {
        run.nextChoice = package;
        QTest::mouseClick(WindowRun::Button(form, "BitBtn1"), Qt::LeftButton);
        QVERIFY(QFile::copy(kDemoPackage, package + ".new"));
        QVERIFY(std::rename(QFile::encodeName(package + ".new").constData(),
                            QFile::encodeName(package).constData()) == 0);
        QTest::mouseClick(WindowRun::Button(form, "BitBtn2"), Qt::LeftButton);
        state = WindowRun::StateOf(form);
    }));
    QCOMPARE(state.log, QStringList({QLatin1String(kPackageChangedSinceOpen)}));
    QCOMPARE(run.Drive(0).revision, std::string("1.00"));
}

void UpdateEndToEndTest::startWithoutTheDrivesLockIsRefused_data() {
    QTest::addColumn<DriveLockOutcome>("outcome");
    QTest::addColumn<QString>("line");
    QTest::newRow("another copy writes") << DriveLockOutcome::HeldElsewhere
                                         << "Err:Drive 0 (TROZ    KVW-A100A        1.00, "
                                            "virtual:0) is being written by another copy of "
                                            "TROZFlash; try again when it has finished";
    QTest::newRow("no lock can be made")
        << DriveLockOutcome::Unavailable
        << "Err:Drive 0 (TROZ    KVW-A100A        1.00, virtual:0) cannot be locked against "
           "other copies of TROZFlash, so nothing is written: the lock folder is read-only";
}

void UpdateEndToEndTest::startWithoutTheDrivesLockIsRefused() {
    QFETCH(DriveLockOutcome, outcome);
    QFETCH(QString, line);
    WindowRun run(VirtualTransport::PassThrough);
    run.lockOutcome = outcome;
    WindowState state;
    QVERIFY(run.Run([&](TForm1& form) {
        run.OpenAndStart(form);
        state = WindowRun::StateOf(form);
    }));
    QCOMPARE(state.log, QStringList({line}));
    QVERIFY(state.startEnabled && state.driveListEnabled);
    QCOMPARE(run.Drive(0).revision, std::string("1.00"));
    QVERIFY(run.inhibitorEvents.isEmpty());
}

void UpdateEndToEndTest::signalDuringTheWriteWaitsForItThenEndsTheProgram() {
    WindowRun run(VirtualTransport::PassThrough);
    const auto before = std::signal(SIGTERM, SIG_DFL);  // the test library's own handler
    std::signal(SIGTERM, before);
    int restartQuestions = 0;
    WindowState state;
    QVERIFY(run.Run([&](TForm1& form) {
        form.SetRestartQuestion([&restartQuestions] { return ++restartQuestions, false; });
        // The first events dispatched after Start come from the completion wait, while the
        // drive is written: a SIGTERM then would end the test program if it were not held.
        QTimer::singleShot(0, &form, [] { std::raise(SIGTERM); });
        run.OpenAndStart(form);
        state = WindowRun::StateOf(form);
    }));
    QCOMPARE(state.log, kFlashLines);
    QCOMPARE(run.Drive(0).revision, std::string("1.10"));
    QCOMPARE(restartQuestions, 0);
    QCOMPARE(run.exitCode, 128 + SIGTERM);
    QCOMPARE(run.inhibitorEvents,
             QStringList({"take Writing firmware into TROZ KVW-A100A 1.00 (virtual:0)",
                          "release, notice shown"}));
    QVERIFY(std::signal(SIGTERM, before) == before);
}

void UpdateEndToEndTest::openAndStartFlashTheDrive_data() {
    QTest::addColumn<VirtualTransport>("transport");
    QTest::newRow("pass-through") << VirtualTransport::PassThrough;
    QTest::newRow("ASPI") << VirtualTransport::Aspi;
}

void UpdateEndToEndTest::openAndStartFlashTheDrive() {
    QFETCH(VirtualTransport, transport);
    WindowRun run(transport);
    RestartBoxAnswerer answerer;
    WindowState state;
    QVERIFY(run.Run([&](TForm1& form) {
        run.OpenAndStart(form);
        state = WindowRun::StateOf(form);
    }));
    QCOMPARE(run.failures, QStringList());
    QCOMPARE(run.dialogRuns, 1);
    QCOMPARE(state.targetProduct, QStringLiteral("TROZ    KVW-A100A       1.10"));
    QCOMPARE(state.log, kFlashLines);
    QCOMPARE(state.currentRow, 1);
    QCOMPARE(state.progress, 100);
    QVERIFY(state.driveListEnabled && state.startEnabled && state.exitEnabled);
    QCOMPARE(run.Drive(0).revision, std::string("1.10"));
    QCOMPARE(run.Drive(1).revision, std::string("2.00"));

    QCOMPARE(answerer.boxes, 1);
    QCOMPARE(answerer.caption, QStringLiteral("Warning"));
    QCOMPARE(answerer.icon, QMessageBox::Warning);
    QCOMPARE(answerer.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(answerer.modality, Qt::ApplicationModal);
    QVERIFY(!answerer.hasOwner);
    QCOMPARE(run.services.restartRequests, 0);
}

void UpdateEndToEndTest::restartAnsweredOkGoesToTheSystem() {
    WindowRun run(VirtualTransport::PassThrough);
    int questions = 0;
    WindowState state;
    QVERIFY(run.Run([&](TForm1& form) {
        form.SetRestartQuestion([&questions] {
            ++questions;
            return true;
        });
        run.OpenAndStart(form);
        state = WindowRun::StateOf(form);
    }));
    QCOMPARE(questions, 1);
    QCOMPARE(run.services.restartRequests, 1);
    QCOMPARE(state.log, kFlashLines + QStringList{"Err:Cannot restart this computer: "
                                                  "Interactive authentication required."});
}

void UpdateEndToEndTest::closeDuringTheUpdateIsRefused_data() {
    QTest::addColumn<bool>("byCloseBox");
    QTest::newRow("close box") << true;
    QTest::newRow("close()") << false;
}

void UpdateEndToEndTest::closeDuringTheUpdateIsRefused() {
    QFETCH(bool, byCloseBox);
    WindowRun run(VirtualTransport::PassThrough);
    bool updateRunning = false;
    bool closed = true;
    QPointer<QMessageBox> notice;
    bool noticeShown = false;
    QString noticeText;
    QMessageBox::Icon noticeIcon = QMessageBox::NoIcon;
    Qt::WindowModality noticeModality = Qt::NonModal;
    WindowState state;
    bool noticeOpenAfterStart = true;
    QVERIFY(run.Run([&](TForm1& form) {
        form.SetRestartQuestion([] { return false; });
        // The first events dispatched after Start come from the completion wait.
        QTimer::singleShot(0, &form, [&] {
            // Start is disabled from validation to the end of the update.
            updateRunning = !WindowRun::Button(form, "BitBtn2")->isEnabled();
            if (byCloseBox) {
                // What the window system sends for the title bar's close box.
                QCloseEvent close;
                QCoreApplication::sendEvent(form.windowHandle(), &close);
                closed = close.isAccepted();
            } else {
                closed = form.close();
            }
            // The box is left open: the wait must go on polling the drive all the same.
            notice = form.findChild<QMessageBox*>(QStringLiteral("CloseWhileProgrammingBox"));
            if (notice) {
                noticeShown = notice->isVisible();
                noticeText = notice->text();
                noticeIcon = notice->icon();
                noticeModality = notice->windowModality();
            }
        });
        run.OpenAndStart(form);
        state = WindowRun::StateOf(form);
        noticeOpenAfterStart = notice && notice->isVisible();
    }));
    QVERIFY(updateRunning);
    QVERIFY(!closed);
    QVERIFY(noticeShown);
    QCOMPARE(noticeText, QLatin1String(kCloseWhileProgramming));
    QCOMPARE(noticeIcon, QMessageBox::Warning);
    QCOMPARE(noticeModality, Qt::ApplicationModal);
    QVERIFY(!noticeOpenAfterStart);
    QVERIFY(state.visible);
    QCOMPARE(state.log, kFlashLines);
    QCOMPARE(run.Drive(0).revision, std::string("1.10"));
}

void UpdateEndToEndTest::closeDuringTheRestartQuestionIsAllowed() {
    WindowRun run(VirtualTransport::PassThrough);
    bool closed = false;
    QVERIFY(run.Run([&](TForm1& form) {
        form.SetRestartQuestion([&] {
            closed = form.close();
            return false;
        });
        run.OpenAndStart(form);
    }));
    QVERIFY(closed);
    QCOMPARE(run.Drive(0).revision, std::string("1.10"));
}

void UpdateEndToEndTest::openDuringTheUpdateIsRefused() {
    WindowRun run(VirtualTransport::PassThrough);
    WindowState atRefusal;
    WindowState state;
    QVERIFY(run.Run([&](TForm1& form) {
        form.SetRestartQuestion([] { return false; });
        QTimer::singleShot(0, &form, [&] {
            run.nextChoice = QStringLiteral("/nowhere/other.tfs");
            QTest::mouseClick(WindowRun::Button(form, "BitBtn1"), Qt::LeftButton);
            atRefusal = WindowRun::StateOf(form);
        });
        run.OpenAndStart(form);
        state = WindowRun::StateOf(form);
        QCOMPARE(form.PackageFileName(), kDemoPackage.toStdString());
    }));
    QCOMPARE(run.dialogRuns, 1);
    const QString refusal = QLatin1String(kOpenWhileUpdating);
    QCOMPARE(atRefusal.log, QStringList({"Flashing ..", refusal}));
    QCOMPARE(atRefusal.currentRow, 1);
    QCOMPARE(state.log, QStringList({"Flashing ..", refusal, "Ok:Flash Complete!!"}));
    QCOMPARE(state.targetProduct, QStringLiteral("TROZ    KVW-A100A       1.10"));
    QCOMPARE(run.Drive(0).revision, std::string("1.10"));
}

int main(int argc, char** argv) {
    TApplication application(argc, argv);
    UpdateEndToEndTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "update_end_to_end_test.moc"
