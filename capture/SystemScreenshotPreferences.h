#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace tarno {

class ProcessRunner;

// Values the system's screenshot "target" preference is compared with. Only clipboard means the
// shortcuts copy to the clipboard; any other text, these two included, means they do not.
enum class ScreenshotTarget
{
    clipboard,
    file,
    unknown
};

QString rawValue(ScreenshotTarget target);

// The system's own screenshot preferences, read and changed through its command-line tools. Every
// call is synchronous, starts processes and blocks until they end (within the runner's bound);
// nothing is cached. Where the tools are missing every launch fails, and the answers are false or
// none. Nothing is ever printed.
class SystemScreenshotPreferences
{
public:
    static inline const QString defaultsTool = QStringLiteral("/usr/bin/defaults");
    static inline const QString killallTool = QStringLiteral("/usr/bin/killall");
    static inline const QString domain = QStringLiteral("com.apple.screencapture");

    // The runner must outlive this object. `homeFolder` is the folder the fall-back folders are
    // found in; empty means the current user's.
    explicit SystemScreenshotPreferences(ProcessRunner &runner, QString homeFolder = {});

    // Runs the defaults tool with the arguments; whether it exited with status 0.
    bool runDefaults(const QStringList &arguments) const;
    // One key of the screenshot domain as text, outer white space and line breaks removed (possibly
    // empty); none when the tool fails, the key is unset, or the output is not UTF-8.
    std::optional<QString> readScreencaptureValue(const QString &key) const;
    // Restarts the processes that read the preference; neither is waited for, failures are ignored.
    void restartScreenshotServices() const;
    // Makes the clipboard the screenshot target and restarts the services; whether the target then
    // reads back as clipboard. When the write fails nothing is restarted.
    bool enableClipboardScreenshots() const;
    bool isClipboardScreenshotTargetActive() const;
    // The folder the "location" preference names, when it is an absolute path to an existing folder,
    // taken literally ("~" is not expanded). Trailing slashes are dropped.
    std::optional<QString> systemScreenshotLocation() const;
    // Folders to watch, in order: the location, the Desktop unless it is the location, then
    // Pictures/Screenshots when anything exists there, without comparing it with the others.
    QStringList screenshotFolders() const;

private:
    ProcessRunner &m_runner;
    QString m_home;
};

} // namespace tarno
