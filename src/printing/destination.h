#pragma once

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

/// The destinations the printing system offers, as `lpstat -e` lists them, and
/// the default one. Both are empty when the scheduler cannot be reached.
struct PrinterList {
    QStringList names;
    QString defaultName;
};
PrinterList availablePrinters();

/// One page as the engine printed it.
struct PrintedPage {
    /// The list entry: the job is named after it.
    QString address;
    /// The page's title, or its file name (see titleForPage).
    QString title;
    QByteArray pdf;
};

/// The title a page's PDF and bookmark carry: the engine's title unless that is
/// empty or only the address again (what the engine reports for a page without
/// one), else the file name of the address, else the address itself.
QString titleForPage(const QString& engineTitle, const QUrl& url, const QString& address);

/// The file name of entry `position` in a PDF folder: "NNN - title.pdf" (or with
/// " (copy)" before ".pdf" for copy 2, 3, ...), the position zero-padded to at
/// least `digits`, characters that other systems refuse in file names replaced,
/// and the title cut so the whole name stays within 200 bytes of UTF-8.
QString pdfFileName(qint64 position, int digits, const QString& title, int copy = 1);

/// Where print() sends the page it rendered.
class PrintOutput {
public:
    virtual ~PrintOutput() = default;
    /// Hands one page over. Raises dv::AppError when the destination refuses it,
    /// which no later page could get past either.
    virtual void deliver(const PrintedPage& page) = 0;
};

/// The output of a whole print run: opened before the first entry, told which
/// entry is printed, finished after the last one.
class RunOutput : public PrintOutput {
public:
    /// Raises dv::AppError when no page could reach the destination (a folder
    /// that cannot be written); the run then ends before its first page.
    virtual void open(qint64 entryCount) { (void)entryCount; }
    /// The entry about to be loaded: its 1-based position in the list.
    void startEntry(qint64 position) { position_ = position; }
    /// Answers whether the entry now printed has failed (it is in the Error Log).
    void setFailureCheck(std::function<bool()> failed) { entryFailed_ = std::move(failed); }
    /// After the last entry. Raises dv::AppError when the output cannot be completed.
    virtual void finish() { }

protected:
    qint64 position() const { return position_; }
    bool entryFailed() const { return entryFailed_ && entryFailed_(); }

private:
    qint64 position_ = 0;
    std::function<bool()> entryFailed_;
};

/// The output for a destination. Printers get every page, the failed ones too (as
/// the engine shows them); PDF outputs keep only the pages of entries that did not fail.
std::unique_ptr<RunOutput> makeRunOutput(const PrintDestination& destination);

} // namespace dv
