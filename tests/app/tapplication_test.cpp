// The failure box and its full-stop rule, and failures escaping an event handler while the
// loop runs: they are shown, and the loop and the window go on.
#include "app/tapplication.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <stdexcept>

#include "app/start_up.h"
#include "app/tform1.h"
#include "tests/support/app_drives.h"

using namespace troz;
using namespace troz::test;

class TApplicationTest final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCoreApplication::setApplicationName(QLatin1String(kApplicationTitle)); }
    void failureTextEndsWithOneFullStop_data();
    void failureTextEndsWithOneFullStop();
    void failureBoxHasTitleOneOkAndTheErrorIcon();
    void failureInAHandlerLeavesTheWindowUsable();
    void failureReachingEventDeliveryIsShown();
};

void TApplicationTest::failureTextEndsWithOneFullStop_data() {
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("shown");
    QTest::newRow("letter") << QByteArray("Out of memory") << QByteArray("Out of memory.");
    QTest::newRow("digit") << QByteArray("Error 5") << QByteArray("Error 5.");
    QTest::newRow("full stop") << QByteArray("Done.") << QByteArray("Done.");
    QTest::newRow("exclamation") << QByteArray("Failed!") << QByteArray("Failed!");
    QTest::newRow("parenthesis") << QByteArray("Failed (3)") << QByteArray("Failed (3)");
    QTest::newRow("comma, below the full stop") << QByteArray("a,") << QByteArray("a,");
    QTest::newRow("hyphen, below the full stop") << QByteArray("a-") << QByteArray("a-");
    QTest::newRow("slash, just above it") << QByteArray("a/") << QByteArray("a/.");
    QTest::newRow("byte above 0x7F") << QByteArray("caf\xC3\xA9") << QByteArray("caf\xC3\xA9.");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TApplicationTest::failureTextEndsWithOneFullStop() {
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, shown);
    QCOMPARE(QByteArray::fromStdString(FailureText(message.toStdString())), shown);
}

void TApplicationTest::failureBoxHasTitleOneOkAndTheErrorIcon() {
    QMessageBox box;
    ConfigureFailureBox(box, "Access violation at address 0");
    QCOMPARE(box.windowTitle(), QStringLiteral("TROZFlash"));
    QCOMPARE(box.text(), QStringLiteral("Access violation at address 0."));
    QCOMPARE(box.icon(), QMessageBox::Critical);
    QCOMPARE(box.standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
}

void TApplicationTest::failureInAHandlerLeavesTheWindowUsable() {
    auto* application = qobject_cast<TApplication*>(QCoreApplication::instance());
    QVERIFY(application != nullptr);
    QStringList shown;
    application->SetFailurePresenter(
        [&](const std::string& message) { shown << QString::fromStdString(message); });

    FakePlatform platform(ThreeDrives());
    VirtualClock clock;
    RecordingServices services;
    TAtapi atapi(platform, clock, services);
    bool stuck = false;
    StartUpHooks hooks;
    hooks.windowShown = [&](TForm1& form) {
        form.SetStartHandler([] { throw std::runtime_error("Drive went away"); });
        QTimer::singleShot(0, &form, [&form] {
            QTest::mouseClick(form.findChild<QPushButton*>("BitBtn2"), Qt::LeftButton);
            QTest::mouseClick(form.findChild<QPushButton*>("BitBtn2"), Qt::LeftButton);
            // The loop still runs and the window still answers: Exit ends it.
            QTimer::singleShot(0, &form, [&form] {
                QTest::mouseClick(form.findChild<QPushButton*>("BitBtn3"), Qt::LeftButton);
            });
        });
        QTimer::singleShot(5000, [&stuck] {
            stuck = true;
            QCoreApplication::quit();
        });
    };
    RunMainWindow(atapi, clock, services, hooks);
    QVERIFY(!stuck);
    QCOMPARE(shown, QStringList({"Drive went away", "Drive went away"}));
}

namespace {

class FailingReceiver final : public QObject {
protected:
    bool event(QEvent*) override { throw std::runtime_error("Event lost"); }
};

}  // namespace

void TApplicationTest::failureReachingEventDeliveryIsShown() {
    auto* application = qobject_cast<TApplication*>(QCoreApplication::instance());
    QStringList shown;
    application->SetFailurePresenter(
        [&](const std::string& message) { shown << QString::fromStdString(message); });
    FailingReceiver receiver;
    QEvent event(QEvent::User);
    QVERIFY(!QCoreApplication::sendEvent(&receiver, &event));
    QCOMPARE(shown, QStringList({"Event lost"}));
}

int main(int argc, char** argv) {
    TApplication application(argc, argv);
    TApplicationTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tapplication_test.moc"
