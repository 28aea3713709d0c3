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
extern qint64 NewVerCloseCountdown;

/// "UPDATE AVAILABLE": a small borderless window on top, in the top-right corner
/// of the primary screen, that grows into view, offers a link to download
/// NewVersion, hands the focus back to the main window and closes itself on the
/// eleventh tick of its countdown. Closing hides it; it is not shown again.
class TNewVer : public QWidget {
    Q_OBJECT

public:
    /// Created invisible; TimerStart shows it. mainWindow gets the focus back.
    TNewVer(dv::Shell& shell, QWidget* mainWindow);

    QFrame* Panel1 = nullptr;
    QLabel* Image1 = nullptr;
    QWidget* Panel2 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QWidget* Panel3 = nullptr;
    QToolButton* Button1 = nullptr;
    QTimer* TimerStart = nullptr;
    QTimer* TimerClose = nullptr;
    QTimer* TimerLink = nullptr;

    bool dragging = false;
    int dx = 0;
    int dy = 0;

    /// The length of the grow and collapse animations.
    static constexpr int AnimationMs = 100;

public slots:
    void FormCreate();
    void TimerStartTimer();
    void TimerCloseTimer();
    void TimerLinkTimer();
    void Label2Click();
    void Button1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormMouseDown(QMouseEvent* event);
    void FormMouseMove(QMouseEvent* event);
    void FormMouseUp(QMouseEvent* event);
    void buildLayout();
    void animate(bool grow);

    dv::Shell& shell_;
    QWidget* mainWindow_;
    QVariantAnimation* animation_ = nullptr;
};
