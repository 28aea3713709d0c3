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
class TChoicePanel : public QFrame {
    Q_OBJECT

public:
    TChoicePanel(const QString& caption, const QString& picture, QWidget* parent);

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
class TFeedbackForm : public QDialog {
    Q_OBJECT

public:
    /// poster sends the form; empty means the real HTTP form client.
    explicit TFeedbackForm(dv::Services& services, QWidget* parent = nullptr, dv::about::FormPoster poster = {});

    TChoicePanel* Panel4 = nullptr;
    QLabel* Image1 = nullptr;
    TChoicePanel* Panel5 = nullptr;
    QLabel* Image2 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* BitBtn1 = nullptr;

    static constexpr int MemoMaxLength = 10000;
    static constexpr int EmailMaxLength = 100;

    dv::about::Opinion opinion() const;

public slots:
    void Image1Click();
    void Image2Click();
    void BitBtn1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void buildLayout();
    void limitMemoLength();

    dv::Services& services_;
    dv::about::FormPoster post_;
    bool centred_ = false;
};
