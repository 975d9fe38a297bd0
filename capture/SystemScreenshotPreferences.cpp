#include "capture/SystemScreenshotPreferences.h"

#include "model/ClipboardItem.h"
#include "platform/api/ProcessRunner.h"

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>

namespace tarno {

namespace {

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

std::optional<QString> decodeUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
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

SystemScreenshotPreferences::SystemScreenshotPreferences(ProcessRunner &runner, QString homeFolder)
    : m_runner(runner), m_home(withoutTrailingSlashes(homeFolder.isEmpty() ? QDir::homePath() : homeFolder))
{}

bool SystemScreenshotPreferences::runDefaults(const QStringList &arguments) const
{
    return m_runner.run(defaultsTool, arguments).succeeded();
}

std::optional<QString> SystemScreenshotPreferences::readScreencaptureValue(const QString &key) const
{
    const ProcessResult result = m_runner.run(defaultsTool, {QStringLiteral("read"), domain, key});
    if (!result.succeeded())
        return std::nullopt;
    const std::optional<QString> text = decodeUtf8(result.standardOutput);
    if (!text)
        return std::nullopt;
    return trimmedText(*text);
}

void SystemScreenshotPreferences::restartScreenshotServices() const
{
    m_runner.launchDetached(killallTool, {QStringLiteral("SystemUIServer")});
    m_runner.launchDetached(killallTool, {QStringLiteral("screencaptureui")});
}

bool SystemScreenshotPreferences::enableClipboardScreenshots() const
{
    const QString clipboard = rawValue(ScreenshotTarget::clipboard);
    if (!runDefaults({QStringLiteral("write"), domain, QStringLiteral("target"), clipboard}))
        return false;
    restartScreenshotServices();
    return readScreencaptureValue(QStringLiteral("target")) == clipboard;
}

bool SystemScreenshotPreferences::isClipboardScreenshotTargetActive() const
{
    return readScreencaptureValue(QStringLiteral("target")) == rawValue(ScreenshotTarget::clipboard);
}

std::optional<QString> SystemScreenshotPreferences::systemScreenshotLocation() const
{
    const std::optional<QString> location = readScreencaptureValue(QStringLiteral("location"));
    // A relative path would be taken against whatever folder the program happens to run in.
    if (!location || location->isEmpty() || !QDir::isAbsolutePath(*location))
        return std::nullopt;
    if (!QFileInfo(*location).isDir())
        return std::nullopt;
    return withoutTrailingSlashes(*location);
}

QStringList SystemScreenshotPreferences::screenshotFolders() const
{
    QStringList folders;
    if (const std::optional<QString> location = systemScreenshotLocation())
        folders << *location;
    const QString desktop = below(m_home, QStringLiteral("Desktop"));
    if (!folders.contains(desktop))
        folders << desktop;
    const QString screenshots = below(m_home, QStringLiteral("Pictures/Screenshots"));
    if (QFileInfo::exists(screenshots))
        folders << screenshots;
    return folders;
}

} // namespace tarno
