#pragma once

#include <QString>
#include <QWidget>

class QFrame;
class QLabel;
class QMouseEvent;
class QVariantAnimation;
class QTimer;
class QToolButton;

namespace dv {
class Shell;

/// The address the notice's link opens: the service's download address when it
/// is an http or https URL with a host, otherwise (empty, a local path, file:,
/// javascript:, anything else) the maker's home page.
QString DownloadAddressToOpen(const QString& downloadUrl);
/// The maker's home page.
QString MakerHomePage();
} // namespace dv

/// Counts the notice's seconds down to its closing; process-wide, starts at 11
/// and is never reset.
extern qint64 updateNoticeCountdown;

/// "UPDATE AVAILABLE": a small borderless window on top, in the top-right corner
/// of the primary screen, that grows into view, offers a link to download
/// NewVersion, hands the focus back to the main window and closes itself on the
/// eleventh tick of its countdown. Closing hides it; it is not shown again.
class UpdateNotice : public QWidget {
    Q_OBJECT

public:
    /// Created invisible; the show timer shows it. mainWindow gets the focus back.
    UpdateNotice(dv::Shell& shell, QWidget* mainWindow);

    bool isDragging() const { return dragging_; }

    /// The length of the grow and collapse animations.
    static constexpr int AnimationMs = 100;

public slots:
    /// One second of the countdown; the last one closes the notice.
    void countDown();
    /// Opens the download address (or the home page) and closes the notice.
    void openDownload();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private slots:
    void placeAndFill();
    void showNotice();
    void followLinkHover();
    void closeNotice();

private:
    void startDrag(QMouseEvent* event);
    void continueDrag(QMouseEvent* event);
    void endDrag(QMouseEvent* event);
    void buildLayout();
    void animate(bool grow);

    QFrame* frame_ = nullptr;
    QLabel* picture_ = nullptr;
    QWidget* textPanel_ = nullptr;
    QLabel* titleLabel_ = nullptr;
    QLabel* downloadLink_ = nullptr;
    QWidget* closePanel_ = nullptr;
    QToolButton* closeButton_ = nullptr;
    // Shows the notice right after it is made.
    QTimer* showTimer_ = nullptr;
    QTimer* countdownTimer_ = nullptr;
    // The link follows the mouse pointer in its colour.
    QTimer* linkHoverTimer_ = nullptr;

    bool dragging_ = false;
    int dragX_ = 0;
    int dragY_ = 0;
    dv::Shell& shell_;
    QWidget* mainWindow_;
    QVariantAnimation* animation_ = nullptr;
};
