// The main window over a scripted drive context: layout, the drive list and the current
// target, the log and the progress bar, the enabling of the controls, and how it closes.
#include "app/tform1.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <memory>

#include "app/open_dialog.h"
#include "app/start_up.h"
#include "tests/support/app_drives.h"
#include "tests/support/virtual_clock.h"
#include "virtual/drive_source.h"

using namespace troz;
using namespace troz::test;

namespace {

struct WindowUnderTest {
    explicit WindowUnderTest(std::vector<ScriptedDrive> drives)
        : platform(std::move(drives)),
          atapi(std::make_unique<TAtapi>(platform, clock, services)),
          form(std::make_unique<TForm1>(*atapi)) {
        form->FormCreate();
    }
    template <typename Control>
    Control* Find(const char* name) {
        return form->findChild<Control*>(QLatin1String(name));
    }
    QString StatusPanelText() { return Find<QLabel>("StatusBar1Panel0")->text(); }
    void ShowAndActivate() {
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

    FakePlatform platform;
    VirtualClock clock;
    RecordingServices services;
    std::unique_ptr<TAtapi> atapi;
    std::unique_ptr<TForm1> form;
};

// Counts the paint events a widget receives.
class PaintCounter final : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++count;
        }
        return false;
    }
};

}  // namespace

class TForm1Test final : public QObject {
    Q_OBJECT
private slots:
    void layout_data();
    void layout();
    void windowProperties();
    void captionsAndAccelerators();
    void acceleratorsPressTheButtons();
    void tabOrder();
    void openDialogFilterKeepsBothEntries();
    void openDialogKeepsTheNameOnCancel();

    void driveListFollowsTheDeviceTable();
    void driveListShowsTheVirtualDrives_data();
    void driveListShowsTheVirtualDrives();
    void shortIdentificationGivesAShorterItem();
    void emptyDriveListDisablesStart();
    void pickingAnItemMovesTheCurrentTarget();
    void driveTextsKeepTheDrivesBytes();

    void logKeepsEveryLineAndShowsTheLastAtOnce();
    void progressAndEnablingShowAtOnce();
    void buttonsForwardToTheirHandlers();

    void exitAndCloseBoxEndTheLoopAndReleaseOnce_data();
    void exitAndCloseBoxEndTheLoopAndReleaseOnce();
    void vetoKeepsTheWindowOpen();
    void interruptedFlashIsTheLogsFirstLine();
};

void TForm1Test::layout_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry");
    const QList<std::tuple<const char*, const char*, const char*, QRect>> rows = {
        {"GroupBox1", "QGroupBox", "Form1", QRect(4, -1, 261, 65)},
        {"SelDevice", "QComboBox", "GroupBox1", QRect(30, 25, 201, 21)},
        {"GroupBox2", "QGroupBox", "Form1", QRect(4, 71, 261, 81)},
        {"Edit1", "QLineEdit", "GroupBox2", QRect(31, 16, 201, 21)},
        {"BitBtn1", "QPushButton", "GroupBox2", QRect(86, 48, 75, 25)},
        {"Edit2", "QLineEdit", "GroupBox2", QRect(16, 48, 49, 21)},
        {"BitBtn2", "QPushButton", "Form1", QRect(33, 160, 75, 25)},
        {"SpeedButton1", "QToolButton", "Form1", QRect(121, 160, 23, 22)},
        {"BitBtn3", "QPushButton", "Form1", QRect(161, 160, 75, 25)},
        {"ListBox1", "QListWidget", "Form1", QRect(0, 190, 267, 83)},
        {"StatusBar1", "QFrame", "Form1", QRect(0, 273, 267, 19)},
        {"ProgressBar1", "QProgressBar", "StatusBar1", QRect(169, 2, 97, 17)},
    };
    for (const auto& [name, kind, parent, geometry] : rows) {
        QTest::newRow(name) << name << kind << parent << geometry;
    }
}

void TForm1Test::layout() {
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);
    WindowUnderTest window(ThreeDrives());
    auto* control = window.form->findChild<QWidget*>(name);
    QVERIFY(control != nullptr);
    QCOMPARE(QString::fromLatin1(control->metaObject()->className()), kind);
    QCOMPARE(control->parentWidget()->objectName(), parent);
    QCOMPARE(control->geometry(), geometry);
}

void TForm1Test::windowProperties() {
    WindowUnderTest window(ThreeDrives());
    TForm1& form = *window.form;
    QCOMPARE(form.size(), QSize(267, 292));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QCOMPARE(form.pos(), QPoint(400, 166));
    QVERIFY(form.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!form.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(form.windowFlags().testFlag(Qt::WindowSystemMenuHint));
    QCOMPARE(form.palette().color(form.backgroundRole()), form.palette().color(QPalette::Button));
    QCOMPARE(form.font().family(), QStringLiteral("MS Sans Serif"));
    QCOMPARE(form.font().pixelSize(), 11);
    QVERIFY(!form.windowIcon().isNull());

    QVERIFY(!window.Find<QLineEdit>("Edit2")->isVisibleTo(&form));
    QVERIFY(!window.Find<QToolButton>("SpeedButton1")->isVisibleTo(&form));
    QVERIFY(window.Find<QLineEdit>("Edit1")->isReadOnly());
    QVERIFY(!window.Find<QComboBox>("SelDevice")->isEditable());
    QCOMPARE(window.Find<QListWidget>("ListBox1")->selectionMode(),
             QAbstractItemView::SingleSelection);
    auto* progress = window.Find<QProgressBar>("ProgressBar1");
    QCOMPARE(progress->minimum(), 0);
    QCOMPARE(progress->maximum(), 100);
}

void TForm1Test::captionsAndAccelerators() {
    FakePlatform platform(ThreeDrives());
    VirtualClock clock;
    RecordingServices services;
    TAtapi atapi(platform, clock, services);
    TForm1 form(atapi);
    QVERIFY(form.windowTitle().isEmpty());  // the creation event sets it
    form.FormCreate();
    QCOMPARE(form.windowTitle(), QStringLiteral("TROZ Flash V1.0B5"));

    QCOMPARE(form.findChild<QGroupBox*>("GroupBox1")->title(), QStringLiteral("Select Source : "));
    QCOMPARE(form.findChild<QGroupBox*>("GroupBox2")->title(), QStringLiteral("Select File : "));
    const QList<std::tuple<const char*, const char*, Qt::Key>> buttons = {
        {"BitBtn1", "&Open", Qt::Key_O},
        {"BitBtn2", "&Start", Qt::Key_S},
        {"BitBtn3", "&Exit", Qt::Key_E}};
    for (const auto& [name, caption, key] : buttons) {
        auto* button = form.findChild<QPushButton*>(name);
        QCOMPARE(button->text(), QLatin1String(caption));
        QCOMPARE(button->shortcut(), QKeySequence(Qt::ALT | key));
        QCOMPARE(button->iconSize(), QSize(16, 16));
        QVERIFY(!button->icon().pixmap(16, 16, QIcon::Disabled).isNull());
    }
}

void TForm1Test::acceleratorsPressTheButtons() {
    WindowUnderTest window(ThreeDrives());
    int opens = 0;
    int starts = 0;
    window.form->SetOpenHandler([&] { ++opens; });
    window.form->SetStartHandler([&] { ++starts; });
    window.ShowAndActivate();
    // A button pressed by its accelerator shows itself pressed for a moment before it acts.
    QTest::keyClick(window.form.get(), Qt::Key_O, Qt::AltModifier);
    QTRY_COMPARE(opens, 1);
    QTest::keyClick(window.form.get(), Qt::Key_S, Qt::AltModifier);
    QTRY_COMPARE(starts, 1);
    QTest::keyClick(window.form.get(), Qt::Key_E, Qt::AltModifier);
    QTRY_VERIFY(!window.form->isVisible());
}

void TForm1Test::tabOrder() {
    WindowUnderTest window(ThreeDrives());
    window.ShowAndActivate();
    window.Find<QComboBox>("SelDevice")->setFocus();
    QStringList visited;
    for (int step = 0; step < 6; ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    // Edit2 has its place after the Open button, but it is hidden.
    QCOMPARE(visited,
             QStringList({"Edit1", "BitBtn1", "ListBox1", "BitBtn2", "BitBtn3", "SelDevice"}));
}

void TForm1Test::openDialogFilterKeepsBothEntries() {
    WindowUnderTest window(ThreeDrives());
    auto* dialog = window.form->findChild<TOpenDialog*>(QStringLiteral("OpenDialog1"));
    QVERIFY(dialog != nullptr);
    QCOMPARE(dialog->Filter(), QStringLiteral("TFS file(*.tfs)|*.tfs|All File (*.*)|*.*"));
    QCOMPARE(dialog->QtFilter(), QStringLiteral("TFS file(*.tfs);;All File (*.*) (*)"));
    QCOMPARE(ToQtFilter(QStringLiteral("Images|*.bmp;*.png")),
             QStringLiteral("Images (*.bmp *.png)"));
}

void TForm1Test::openDialogKeepsTheNameOnCancel() {
    WindowUnderTest window(ThreeDrives());
    QString answer = QStringLiteral("/tmp/drive firmware/KVW-A100A.tfs");
    QWidget* shownOver = nullptr;
    QString shownFilter;
    window.form->OpenDialog().SetRunner([&](QWidget* parent, const QString& filter) {
        shownOver = parent;
        shownFilter = filter;
        return answer;
    });
    QCOMPARE(window.form->PackageFileName(), std::string());
    QVERIFY(window.form->ChoosePackageFile());
    QCOMPARE(shownOver, window.form.get());
    QCOMPARE(shownFilter, QStringLiteral("TFS file(*.tfs);;All File (*.*) (*)"));
    QCOMPARE(window.form->PackageFileName(), std::string("/tmp/drive firmware/KVW-A100A.tfs"));
    answer.clear();
    QVERIFY(!window.form->ChoosePackageFile());
    QCOMPARE(window.form->PackageFileName(), std::string("/tmp/drive firmware/KVW-A100A.tfs"));
}

void TForm1Test::driveListFollowsTheDeviceTable() {
    WindowUnderTest window(ThreeDrives());
    auto* list = window.Find<QComboBox>("SelDevice");
    QStringList items;
    for (int i = 0; i < list->count(); ++i) {
        items << list->itemText(i);
    }
    QCOMPARE(items, ThreeDriveTexts());
    QCOMPARE(list->currentIndex(), 0);
    QCOMPARE(window.form->SelectedDriveIndex(), 0);
    QCOMPARE(window.StatusPanelText(), ThreeDriveTexts()[0]);
    QCOMPARE(window.atapi->CurrentHandle(), ScriptedPassThrough::HandleOf(0));
    QVERIFY(window.Find<QPushButton>("BitBtn2")->isEnabled());
}

void TForm1Test::driveListShowsTheVirtualDrives_data() {
    QTest::addColumn<QByteArray>("selection");
    QTest::newRow("pass-through") << QByteArray("virtual");
    QTest::newRow("ASPI") << QByteArray("virtual-aspi");
}

void TForm1Test::driveListShowsTheVirtualDrives() {
    QFETCH(QByteArray, selection);
    QTemporaryDir stateDirectory;  // the virtual drives keep their firmware there
    qputenv("XDG_STATE_HOME", QFile::encodeName(stateDirectory.path()));
    VirtualClock clock;
    RecordingServices services;
    std::string error;
    const auto platform = MakeDrivePlatform(selection.constData(), clock, services, error);
    QVERIFY2(platform != nullptr, error.c_str());
    TAtapi atapi(*platform, clock, services);
    TForm1 form(atapi);
    auto* list = form.findChild<QComboBox*>(QStringLiteral("SelDevice"));
    QStringList items;
    for (int i = 0; i < list->count(); ++i) {
        items << list->itemText(i);
    }
    QCOMPARE(items, QStringList({"TROZ    KVW-A100A        1.00", "TROZ    KVW-B200A        2.00",
                                 "ACME    CDRW-5200        3.10"}));
    QCOMPARE(list->currentIndex(), 0);

    const auto isCurrent = [&atapi](int index) {
        const DeviceEntry& entry = atapi.Entry(index);
        return atapi.CurrentHandle() == entry.handle &&
               atapi.CurrentHostAdapterId() == entry.hostAdapterId &&
               atapi.CurrentTargetId() == entry.targetId && atapi.CurrentLun() == entry.lun;
    };
    QVERIFY(isCurrent(0));
    QVERIFY(!isCurrent(2));  // the drives differ in what addresses them
    QTest::keyClick(list, Qt::Key_End);
    QVERIFY(isCurrent(2));
    QTest::keyClick(list, Qt::Key_Home);
    QVERIFY(isCurrent(0));
    QVERIFY(services.messages.empty());
}

void TForm1Test::shortIdentificationGivesAShorterItem() {
    WindowUnderTest window({{std::string("TROZ\0", 5), "KVW-A100A", "1.00"}});
    QCOMPARE(window.Find<QComboBox>("SelDevice")->itemText(0), QStringLiteral("TROZ 1.00"));
    QCOMPARE(window.StatusPanelText(), QStringLiteral("TROZ 1.00"));
}

void TForm1Test::emptyDriveListDisablesStart() {
    WindowUnderTest window({});
    QCOMPARE(window.Find<QComboBox>("SelDevice")->count(), 0);
    QCOMPARE(window.form->SelectedDriveIndex(), -1);
    QCOMPARE(window.StatusPanelText(), QString());
    QVERIFY(!window.Find<QPushButton>("BitBtn2")->isEnabled());
    QVERIFY(window.Find<QPushButton>("BitBtn1")->isEnabled());
    QVERIFY(window.Find<QPushButton>("BitBtn3")->isEnabled());
    QVERIFY(window.services.messages.empty());
    QCOMPARE(window.Find<QListWidget>("ListBox1")->count(), 0);
}

void TForm1Test::pickingAnItemMovesTheCurrentTarget() {
    WindowUnderTest window(ThreeDrives());
    auto* list = window.Find<QComboBox>("SelDevice");
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentIndex(), 2);
    QCOMPARE(window.atapi->CurrentHandle(), ScriptedPassThrough::HandleOf(2));
    QCOMPARE(window.StatusPanelText(), ThreeDriveTexts()[2]);
    QCOMPARE(window.form->SelectedDriveText(), ThreeDriveTexts()[2].toStdString());

    QTest::keyClick(list, Qt::Key_Home);
    QCOMPARE(window.atapi->CurrentHandle(), ScriptedPassThrough::HandleOf(0));
    QCOMPARE(window.StatusPanelText(), ThreeDriveTexts()[0]);
    QVERIFY(window.Find<QPushButton>("BitBtn2")->isEnabled());
}

void TForm1Test::driveTextsKeepTheDrivesBytes() {
    const std::string identification =
        "TROZ    KVW-\xC4\xFF"
        "100A      ";
    WindowUnderTest window({{"TROZ",
                             "KVW-\xC4\xFF"
                             "100A",
                             "1.0\xE9"}});
    QCOMPARE(window.form->SelectedDriveText(), identification + " 1.0\xE9");
    const std::string product =
        "TROZ    KVW-\xC4\xFF"
        "100A       1.00";
    window.form->SetTargetProductText(product);
    QCOMPARE(window.form->TargetProductText(), product);
}

void TForm1Test::logKeepsEveryLineAndShowsTheLastAtOnce() {
    WindowUnderTest window(ThreeDrives());
    window.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
    auto* log = window.Find<QListWidget>("ListBox1");
    PaintCounter paints(log->viewport());
    constexpr int kLines = 40;
    for (int line = 0; line < kLines; ++line) {
        // No event is processed in between, as during an update.
        const int paintsBefore = paints.count;
        window.form->AddLogLine("Status:" + std::to_string(line));
        QVERIFY2(paints.count > paintsBefore, "the line must be painted before AddLogLine returns");
        QCOMPARE(log->currentRow(), line);
        QCOMPARE(log->selectedItems().size(), 1);
        QCOMPARE(log->selectedItems().front()->text(), QString("Status:%1").arg(line));
        QVERIFY(log->viewport()->rect().contains(log->visualItemRect(log->item(line))));
    }
    QCOMPARE(log->count(), kLines);
    for (int line = 0; line < kLines; ++line) {
        QCOMPARE(log->item(line)->text(), QString("Status:%1").arg(line));
    }
    QVERIFY(log->verticalScrollBar()->maximum() > 0);
    QCOMPARE(log->verticalScrollBar()->value(), log->verticalScrollBar()->maximum());
    QVERIFY(log->viewport()->rect().contains(log->visualItemRect(log->item(kLines - 1))));
}

void TForm1Test::progressAndEnablingShowAtOnce() {
    WindowUnderTest window(ThreeDrives());
    window.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
    auto* progress = window.Find<QProgressBar>("ProgressBar1");
    auto* list = window.Find<QComboBox>("SelDevice");
    PaintCounter progressPaints(progress);
    PaintCounter listPaints(list);

    window.form->SetProgress(20);
    QCOMPARE(progress->value(), 20);
    QVERIFY(progressPaints.count > 0);
    window.form->SetProgressRange(0, 100);
    window.form->SetProgress(100);
    QCOMPARE(progress->value(), 100);

    window.form->SetDriveListEnabled(false);
    QVERIFY(!list->isEnabled());
    QVERIFY(listPaints.count > 0);
    window.form->SetStartEnabled(false);
    window.form->SetExitEnabled(false);
    QVERIFY(!window.Find<QPushButton>("BitBtn2")->isEnabled());
    QVERIFY(!window.Find<QPushButton>("BitBtn3")->isEnabled());
    QVERIFY(window.Find<QPushButton>("BitBtn1")->isEnabled());
    window.form->SetDriveListEnabled(true);
    window.form->SetStartEnabled(true);
    window.form->SetExitEnabled(true);
    QVERIFY(list->isEnabled());
    QVERIFY(window.Find<QPushButton>("BitBtn2")->isEnabled());
    QVERIFY(window.Find<QPushButton>("BitBtn3")->isEnabled());
}

void TForm1Test::buttonsForwardToTheirHandlers() {
    WindowUnderTest window(ThreeDrives());
    // Without handlers the buttons do nothing.
    QTest::mouseClick(window.Find<QPushButton>("BitBtn1"), Qt::LeftButton);
    QTest::mouseClick(window.Find<QPushButton>("BitBtn2"), Qt::LeftButton);
    QStringList calls;
    window.form->SetOpenHandler([&] { calls << "open"; });
    window.form->SetStartHandler([&] { calls << "start"; });
    QTest::mouseClick(window.Find<QPushButton>("BitBtn1"), Qt::LeftButton);
    QTest::mouseClick(window.Find<QPushButton>("BitBtn2"), Qt::LeftButton);
    QCOMPARE(calls, QStringList({"open", "start"}));
    window.form->SetRestartQuestion([] { return true; });
    QVERIFY(window.form->AskRestart());
}

void TForm1Test::exitAndCloseBoxEndTheLoopAndReleaseOnce_data() {
    QTest::addColumn<bool>("byCloseBox");
    QTest::newRow("Exit") << false;
    QTest::newRow("close box") << true;
}

void TForm1Test::exitAndCloseBoxEndTheLoopAndReleaseOnce() {
    QFETCH(bool, byCloseBox);
    FakePlatform platform(ThreeDrives());
    VirtualClock clock;
    RecordingServices services;
    bool stuck = false;
    QString shownCaption;
    {
        TAtapi atapi(platform, clock, services);
        StartUpHooks hooks;
        hooks.windowShown = [&](TForm1& form) {
            shownCaption = form.windowTitle();
            QTimer::singleShot(0, &form, [&form, byCloseBox] {
                if (byCloseBox) {
                    form.close();
                } else {
                    QTest::mouseClick(form.findChild<QPushButton*>("BitBtn3"), Qt::LeftButton);
                }
            });
            QTimer::singleShot(5000, [&stuck] {
                stuck = true;
                QCoreApplication::quit();
            });
        };
        RunMainWindow(atapi, clock, services, hooks);
        QVERIFY(!stuck);
        for (int drive = 0; drive < 3; ++drive) {
            QCOMPARE(platform.passThrough.CloseCount(drive), 0);
        }
    }
    QCOMPARE(shownCaption, QStringLiteral("TROZ Flash V1.0B5"));
    for (int drive = 0; drive < 3; ++drive) {
        QCOMPARE(platform.passThrough.CloseCount(drive), 1);
    }
}

void TForm1Test::vetoKeepsTheWindowOpen() {
    WindowUnderTest window(ThreeDrives());
    bool mayClose = false;
    window.form->SetMayClose([&] { return mayClose; });
    window.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
    QTest::mouseClick(window.Find<QPushButton>("BitBtn3"), Qt::LeftButton);
    QVERIFY(!window.form->close());
    QVERIFY(window.form->isVisible());
    mayClose = true;
    QTest::mouseClick(window.Find<QPushButton>("BitBtn3"), Qt::LeftButton);
    QVERIFY(!window.form->isVisible());
}

// A flash an earlier run began and never completed: the window says so at start-up, in its
// log, before anything else.
void TForm1Test::interruptedFlashIsTheLogsFirstLine() {
    QTemporaryDir stateDirectory;
    const QByteArray stateHome = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", QFile::encodeName(stateDirectory.path()));
    QDir(stateDirectory.path()).mkpath(QStringLiteral("trozflash/history"));
    QFile journal(stateDirectory.filePath(QStringLiteral("trozflash/history/flashes.jsonl")));
    QVERIFY(journal.open(QIODevice::WriteOnly));
    journal.write(R"({"v":1,"type":"begin","id":"cut","time":"2026-12-01T10:00:00Z",)"
                  R"("drive":{"index":0,"identification":"TROZ    KVW-A100A       ",)"
                  R"("device_node":"/dev/sr0"},"package":{"path":"/fw/a.tfs"}})"
                  "\n");
    journal.close();
    FakePlatform platform(ThreeDrives());
    VirtualClock clock;
    RecordingServices services;
    TAtapi atapi(platform, clock, services);
    QStringList lines;
    StartUpHooks hooks;
    hooks.windowShown = [&](TForm1& form) {
        auto* log = form.findChild<QListWidget*>(QStringLiteral("ListBox1"));
        for (int i = 0; i < log->count(); ++i) {
            lines << log->item(i)->text();
        }
        QTimer::singleShot(0, &form, [&form] { form.close(); });
    };
    RunMainWindow(atapi, clock, services, hooks);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines[0].startsWith(QStringLiteral(
                 "Warning: the flash of /fw/a.tfs into drive 0 (TROZ    KVW-A100A       , "
                 "/dev/sr0) begun 2026-12-01T10:00:00Z was never completed;")),
             qPrintable(lines[0]));
    qputenv("XDG_STATE_HOME", stateHome);
}

QTEST_MAIN(TForm1Test)
#include "tform1_test.moc"
