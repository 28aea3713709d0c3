#pragma once

#include "rain.h"

#include <QDialog>
#include <QLabel>
#include <QPoint>

class QAction;
class QFrame;
class QMenu;
class QPushButton;
class QTimer;

namespace dv {
struct Services;
}

/// A label that acts as a web link: hand cursor, opens on a click or, when it has
/// the keyboard focus, on Enter or Space.
class TLinkLabel : public QLabel {
    Q_OBJECT

public:
    explicit TLinkLabel(QWidget* parent);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

/// The about box: product, version and icon with the maker's logo on black, a
/// rain of letters in the margin, links to the maker's pages and the license text.
/// Deletes itself when closed.
class TAboutBox : public QDialog {
    Q_OBJECT

public:
    /// executableDir is the folder whose "license.txt" the box shows.
    TAboutBox(dv::Services& services, QString executableDir, QWidget* parent = nullptr);

    QFrame* Panel1 = nullptr;
    QLabel* Image2 = nullptr;
    QFrame* Bevel1 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    TLinkLabel* Label5 = nullptr;
    QTimer* tmTimer = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* Credits1 = nullptr;
    QAction* Howtouninstall1 = nullptr;
    QAction* LicensePrivacyPolicy1 = nullptr;

    dv::about::Rain& rain() { return rain_; }
    bool isDragging() const { return dragging; }

public slots:
    void tmTimerTimer();
    void BitBtn1Click();
    void BitBtn2Click();
    void Label5Click();
    void Credits1Click();
    void Howtouninstall1Click();
    void LicensePrivacyPolicy1Click();
    void HighDPIImageYukle();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();
    void FormCreate();
    void FormPaint();
    void FormResize();
    void FormAfterMonitorDpiChanged();
    void RainStart();
    void FormMouseDown(QMouseEvent* event);
    void FormMouseMove(QMouseEvent* event);
    void FormMouseUp(QMouseEvent* event);
    QSize deviceSize(QSize logical) const;

    dv::Services& services_;
    QString executableDir_;
    dv::about::Rain rain_;
    // Set when the rain asked for the repaint; any other paint blanks the surface.
    bool rainRepaint_ = false;
    bool centred_ = false;
    qreal renderedRatio_ = 0;
    bool dragging = false;
    QPoint dxy;
};
