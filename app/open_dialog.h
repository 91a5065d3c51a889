// OpenDialog1: the window's file-open dialog. It holds the chosen package's file name, which
// stays empty until the user confirms a file and is kept as it was when the user cancels.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

#include "app/window_texts.h"

class QWidget;

namespace troz {

// The same entries in Qt's form, "description (patterns)" joined by ";;". A description that
// already ends in its pattern in parentheses is kept as it is.
QString ToQtFilter(const QString& filter);

class TOpenDialog final : public QObject {
    Q_OBJECT
public:
    // Shows a dialog and returns the chosen path, or an empty string when the user cancelled.
    using Runner = std::function<QString(QWidget* parent, const QString& qtFilter)>;

    explicit TOpenDialog(QObject* parent);

    QString Filter() const { return QString::fromLatin1(kPackageFileFilter); }
    QString QtFilter() const { return ToQtFilter(Filter()); }
    QString FileName() const { return fileName_; }

    // Runs the dialog with the package filter preselected. True when the user confirmed a
    // file; FileName then holds it.
    bool Execute(QWidget* parent);
    // Replaces the dialog, for tests.
    void SetRunner(Runner runner) { runner_ = std::move(runner); }

private:
    QString fileName_;
    Runner runner_;
};

}  // namespace troz
