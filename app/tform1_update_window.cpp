// The window's side of an update: the message log, the progress bar, the enabling of the
// controls Start works with, the package file name and the questions to the user. The
// update runs on this thread without returning to the event loop, so whatever must be seen
// during it is painted at once rather than scheduled.
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

#include "app/open_dialog.h"
#include "app/tform1.h"
#include "app/window_texts.h"

namespace troz {

namespace {

bool AskRestartInBox() {
    // No owner window, above everything else, answered before anything goes on. Qt has no
    // system-modal box: application-modal and on top of other windows comes closest.
    QMessageBox box(QMessageBox::Warning, QLatin1String(kRestartCaption),
                    QLatin1String(kRestartQuestion), QMessageBox::Ok | QMessageBox::Cancel);
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    return box.exec() == QMessageBox::Ok;
}

}  // namespace

void TForm1::AddLogLine(const std::string& text) {
    ListBox1->addItem(QString::fromStdString(text));
    const int lastRow = ListBox1->count() - 1;
    ListBox1->setCurrentRow(lastRow);
    ListBox1->scrollToItem(ListBox1->item(lastRow));
    ListBox1->repaint();
}

void TForm1::SetProgress(int percent) {
    ProgressBar1->setValue(percent);
    ProgressBar1->repaint();
}

void TForm1::SetProgressRange(int minimum, int maximum) {
    ProgressBar1->setRange(minimum, maximum);
}

void TForm1::SetDriveListEnabled(bool enabled) {
    SelDevice->setEnabled(enabled);
    SelDevice->repaint();
}

void TForm1::SetStartEnabled(bool enabled) {
    BitBtn2->setEnabled(enabled);
    BitBtn2->repaint();
}

void TForm1::SetExitEnabled(bool enabled) {
    BitBtn3->setEnabled(enabled);
    BitBtn3->repaint();
}

std::string TForm1::PackageFileName() {
    // The bytes the system's file calls take for this name.
    return QFile::encodeName(OpenDialog1->FileName()).toStdString();
}

bool TForm1::ChoosePackageFile() {
    return OpenDialog1->Execute(this);
}

std::string TForm1::TargetProductText() {
    return Edit1->text().toLatin1().toStdString();
}

void TForm1::SetTargetProductText(const std::string& text) {
    Edit1->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

int TForm1::SelectedDriveIndex() {
    return SelDevice->currentIndex();
}

std::string TForm1::SelectedDriveText() {
    return SelDevice->currentText().toLatin1().toStdString();
}

void TForm1::DispatchPendingEvents() {
    QCoreApplication::processEvents();
}

bool TForm1::AskRestart() {
    return restartQuestion_ ? restartQuestion_() : AskRestartInBox();
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (mayClose_ && !mayClose_()) {
        event->ignore();
        return;
    }
    event->accept();
}

}  // namespace troz
