#include "capture/SystemScreenshotPreferences.h"

#include "capture/PasteboardReader.h"
#include "capture/ToolConfigFiles.h"
#include "platform/api/ProcessRunner.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

namespace tarno {

namespace {

const QString spectacle = QStringLiteral("Spectacle");
const QString spectacleConfig = QStringLiteral("spectaclerc");
const QString spectacleClipboardKey = QStringLiteral("clipboardGroup");
const QString spectacleCopyImage = QStringLiteral("PostScreenshotCopyImage");

QString withoutTrailingSlashes(QString path)
{
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

QString below(const QString &folder, const QString &relative)
{
    return folder.endsWith(u'/') ? folder + relative : folder + u'/' + relative;
}

// A tool's folder setting as a local folder: a file URI, an absolute path, or one below "~/".
std::optional<QString> localFolder(const QString &home, const QString &setting)
{
    QString path;
    if (setting.startsWith(QStringLiteral("file:")))
        path = QUrl(setting).toLocalFile();
    else if (setting.startsWith(QStringLiteral("~/")))
        path = below(home, setting.mid(2));
    else
        path = setting;
    if (path.isEmpty() || !QDir::isAbsolutePath(path))
        return std::nullopt;
    path = withoutTrailingSlashes(QDir::cleanPath(path));
    if (!QFileInfo(path).isDir())
        return std::nullopt;
    return path;
}

// What a translated name begins with: the text before its first placeholder.
QString beforePlaceholder(const QString &format)
{
    const qsizetype at = format.indexOf(QStringLiteral("%s"));
    return at < 0 ? format : format.left(at);
}

// The variants gettext tries for one locale name: de_DE.UTF-8@euro gives de_DE@euro, de_DE, de@euro, de.
QStringList languageVariants(const QString &locale)
{
    QString name = locale;
    QString modifier;
    if (const qsizetype at = name.indexOf(u'@'); at >= 0) {
        modifier = name.mid(at);
        name.truncate(at);
    }
    if (const qsizetype dot = name.indexOf(u'.'); dot >= 0)
        name.truncate(dot);
    QStringList variants;
    const auto add = [&variants](const QString &variant) {
        if (!variant.isEmpty() && !variants.contains(variant))
            variants << variant;
    };
    const QString language = name.section(u'_', 0, 0);
    if (!modifier.isEmpty())
        add(name + modifier);
    add(name);
    if (!modifier.isEmpty())
        add(language + modifier);
    add(language);
    return variants;
}

} // namespace

QString rawValue(ScreenshotTarget target)
{
    switch (target) {
    case ScreenshotTarget::clipboard:
        return QStringLiteral("clipboard");
    case ScreenshotTarget::file:
        return QStringLiteral("file");
    case ScreenshotTarget::unknown:
        break;
    }
    return QStringLiteral("unknown");
}

QStringList gettextLanguages(const QString &language, const QString &lcAll, const QString &lcMessages,
                             const QString &lang)
{
    QString locale = !lcAll.isEmpty() ? lcAll : !lcMessages.isEmpty() ? lcMessages : lang;
    // Under the C locale gettext translates nothing, whatever LANGUAGE asks for.
    if (locale.isEmpty() || locale == u"C" || locale.startsWith(QStringLiteral("C.")) || locale == u"POSIX")
        return {};
    QStringList wanted = language.split(u':', Qt::SkipEmptyParts);
    if (wanted.isEmpty())
        wanted << locale;
    QStringList languages;
    for (const QString &name : std::as_const(wanted)) {
        for (const QString &variant : languageVariants(name)) {
            if (!languages.contains(variant))
                languages << variant;
        }
    }
    return languages;
}

ScreenshotEnvironment ScreenshotEnvironment::current()
{
    ScreenshotEnvironment environment;
    environment.home = withoutTrailingSlashes(QDir::homePath());
    const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    // A relative XDG_CONFIG_HOME is invalid and ignored, as every other program does.
    environment.configHome = QDir::isAbsolutePath(configHome)
                                 ? withoutTrailingSlashes(configHome)
                                 : below(environment.home, QStringLiteral(".config"));
    environment.languages =
        gettextLanguages(qEnvironmentVariable("LANGUAGE"), qEnvironmentVariable("LC_ALL"),
                         qEnvironmentVariable("LC_MESSAGES"), qEnvironmentVariable("LANG"));
    return environment;
}

ScreenshotFileNames::ScreenshotFileNames(QStringList translatedPrefixes)
    : m_prefixes(std::move(translatedPrefixes))
{}

bool ScreenshotFileNames::matches(const QString &path) const
{
    const QUrl url = QUrl::fromLocalFile(path);
    if (isScreenshotFileURL(url))
        return true;
    const QFileInfo info(path);
    const QString name = info.fileName();
    // Flameshot's "%F_%H-%M" and scrot's "%Y-%m-%d-%H%M%S_$wx$h_scrot", with the suffixes each adds
    // when the name is taken. Both write PNG by default; a date alone in another format is more
    // likely a photo.
    static const QRegularExpression toolDefaults(QStringLiteral(
        R"(^(\d{4}-\d{2}-\d{2}_\d{2}-\d{2}(_\d+)?|\d{4}-\d{2}-\d{2}-\d{6}_\d+x\d+_scrot(_\d+)?)\.png$)"));
    if (toolDefaults.match(name).hasMatch())
        return true;
    if (m_prefixes.isEmpty() || !screenshotFileExtensions().contains(info.suffix().toLower()))
        return false;
    const QString lowered = info.completeBaseName().toLower();
    for (const QString &prefix : m_prefixes) {
        if (lowered.startsWith(prefix))
            return true;
    }
    return false;
}

SystemScreenshotPreferences::SystemScreenshotPreferences(ProcessRunner &runner,
                                                         ScreenshotEnvironment environment)
    : m_runner(runner), m_environment(std::move(environment))
{
    m_environment.home = withoutTrailingSlashes(m_environment.home);
    if (m_environment.configHome.isEmpty())
        m_environment.configHome = below(m_environment.home, QStringLiteral(".config"));
}

bool SystemScreenshotPreferences::isInstalled(const QString &program) const
{
    const QFileInfo info(below(m_environment.programFolder, program));
    return info.isFile() && info.isExecutable();
}

std::optional<QString> SystemScreenshotPreferences::translated(const QString &domain,
                                                               const QString &message) const
{
    for (const QString &language : m_environment.languages) {
        const QString catalogue =
            below(m_environment.localeFolder,
                  language + QStringLiteral("/LC_MESSAGES/") + domain + QStringLiteral(".mo"));
        const std::optional<QByteArray> bytes = readSmallFile(catalogue);
        if (!bytes)
            continue;
        // gettext stops at the first catalogue there is, translated or not.
        return messageTranslation(*bytes, message);
    }
    return std::nullopt;
}

QStringList SystemScreenshotPreferences::configurableTools() const
{
    return isInstalled(QStringLiteral("spectacle")) ? QStringList{spectacle} : QStringList{};
}

ScreenshotClipboardStatus SystemScreenshotPreferences::clipboardScreenshotStatus() const
{
    ScreenshotClipboardStatus status;
    if (!isInstalled(QStringLiteral("spectacle")))
        return status;
    const QString path = below(m_environment.configHome, spectacleConfig);
    const std::optional<QByteArray> config = readSmallFile(path);
    if (!config && QFileInfo::exists(path)) {
        status.problem = QStringLiteral("Could not apply — Spectacle's settings could not be read");
        return status;
    }
    if (config && iniValue(*config, QStringLiteral("General"), spectacleClipboardKey) == spectacleCopyImage) {
        status.configuredTools << spectacle;
        return status;
    }
    status.problem = QStringLiteral("Could not apply — try toggling off and on");
    return status;
}

ScreenshotClipboardStatus SystemScreenshotPreferences::enableClipboardScreenshots() const
{
    ScreenshotClipboardStatus status = clipboardScreenshotStatus();
    if (status.applied() || !isInstalled(QStringLiteral("spectacle")))
        return status;
    const QString path = below(m_environment.configHome, spectacleConfig);
    const std::optional<QByteArray> config = readSmallFile(path);
    if (!config && QFileInfo::exists(path))
        return status;

    // A running Spectacle writes the file back when it ends; what it holds then is its own business.
    const ProcessResult running =
        m_runner.run(pgrepTool, {QStringLiteral("-x"), QStringLiteral("spectacle")});
    if (!running.exited() || running.exitStatus != 1) {
        status.problem = running.succeeded()
                             ? QStringLiteral("Could not apply — close Spectacle, then toggle off and on")
                             : QStringLiteral("Could not apply — cannot tell whether Spectacle is running");
        return status;
    }
    const std::optional<QByteArray> updated = withIniValue(
        config.value_or(QByteArray()), QStringLiteral("General"), spectacleClipboardKey, spectacleCopyImage);
    if (!updated || !replaceFile(path, *updated)) {
        status.problem = QStringLiteral("Could not apply — Spectacle's settings could not be written");
        return status;
    }
    return clipboardScreenshotStatus();
}

QString SystemScreenshotPreferences::picturesFolder() const
{
    const QString fallback = below(m_environment.home, QStringLiteral("Pictures"));
    const std::optional<QByteArray> dirs =
        readSmallFile(below(m_environment.configHome, QStringLiteral("user-dirs.dirs")));
    if (!dirs)
        return fallback;
    return userDirsValue(*dirs, QStringLiteral("XDG_PICTURES_DIR"), m_environment.home).value_or(fallback);
}

QString SystemScreenshotPreferences::screenshotsFolderName() const
{
    const QString name = QStringLiteral("Screenshots");
    const QString localised = translated(QStringLiteral("gnome-shell"), name).value_or(name);
    // A translation is one folder name, never a path.
    return localised.contains(u'/') || localised == u"." || localised == u".." ? name : localised;
}

QStringList SystemScreenshotPreferences::toolScreenshotFolders() const
{
    QStringList settings;
    if (isInstalled(QStringLiteral("gnome-screenshot"))) {
        const ProcessResult result =
            m_runner.run(gsettingsTool, {QStringLiteral("get"), QStringLiteral("org.gnome.gnome-screenshot"),
                                         QStringLiteral("auto-save-directory")});
        if (result.succeeded()) {
            if (const std::optional<QString> value = gvariantString(result.standardOutput))
                settings << *value;
        }
    }
    const auto fromFile = [&](const QString &program, const QString &file, const QString &group,
                              const QString &key) {
        if (!isInstalled(program))
            return;
        if (const std::optional<QByteArray> config = readSmallFile(below(m_environment.configHome, file))) {
            if (const std::optional<QString> value = iniValue(*config, group, key))
                settings << *value;
        }
    };
    fromFile(QStringLiteral("spectacle"), spectacleConfig, QStringLiteral("Save"),
             QStringLiteral("defaultSaveLocation"));
    fromFile(QStringLiteral("xfce4-screenshooter"), QStringLiteral("xfce4/xfce4-screenshooter"), QString(),
             QStringLiteral("screenshot_dir"));
    fromFile(QStringLiteral("flameshot"), QStringLiteral("flameshot/flameshot.ini"),
             QStringLiteral("General"), QStringLiteral("savePath"));

    QStringList folders;
    for (const QString &setting : std::as_const(settings)) {
        if (const std::optional<QString> folder = localFolder(m_environment.home, setting))
            folders << *folder;
    }
    return folders;
}

QStringList SystemScreenshotPreferences::screenshotFolders() const
{
    QStringList folders = toolScreenshotFolders();
    const QString pictures = picturesFolder();
    folders << below(m_environment.home, QStringLiteral("Desktop")) << pictures
            << below(pictures, screenshotsFolderName());
    const QString screenshots = below(m_environment.home, QStringLiteral("Pictures/Screenshots"));
    if (QFileInfo::exists(screenshots))
        folders << screenshots;
    folders.removeDuplicates();
    return folders;
}

ScreenshotFileNames SystemScreenshotPreferences::screenshotFileNames() const
{
    QStringList prefixes;
    const auto add = [&prefixes](const std::optional<QString> &translation, const QString &original,
                                 const QString &suffix) {
        if (!translation || *translation == original)
            return;
        const QString prefix = (beforePlaceholder(*translation) + suffix).toLower();
        if (!prefix.trimmed().isEmpty() && !prefixes.contains(prefix))
            prefixes << prefix;
    };
    const QString from = QStringLiteral("Screenshot from %s");
    add(translated(QStringLiteral("gnome-shell"), from), from, {});
    const QString fromWithType = QStringLiteral("Screenshot from %s.%s");
    add(translated(QStringLiteral("gnome-screenshot"), fromWithType), fromWithType, {});
    // xfce4-screenshooter joins the word and the date with an underscore.
    const QString word = QStringLiteral("Screenshot");
    add(translated(QStringLiteral("xfce4-screenshooter"), word), word, QStringLiteral("_"));
    return ScreenshotFileNames(prefixes);
}

} // namespace tarno
