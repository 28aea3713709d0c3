#pragma once

#include "sending.h"

#include <QDialog>
#include <QFrame>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace dv {
struct Services;
}

/// A clickable panel of the feedback form's like/dislike strip: a picture at the
/// left, its caption centred, and a chosen and a not-chosen look from the palette.
class ChoicePanel : public QFrame {
    Q_OBJECT

public:
    ChoicePanel(const QString& caption, const QString& picture, QWidget* parent);

    QLabel* picture() const { return picture_; }
    QString text() const { return caption_; }
    void setText(const QString& caption);
    bool isChosen() const { return chosen_; }
    /// Chosen: highlight background, highlighted text, lowered bevel. Not chosen:
    /// button face, window text, raised bevel.
    void setChosen(bool chosen);

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void applyLook();

    QLabel* picture_ = nullptr;
    QString caption_;
    bool chosen_ = false;
};

/// The feedback form: like or dislike, free text and an optional e-mail address,
/// posted to the maker's feedback service. Deletes itself when closed.
class FeedbackWindow : public QDialog {
    Q_OBJECT

public:
    /// poster sends the form; empty means the real HTTP form client.
    explicit FeedbackWindow(dv::Services& services, QWidget* parent = nullptr, dv::about::FormPoster poster = {});

    static constexpr int FeedbackMaxLength = 10000;
    static constexpr int EmailMaxLength = 100;

    dv::about::Opinion opinion() const;

public slots:
    void chooseLike();
    void chooseDislike();
    /// "Send": posts the form and says how it went.
    void send();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void startUp();
    void buildLayout();
    void limitFeedbackLength();

    dv::Services& services_;
    dv::about::FormPoster post_;
    bool centred_ = false;
    ChoicePanel* likePanel_ = nullptr;
    QLabel* likePicture_ = nullptr;
    ChoicePanel* dislikePanel_ = nullptr;
    QLabel* dislikePicture_ = nullptr;
    QLabel* appreciationLabel_ = nullptr;
    QLabel* questionLabel_ = nullptr;
    QPlainTextEdit* feedbackText_ = nullptr;
    QLabel* emailLabel_ = nullptr;
    QLineEdit* emailEdit_ = nullptr;
    QPushButton* sendButton_ = nullptr;
};
