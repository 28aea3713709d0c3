#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>

namespace dv
{

/// One page as the engine printed it.
struct PrintedPage {
    /// The list entry: the job is named after it.
    QString address;
    /// The page's title, or its file name (see titleForPage).
    QString title;
    QByteArray pdf;
};

/// Where a printed page is sent.
class PrintOutput
{
public:
    virtual ~PrintOutput() = default;
    /// Hands one page over and says where it went (queue and job id, or file);
    /// empty when the page was not kept. Raises dv::AppError when the destination
    /// refuses it, which no later page could get past either, and
    /// dv::PagePrintError when this page alone cannot be handed over.
    virtual QString deliver(const PrintedPage& page) = 0;
};

/// The output of a whole print run: opened before the first entry, told which
/// entry is printed, finished after the last one. Its calls may come from a
/// thread of their own, one at a time.
class RunOutput : public PrintOutput
{
public:
    /// Raises dv::AppError when no page could reach the destination (a folder
    /// that cannot be written); the run then ends before its first page.
    virtual void open(qint64 entryCount) { (void)entryCount; }
    /// The entry about to be handed over: its 1-based position in the list.
    void startEntry(qint64 position) { position_ = position; }
    /// Answers whether the entry now handed over has failed (it is in the Error Log).
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

} // namespace dv
