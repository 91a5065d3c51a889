#include "app/open_dialog.h"

#include <QFileDialog>
#include <QStringList>

namespace troz {

namespace {

// "*.*" means every file on Windows; on other systems it would skip names without a dot.
QString QtPatterns(const QString& patterns) {
    QStringList qtPatterns;
    for (const QString& pattern : patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        qtPatterns.append(pattern.trimmed() == QLatin1String("*.*") ? QStringLiteral("*")
                                                                    : pattern.trimmed());
    }
    return qtPatterns.join(QLatin1Char(' '));
}

QString DefaultRunner(QWidget* parent, const QString& qtFilter) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(), qtFilter);
}

}  // namespace

QString ToQtFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        const QString patterns = QtPatterns(parts[i + 1]);
        const QString written = QLatin1Char('(') + patterns + QLatin1Char(')');
        entries.append(description.endsWith(written) ? description
                                                     : description + QLatin1Char(' ') + written);
    }
    return entries.join(QLatin1String(";;"));
}

TOpenDialog::TOpenDialog(QObject* parent) : QObject(parent), runner_(DefaultRunner) {}

bool TOpenDialog::Execute(QWidget* parent) {
    const QString chosen = runner_ ? runner_(parent, QtFilter()) : QString();
    if (chosen.isEmpty()) {
        return false;
    }
    fileName_ = chosen;
    return true;
}

}  // namespace troz
