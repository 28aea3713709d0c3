// What the command line and a file manager's "Open with" hand the main window.
#include "mainwindow.h"

#include "commandline.h"
#include "errordialog.h"
#include "pagelistbox.h"

#include <QFileInfo>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>

void MainWindow::applyUnattendedParts()
{
    if (!parts_.unattended)
        return;
    // Each would write to the settings store (reading the emulation level makes its
    // key) or wait for a person.
    updateCheckTimer_->stop();
    hintTimer_->stop();
    emulationMarkTimer_->stop();
}

void MainWindow::appendEntries(const QStringList& entries)
{
    QStringList resolved;
    for (const QString& entry : entries) {
        // A file named relative to the caller's folder stays found if the list is
        // saved and loaded elsewhere.
        const QFileInfo file(entry);
        resolved << (!entry.isEmpty() && file.exists() ? file.absoluteFilePath() : entry);
    }
    pageList_->appendMany(resolved);
}

void MainWindow::setDelaySeconds(qint64 seconds)
{
    delaySpin_->setValue(static_cast<int>(std::clamp<qint64>(seconds, 0, delaySpin_->maximum())));
}

QStringList MainWindow::errorLogLines() const
{
    const QString text = errorLog_->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

namespace dv {

void openInWindow(MainWindow& window, const CommandLineRequest& request)
{
    if (request.delaySeconds)
        window.setDelaySeconds(*request.delaySeconds);
    if (request.destination)
        window.setPrintDestination(*request.destination);
    try {
        window.appendEntries(requestedEntries(request));
    } catch (...) {
        // The window opens all the same, with the entries named one by one.
        showDefaultError(std::current_exception());
        window.appendEntries(request.entries);
    }
}

} // namespace dv
