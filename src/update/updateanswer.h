#pragma once

#include <QString>

#include <optional>

namespace dv {

/// What an accepted answer of the update service says, as the check stores and shows it.
struct UpdateAnswer {
    /// Line 0's version, stored as CurrentVersion; may be empty.
    QString version;
    /// Line 1's download address, stored scrambled as CurrentURL as it came. The notice
    /// opens it only when it is a web address (DownloadAddressToOpen).
    QString downloadUrl;
    /// Line 5's important message as it came; empty when there is none.
    QString important;
    /// Whether the important message holds more than blanks and control characters,
    /// and so is shown.
    bool showImportant = false;
};

/// The values of the service's answer text, or nothing when the answer is refused
/// (AnswerAccepted: a refusal, too few lines or no complete mark).
std::optional<UpdateAnswer> readUpdateAnswer(const QString& answer);

/// Whether the announced version calls for the notice, as far as the version goes: it
/// differs from the running version as text, and with its dots removed it parses as a
/// 32-bit signed integer. There is no comparison of magnitude.
bool announcesOtherVersion(const QString& newVersion, const QString& runningVersion);

} // namespace dv
