#pragma once

#include "errors.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

class QWidget;

namespace dv
{

/// A failure of one entry's page that the next page need not share: it will not
/// render, its render process hung or died, or the entry brought no page of its own.
/// A print run logs it for that entry and goes on.
class PagePrintError : public AppError
{
public:
    using AppError::AppError;
};

/// One entry's page as printed: on sheets, with its header and footer.
struct RenderedPage {
    /// The list entry it was loaded for.
    QString address;
    /// The page's title, or its file name (see titleForPage).
    QString title;
    /// Where the page ended up after redirects and moves of its own.
    QUrl finalUrl;
    /// The HTTP status of the page's response where one is known, else 0.
    int httpStatus = 0;
    QByteArray pdf;
    int sheets = 0;
};

/// Loads the entries of a print run and renders them, several pages side by side.
/// Pages are numbered from 0 to pageCount() - 1; each holds one entry at a time.
/// Nothing it reports comes before the call that asked for it returns.
class PageSource : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    /// Makes room for count pages at once (at least one). Between runs only.
    virtual void setPageCount(int count) = 0;
    virtual int pageCount() const = 0;
    /// The widget that shows the page in sight; it fills its parent pane.
    virtual QWidget* widget() = 0;
    /// Starts loading address (a local path or a URL, as the list holds it) into
    /// page, which lets go of the entry it held. loaded(page) follows when the load
    /// ends, after navigateError(page, url) for each failure it met. Raises
    /// dv::AppError when no load can be started at all.
    virtual void load(int page, const QString& address) = 0;
    /// Gives up the load under way in page: the page keeps what it shows so far,
    /// and no loaded() follows for this load.
    virtual void stopLoading(int page) = 0;
    /// Makes page the one in sight.
    virtual void show(int page) = 0;
    /// Prints the page's document with the page setup, without a dialog. Either
    /// rendered(page, ...) or renderFailed(page, ...) follows.
    virtual void render(int page) = 0;
    /// Lets page go: a load or render under way is dropped and reports nothing more.
    virtual void release(int page) = 0;
    /// Whether page's render process ended since its load began (another page's
    /// hung renderer may take it along): what it holds cannot print, though a fresh
    /// load of the same entry could.
    virtual bool lost(int page) const
    {
        Q_UNUSED(page);
        return false;
    }

signals:
    /// A navigation of the page's entry failed; url is the failed address.
    void navigateError(int page, const QString& url);
    void loaded(int page);
    void rendered(int page, const dv::RenderedPage& printed);
    /// The page could not be printed. wholeRun: nor could any other (no printer).
    void renderFailed(int page, const QString& message, bool wholeRun);
};

} // namespace dv
