// One copy at a time, with real processes: a second trozflash ends at once with code 0 and
// shows nothing while the first runs; after the first has ended, normally or killed, the
// next one runs. The command line changes nothing.
#include "app/single_instance.h"

#include <sys/stat.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace troz;

namespace {

constexpr int kStartTimeoutMs = 20000;
constexpr int kEndTimeoutMs = 20000;

// True while the process holds the instance lock, as the kernel lists it in /proc/locks.
// Looking there takes no lock, so it cannot disturb a copy that is starting.
bool HoldsInstanceLock(qint64 processId) {
    struct stat lockFile {};
    if (stat(SingleInstanceGuard::LockFilePath(kInstanceName).c_str(), &lockFile) != 0) {
        return false;
    }
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return false;
    }
    const QString inode = QString::number(lockFile.st_ino);
    // "1: FLOCK  ADVISORY  WRITE 12076 fe:00:10954159 0 EOF"
    for (const QByteArray& line : locks.readAll().split('\n')) {
        const QStringList fields = QString::fromLatin1(line).simplified().split(QLatin1Char(' '));
        if (fields.size() >= 6 && fields[1] == QLatin1String("FLOCK") &&
            fields[4] == QString::number(processId) &&
            fields[5].section(QLatin1Char(':'), 2) == inode) {
            return true;
        }
    }
    return false;
}

}  // namespace

class SingleInstanceTest final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void guardSeesAnotherHolder();
    void secondCopyEndsSilentlyWithCodeZero();
    void copyAfterTheFirstEndedRunsNormally();
    void copyAfterTheFirstWasKilledRunsNormally();
    void commandLineIsIgnored();

private:
    std::unique_ptr<QProcess> Start(const QString& program, const QStringList& arguments = {});
    std::unique_ptr<QProcess> StartShownHarness();
    static void EndHarness(QProcess& harness);

    QTemporaryDir runtimeDirectory_;
};

void SingleInstanceTest::initTestCase() {
    QVERIFY(runtimeDirectory_.isValid());
    // Our own runtime directory: no copy of the tool that a user runs can disturb the test.
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDirectory_.path()));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("TROZFLASH_DRIVES", "virtual");
    qputenv("XDG_STATE_HOME", QFile::encodeName(runtimeDirectory_.path()));
}

std::unique_ptr<QProcess> SingleInstanceTest::Start(const QString& program,
                                                    const QStringList& arguments) {
    auto process = std::make_unique<QProcess>();
    process->setProgram(program);
    process->setArguments(arguments);
    process->start();
    if (!process->waitForStarted(kStartTimeoutMs)) {
        qWarning("could not start %s", qPrintable(program));
    }
    return process;
}

std::unique_ptr<QProcess> SingleInstanceTest::StartShownHarness() {
    auto harness = Start(QStringLiteral(TROZFLASH_HARNESS));
    const bool shown = QTest::qWaitFor([&] { return harness->canReadLine(); }, kStartTimeoutMs);
    if (!shown || harness->readLine() != "shown TROZ Flash V1.0B5\n") {
        qWarning("the harness did not show its window");
    }
    return harness;
}

void SingleInstanceTest::EndHarness(QProcess& harness) {
    harness.write("exit\n");
    QVERIFY(harness.waitForFinished(kEndTimeoutMs));
    QCOMPARE(harness.exitStatus(), QProcess::NormalExit);
    QCOMPARE(harness.exitCode(), 0);
}

void SingleInstanceTest::guardSeesAnotherHolder() {
    const std::string name = "MyAPP-guard-test";
    auto first = std::make_unique<SingleInstanceGuard>(name);
    QVERIFY(!first->AnotherInstanceRunning());
    {
        const SingleInstanceGuard second(name);
        QVERIFY(second.AnotherInstanceRunning());
    }
    first.reset();
    const SingleInstanceGuard third(name);
    QVERIFY(!third.AnotherInstanceRunning());
}

void SingleInstanceTest::secondCopyEndsSilentlyWithCodeZero() {
    auto first = StartShownHarness();
    QVERIFY(HoldsInstanceLock(first->processId()));

    auto second = Start(QStringLiteral(TROZFLASH_HARNESS));
    QVERIFY(second->waitForFinished(kEndTimeoutMs));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(second->readAllStandardOutput(), QByteArray());  // no window was shown

    auto program = Start(QStringLiteral(TROZFLASH_PROGRAM));
    QVERIFY(program->waitForFinished(kEndTimeoutMs));
    QCOMPARE(program->exitStatus(), QProcess::NormalExit);
    QCOMPARE(program->exitCode(), 0);

    QCOMPARE(first->state(), QProcess::Running);
    EndHarness(*first);
}

void SingleInstanceTest::copyAfterTheFirstEndedRunsNormally() {
    auto first = StartShownHarness();
    EndHarness(*first);
    auto next = StartShownHarness();
    QVERIFY(HoldsInstanceLock(next->processId()));
    EndHarness(*next);
}

void SingleInstanceTest::copyAfterTheFirstWasKilledRunsNormally() {
    auto first = StartShownHarness();
    first->kill();
    QVERIFY(first->waitForFinished(kEndTimeoutMs));
    QCOMPARE(first->exitStatus(), QProcess::CrashExit);

    auto next = StartShownHarness();
    QVERIFY(HoldsInstanceLock(next->processId()));
    EndHarness(*next);
}

void SingleInstanceTest::commandLineIsIgnored() {
    // Had the toolkit read them, "-platform" would end the program before any window.
    const QStringList arguments = {"-platform", "no-such-platform", "--drive", "-reverse",
                                   "/tmp/firmware.tfs"};
    auto first = Start(QStringLiteral(TROZFLASH_PROGRAM), arguments);
    QVERIFY(
        QTest::qWaitFor([&] { return HoldsInstanceLock(first->processId()); }, kStartTimeoutMs));

    auto second = Start(QStringLiteral(TROZFLASH_PROGRAM), arguments);
    QVERIFY(second->waitForFinished(kEndTimeoutMs));
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(second->readAllStandardError(), QByteArray());

    QCOMPARE(first->state(), QProcess::Running);
    first->kill();
    QVERIFY(first->waitForFinished(kEndTimeoutMs));
}

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "single_instance_test.moc"
