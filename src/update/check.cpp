#include "check.h"

#include "dialogs.h"
#include "httpform.h"
#include "identity.h"
#include "settings.h"
#include "updateanswer.h"

#include <QCoreApplication>
#include <QDate>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSysInfo>

#include <utility>

Q_LOGGING_CATEGORY(lcUpdate, "dorvantis.update")

bool CheckStarted = false;
std::atomic<bool> CheckDone{false};
bool UpdateAvailable = false;
QString& NewVersion = *new QString;
QString& DownloadURL = *new QString;
int ShowUpdate = 0;
dv::SettingsStore* UpdateSettings = nullptr;

namespace dv {

namespace {

// The service's important message, on the interface thread; the worker waits
// until it is closed.
void showImportant(const CheckConfig& config, const QString& text)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || !config.dialogs)
        return;
    Dialogs* dialogs = config.dialogs;
    const QPointer<QWidget> parent = config.dialogParent;
    auto show = [dialogs, parent, text] {
        try {
            dialogs->messageBox(parent.data(), text, QStringLiteral("IMPORTANT"), MB_ICONWARNING);
        } catch (const std::exception& e) {
            qCWarning(lcUpdate) << "important message failed:" << e.what();
        }
    };
    if (QThread::currentThread() == app->thread())
        show();
    else
        QMetaObject::invokeMethod(app, show, Qt::BlockingQueuedConnection);
}

} // namespace

CheckConfig DefaultCheckConfig(const RegistryStore& registry, Dialogs& dialogs, QWidget* dialogParent)
{
    CheckConfig c;
    c.registry = registry;
    c.dialogs = &dialogs;
    c.dialogParent = dialogParent;
    c.httpsAddress = MakerUrl(QStringLiteral("https"), QStringLiteral("/php/check2.php"));
    c.httpAddress = MakerUrl(QStringLiteral("http"), QStringLiteral("/php/check2.php"));
    c.today = &TodayText;
    c.appTitle = AppTitle;
    c.appVersion = AppVersion;
    c.os = OsDescription();
    c.locale = LocaleTag(QLocale::system());
    return c;
}

QString TodayText()
{
    return QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
}

QString OsDescription(const QString& prettyName, const QString& kernelVersion, const QString& cpuArchitecture)
{
    static const QRegularExpression release(QStringLiteral("^(\\d+)(?:\\.(\\d+))?(?:\\.(\\d+))?"));
    const QRegularExpressionMatch m = release.match(kernelVersion);
    const int major = m.captured(1).toInt();
    const int minor = m.captured(2).toInt();
    const int patch = m.captured(3).toInt();
    const bool wide = cpuArchitecture.endsWith(QLatin1String("64")) || cpuArchitecture == QLatin1String("s390x");
    return QStringLiteral("%1 (Version %2.%3, Build %4, %5)")
        .arg(prettyName.isEmpty() ? QStringLiteral("Linux") : prettyName)
        .arg(major)
        .arg(minor)
        .arg(patch)
        .arg(wide ? QStringLiteral("64-bit Edition") : QStringLiteral("32-bit Edition"));
}

QString OsDescription()
{
    return OsDescription(QSysInfo::prettyProductName(), QSysInfo::kernelVersion(), QSysInfo::currentCpuArchitecture());
}

QString LocaleTag(const QLocale& locale)
{
    if (locale.language() == QLocale::C || locale.language() == QLocale::AnyLanguage
        || locale.territory() == QLocale::AnyTerritory)
        return QStringLiteral("xx");
    const QString name = locale.name(); // "en_US"
    if (!name.contains(QLatin1Char('_')))
        return QStringLiteral("xx");
    return QString(name).replace(QLatin1Char('_'), QLatin1Char('-'));
}

QString TagValue(const QString& line, const QString& tag)
{
    if (line.isEmpty() || tag.isEmpty())
        return {};
    const QString open = QLatin1Char('<') + tag.toLower() + QLatin1Char('>');
    const QString close = QLatin1String("</") + tag.toLower() + QLatin1Char('>');
    if (line.size() < open.size() + close.size() || !line.startsWith(open) || !line.endsWith(close))
        return {};
    return line.mid(open.size(), line.size() - open.size() - close.size());
}

QStringList AnswerLines(const QString& answer)
{
    static const QRegularExpression breaks(QStringLiteral("\\r\\n|\\r|\\n"));
    if (answer.isEmpty())
        return {};
    QStringList lines = answer.split(breaks);
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

bool AnswerAccepted(const QString& answer, const QStringList& lines)
{
    return !answer.startsWith(QLatin1String("ERROR")) && lines.size() >= 4
        && lines[3] == QLatin1String(AnswerCompleteLine);
}

QStringList CheckRequestFields(const CheckConfig& config)
{
    return {
        QStringLiteral("cmd=check"),
        QStringLiteral("appname=") + config.appTitle,
        QStringLiteral("version=") + config.appVersion,
        QStringLiteral("os=") + config.os,
        QStringLiteral("local=") + config.locale,
    };
}

void CheckForUpdate(const CheckConfig& config)
{
    const QString section = QLatin1String(SettingsSection);
    bool CheckFailed = false;

    delete std::exchange(UpdateSettings, new SettingsStore(config.registry, config.appTitle));
    SettingsStore& store = *UpdateSettings;
    // The store's failures never end the check: reads give defaults, writes are dropped.
    auto readText = [&](const char* name) {
        try {
            return store.ReadString(section, QLatin1String(name), QString());
        } catch (const std::exception&) {
            return QString();
        }
    };
    auto readNumber = [&](const char* name, int fallback) {
        try {
            return store.ReadInteger(section, QLatin1String(name), fallback);
        } catch (const std::exception&) {
            return fallback;
        }
    };
    auto write = [&](const char* name, const QString& value) {
        try {
            store.WriteString(section, QLatin1String(name), value);
        } catch (const std::exception& e) {
            qCDebug(lcUpdate) << "cannot store" << name << e.what();
        }
    };

    const QString lastCheck = readText("LastUpdateCheck");
    int count = readNumber("LastUpdateCheckCount", 0);
    write("InstalledVersion", config.appVersion);
    const QString storedUrl = readText("CurrentURL");
    if (!storedUrl.isEmpty())
        DownloadURL = UnscrambleText(storedUrl, ScrambleSeed);
    ShowUpdate = readNumber("ShowUpdate", 1);

    const QString today = config.today ? config.today() : TodayText();
    const bool enoughToday = lastCheck == today && count >= 5;
    if (ShowUpdate != 0 && !enoughToday) {
        try {
            const QStringList fields = CheckRequestFields(config);
            QString answer;
            try {
                answer = PostForm(config.httpsAddress, fields, config.timeoutMs);
            } catch (const std::exception& e) {
                qCDebug(lcUpdate) << "https attempt failed:" << e.what();
                CheckFailed = true;
                try {
                    answer = PostForm(config.httpAddress, fields, config.timeoutMs);
                    CheckFailed = false;
                } catch (const std::exception& e2) {
                    qCDebug(lcUpdate) << "http attempt failed:" << e2.what();
                    CheckFailed = true;
                }
            }
            const std::optional<UpdateAnswer> accepted = CheckFailed ? std::nullopt : readUpdateAnswer(answer);
            if (!accepted)
                CheckFailed = true;

            if (!CheckFailed) {
                count = lastCheck == today ? count + 1 : 1;
                write("LastUpdateCheck", today);
                write("LastUpdateCheckCount", QString::number(count));

                NewVersion = accepted->version;
                write("CurrentVersion", NewVersion);
                DownloadURL = accepted->downloadUrl;
                write("CurrentURL", ScrambleText(DownloadURL, ScrambleSeed));

                if (accepted->showImportant)
                    showImportant(config, accepted->important);

                UpdateAvailable = announcesOtherVersion(NewVersion, config.appVersion) && ShowUpdate == 1
                    && (lastCheck != today || count < 5);
            }
        } catch (const std::exception& e) {
            qCDebug(lcUpdate) << "update check failed:" << e.what();
        }
    }
    CheckDone.store(true, std::memory_order_release);
}

UpdateCheckWorker::UpdateCheckWorker(CheckConfig config)
    : config_(std::move(config))
{
}

void UpdateCheckWorker::launch(CheckConfig config)
{
    auto* worker = new UpdateCheckWorker(std::move(config));
    QObject::connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
}

void UpdateCheckWorker::run()
{
    CheckDone.store(false, std::memory_order_relaxed);
    CheckForUpdate(config_);
}

void ResetUpdateCheckState()
{
    CheckStarted = false;
    CheckDone.store(false);
    UpdateAvailable = false;
    NewVersion.clear();
    DownloadURL.clear();
    ShowUpdate = 0;
    delete std::exchange(UpdateSettings, nullptr);
}

} // namespace dv
