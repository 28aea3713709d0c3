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
class LinkLabel : public QLabel {
    Q_OBJECT

public:
    explicit LinkLabel(QWidget* parent);

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
class AboutBox : public QDialog {
    Q_OBJECT

public:
    /// executableDir is the folder whose "license.txt" the box shows.
    AboutBox(dv::Services& services, QString executableDir, QWidget* parent = nullptr);

    dv::about::Rain& rain() { return rain_; }
    bool isDragging() const { return dragging_; }

public slots:
    /// One frame of the rain; the rain timer calls it every 50 ms.
    void stepRain();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void closeBox();
    void showInfoMenu();
    void openHomePage();
    void openCredits();
    void openUninstallHelp();
    void showLicense();
    void loadLogo();

private:
    void buildLayout();
    void startUp();
    void blankSurface();
    void resetRain();
    void followScreenDensity();
    void startRain();
    void startDrag(QMouseEvent* event);
    void continueDrag(QMouseEvent* event);
    void endDrag(QMouseEvent* event);
    QSize deviceSize(QSize logical) const;

    dv::Services& services_;
    QString executableDir_;
    QFrame* infoPanel_ = nullptr;
    QLabel* logo_ = nullptr;
    QFrame* iconBevel_ = nullptr;
    QLabel* productIcon_ = nullptr;
    QLabel* productLabel_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* infoButton_ = nullptr;
    LinkLabel* homePageLink_ = nullptr;
    QTimer* rainTimer_ = nullptr;
    QMenu* infoMenu_ = nullptr;
    QAction* creditsAction_ = nullptr;
    QAction* uninstallHelpAction_ = nullptr;
    QAction* licenseAction_ = nullptr;

    dv::about::Rain rain_;
    // Set when the rain asked for the repaint; any other paint blanks the surface.
    bool rainRepaint_ = false;
    bool centred_ = false;
    qreal renderedRatio_ = 0;
    bool dragging_ = false;
    QPoint dragOffset_;
};
