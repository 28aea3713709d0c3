#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace dv::about {

/// Posts form fields to an address with a time-out in milliseconds and returns the
/// answer's text; raises an error when the request fails.
using FormPoster = std::function<QString(const QString& address, const QStringList& fields, int timeoutMs)>;

/// The like/dislike choice of the feedback form.
enum class Opinion { None, Like, Dislike };

inline constexpr int FeedbackTimeoutMs = 3000;

/// Text with every leading and trailing character up to U+0020 removed (spaces,
/// line breaks, tabs and other control characters, but not other Unicode spaces).
QString TrimControl(const QString& text);

/// True when text is one plain ASCII e-mail address: local part, "@", a domain
/// of at least two labels whose last character is a letter or digit.
bool IsValidEmail(const QString& text);

/// "I like it!" or "I dislike it!" and a carriage return for a choice, then the
/// trimmed memo text. Empty when there is nothing to send.
QString FeedbackText(Opinion opinion, const QString& memoText);

/// The form's fields in the order the service expects; the e-mail line only when
/// an address is given.
QStringList FeedbackFields(const QString& appTitle, const QString& appVersion, const QString& feedback,
    const QString& email);

/// True when the service's answer says the feedback arrived: exactly "OK" once
/// trimmed.
bool IsReceivedAnswer(const QString& answer);

/// Posts the fields to the feedback service over https and, only when that
/// raises an error, once more over plain http. True when the answer says the
/// feedback arrived; every failure is false.
bool DeliverFeedback(const FormPoster& post, const QStringList& fields);

} // namespace dv::about
