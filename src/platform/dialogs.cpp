#include "dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace dv {

QString withLineBreaks(const QString& text)
{
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

QString toQtFileFilter(const QString& pipeFilter)
{
    const QStringList parts = pipeFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString pattern = parts[i + 1];
        // "*.*" means any file on Windows; here a name need not have a dot.
        pattern.replace(QStringLiteral("*.*"), QStringLiteral("*"));
        pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
        QString description = parts[i];
        const qsizetype open = description.lastIndexOf(QLatin1Char('('));
        if (open > 0 && description.endsWith(QLatin1Char(')')))
            description = description.left(open).trimmed();
        filters << QStringLiteral("%1 (%2)").arg(description, pattern);
    }
    return filters.join(QStringLiteral(";;"));
}

void QtDialogs::messageBox(QWidget* parent, const QString& text, const QString& caption, int flags)
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (flags & 0xF0) {
    case MB_ICONERROR: icon = QMessageBox::Critical; break;
    case MB_ICONWARNING: icon = QMessageBox::Warning; break;
    case MB_ICONINFORMATION: icon = QMessageBox::Information; break;
    case 32: icon = QMessageBox::Question; break;
    default: break;
    }
    QMessageBox box(icon, caption, withLineBreaks(text), QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool QtDialogs::askYesNo(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Question, QApplication::applicationName(), withLineBreaks(text),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}

void QtDialogs::beep()
{
    QApplication::beep();
}

QStringList QtDialogs::getOpenFileNames(QWidget* parent, const QString& filter)
{
    return QFileDialog::getOpenFileNames(parent, QString(), QString(), toQtFileFilter(filter));
}

QString QtDialogs::getOpenFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix)
{
    QFileDialog dialog(parent, QString(), QString(), toQtFileFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

QString QtDialogs::getSaveFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix)
{
    QFileDialog dialog(parent, QString(), QString(), toQtFileFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix); // asks before overwriting by default
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

QString QtDialogs::getExistingDirectory(QWidget* parent, const QString& startFolder)
{
    return QFileDialog::getExistingDirectory(parent, QString(), startFolder);
}

} // namespace dv
