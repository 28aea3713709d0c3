#pragma once

#include "registry.h"

#include <QLocale>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QWidget>

#include <atomic>
#include <functional>

namespace dv {
class Dialogs;
class SettingsStore;
} // namespace dv

// What the update check reports to the user-interface thread. The worker writes
// them and sets CheckDone last (release); the interface reads CheckDone (acquire)
// before anything else. The texts and the store are never destroyed: the program
// does not wait for the worker at exit, so it may still write them then.
extern bool CheckStarted;
extern std::atomic<bool> CheckDone;
extern bool UpdateAvailable;
extern QString& NewVersion;
extern QString& DownloadURL;
extern int ShowUpdate;
extern dv::SettingsStore* UpdateSettings;

namespace dv {

/// The section of the settings store all values live in.
inline constexpr const char* SettingsSection = "Settings";

/// Everything one update check needs, so tests can aim it at a fake service and
/// a fixed day. DefaultCheckConfig gives the program's own.
struct CheckConfig {
    RegistryStore registry{QString()};
    Dialogs* dialogs = nullptr;
    /// The owner of the "IMPORTANT" message box; may go away meanwhile.
    QPointer<QWidget> dialogParent;
    QString httpsAddress;
    QString httpAddress;
    /// Today's date as text; a change of format counts as a new day.
    std::function<QString()> today;
    QString appTitle;
    QString appVersion;
    QString os;
    QString locale;
    int timeoutMs = 10000;
};

/// The service at the maker's host ("/php/check2.php" over https, then http), the
/// system's short date, AppTitle and AppVersion, this system's description and
/// the user's locale.
CheckConfig DefaultCheckConfig(const RegistryStore& registry, Dialogs& dialogs, QWidget* dialogParent);

/// Today's date in the user's short date format.
QString TodayText();

/// "<name> (Version <major>.<minor>, Build <patch>, 64-bit Edition)" from the
/// distribution's pretty name, the kernel release ("6.1.0-18-amd64") and the
/// machine's architecture.
QString OsDescription(const QString& prettyName, const QString& kernelVersion, const QString& cpuArchitecture);
/// The description of the running system.
QString OsDescription();

/// The locale as language-region ("en-US"), or "xx" when it names none (C, POSIX).
QString LocaleTag(const QLocale& locale);

/// The text between "<tag>" and "</tag>" when the line is exactly that, else empty.
QString TagValue(const QString& line, const QString& tag);

/// The answer's lines, split at CR LF, CR or LF; a final line break ends the
/// last line rather than starting an empty one.
QStringList AnswerLines(const QString& answer);

/// The line 3 every complete answer carries.
inline constexpr const char* AnswerCompleteLine = "<status>OK</status>";

/// Whether the service's answer may be used: not a refusal ("ERROR..."), at least
/// four lines, and line 3 marking it complete.
bool AnswerAccepted(const QString& answer, const QStringList& lines);

/// The request's form fields: cmd, appname, version, os, local.
QStringList CheckRequestFields(const CheckConfig& config);

/// One update check: reads and writes the settings store, asks the service,
/// shows the service's important message and sets the variables above, CheckDone
/// last. Never raises. Called on a worker thread, it opens the message box on the
/// interface thread and waits for it to close.
void CheckForUpdate(const CheckConfig& config);

/// The update-check worker: runs one check on its own thread and deletes itself
/// when done. Nobody waits for it.
class UpdateCheckWorker : public QThread {
    Q_OBJECT

public:
    explicit UpdateCheckWorker(CheckConfig config);
    /// Starts a worker that frees itself when finished.
    static void launch(CheckConfig config);

protected:
    void run() override;

private:
    CheckConfig config_;
};

/// Puts the process-wide state back as the program starts with it (for tests).
void ResetUpdateCheckState();

} // namespace dv
