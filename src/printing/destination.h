#pragma once

#include "runoutput.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QtGlobal>

#include <functional>
#include <memory>

namespace dv {

class RegistryStore;

/// Where "Print to:" sends a run's pages: the default printer, a printer by name,
/// a folder that receives one PDF per entry, or one PDF file for the whole run.
struct PrintDestination {
    enum class Kind { DefaultPrinter, Printer, PdfFolder, PdfFile };
    Kind kind = Kind::DefaultPrinter;
    /// The printer's name, or the folder's or the file's path.
    QString target;

    friend bool operator==(const PrintDestination&, const PrintDestination&) = default;
};

/// The per-user key that holds the last "Print to:" choice.
inline constexpr const char* PrintingKey = "Software\\KELMARO\\Dorvantis\\Printing";

/// The stored choice, with the folder and file last chosen (kept apart, so that
/// choosing a printer forgets neither). A missing or unusable value reads as the
/// default printer; nothing fails.
struct StoredDestination {
    PrintDestination chosen;
    QString pdfFolder;
    QString pdfFile;
};
StoredDestination loadDestination(const RegistryStore& registry);
/// False when the store cannot be written.
bool saveDestination(RegistryStore& registry, const StoredDestination& stored);

/// Whether Print All loads the next entry while the one shown waits and prints:
/// on unless the DWORD `Overlap` under PrintingKey is 0, for lists whose pages have
/// side effects (one that logs the session out must not load before its turn).
bool overlapEnabled(const RegistryStore& registry);

/// How many entries Print All loads side by side: the DWORD `PagesAtOnce` under
/// PrintingKey, 1 to MaxPagesAtOnce (2 when unset or out of range), and 1 when
/// Overlap is 0.
int pagesAtOnce(const RegistryStore& registry);
/// False when the store cannot be written.
bool savePagesAtOnce(RegistryStore& registry, int pages);

/// The destinations the printing system offers, as `lpstat -e` lists them, and
/// the default one. Both are empty when the scheduler cannot be reached.
struct PrinterList {
    QStringList names;
    QString defaultName;
};
PrinterList availablePrinters();

/// The title a page's PDF and bookmark carry: the engine's title unless that is
/// empty or only the address again (what the engine reports for a page without
/// one), else the file name of the address, else the address itself.
QString titleForPage(const QString& engineTitle, const QUrl& url, const QString& address);

/// The file name of entry `position` in a PDF folder: "NNN - title.pdf" (or with
/// " (copy)" before ".pdf" for copy 2, 3, ...), the position zero-padded to at
/// least `digits`, characters that other systems refuse in file names replaced,
/// and the title cut so the whole name stays within 200 bytes of UTF-8.
QString pdfFileName(qint64 position, int digits, const QString& title, int copy = 1);

/// The output for a destination. Printers get every page, the failed ones too (as
/// the engine shows them); PDF outputs keep only the pages of entries that did not fail.
std::unique_ptr<RunOutput> makeRunOutput(const PrintDestination& destination);

} // namespace dv
