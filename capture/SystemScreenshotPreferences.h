#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace tarno {

class ProcessRunner;

// Values a screenshot tool's "copy to the clipboard" choice is compared with. Only clipboard means
// the tool copies each screenshot; any other value means it does not.
enum class ScreenshotTarget
{
    clipboard,
    file,
    unknown
};

QString rawValue(ScreenshotTarget target);

// Where the screenshot preferences are looked for: the user's folders and the system's. `current()`
// takes them from the environment as the tools themselves do; tests point them at a temporary folder.
struct ScreenshotEnvironment
{
    QString home;
    // $XDG_CONFIG_HOME, or home/.config.
    QString configHome;
    // Where the tools are installed.
    QString programFolder = QStringLiteral("/usr/bin");
    // Where their message catalogues are: <localeFolder>/<language>/LC_MESSAGES/<domain>.mo.
    QString localeFolder = QStringLiteral("/usr/share/locale");
    // The user's languages, most wanted first, as gettext takes them from LANGUAGE, LC_ALL,
    // LC_MESSAGES and LANG; empty for the untranslated texts.
    QStringList languages;

    static ScreenshotEnvironment current();
};

// The languages gettext looks for, given LANGUAGE, LC_ALL, LC_MESSAGES and LANG: none under the C
// locale; otherwise each of LANGUAGE's (or else the locale's) with its shorter variants.
QStringList gettextLanguages(const QString &language, const QString &lcAll, const QString &lcMessages,
                             const QString &lang);

// What new screenshot files are called: the general rule (`isScreenshotFileURL`), the names the
// known tools give by default, and their names in the user's language.
class ScreenshotFileNames
{
public:
    ScreenshotFileNames() = default;
    // Lower-cased beginnings of translated names ("bildschirmfoto vom ").
    explicit ScreenshotFileNames(QStringList translatedPrefixes);

    bool matches(const QString &path) const;
    const QStringList &translatedPrefixes() const { return m_prefixes; }

private:
    QStringList m_prefixes;
};

// What the screenshot switch found on this machine.
struct ScreenshotClipboardStatus
{
    // Tools whose own setting now copies each screenshot to the clipboard.
    QStringList configuredTools;
    // One line on what could not be read or written; empty when nothing failed.
    QString problem;

    // Nothing failed; with no tool to configure, Tarno's own copy of each new file is what holds.
    bool applied() const { return problem.isEmpty(); }
};

// The screenshot preferences of this desktop's screenshot tools, read from their own configuration
// and changed only where a tool documents a setting for it that can be written safely.
//
// Known tools, and what each saved when run under Xvfb (Debian 12) in a private home whose
// user-dirs.dirs names the pictures folder ("pictures" below), each time into that folder:
//
// | tool                     | run as                      | name, then a second one with the same stamp    |
// |--------------------------|-----------------------------|------------------------------------------------|
// | gnome-screenshot 41      | gnome-screenshot            | Screenshot from 2026-12-08 02-47-25.png        |
// | GNOME Shell 43           | not run: needs the shell *  | Screenshot from 2026-12-08 02-47-25.png, ...-1 |
// | Spectacle 22.12          | spectacle -b -n -f          | Screenshot_20261208_033215.png                 |
// | xfce4-screenshooter 1.10 | -f -s DIR, Return in dialog | Screenshot_2026-12-08_02-54-22.png             |
// | Flameshot 12.1           | flameshot full -p DIR       | 2026-12-08_02-55.png, 2026-12-08_02-55_1.png   |
// | scrot 1.8                | scrot                       | 2026-12-08-033053_1920x1080_scrot.png, ..._000 |
//
// Translated, the GNOME names and xfce4-screenshooter's follow gettext ("Screenshot from %s.%s",
// "Screenshot from %s", "Screenshot" before "_"). Where each saves by default, and what changes it:
//
// | tool                | default                | folder setting                               | clipboard |
// |---------------------|------------------------|----------------------------------------------|-----------|
// | gnome-screenshot    | pictures               | gsettings auto-save-directory                | none      |
// | GNOME Shell         | pictures/Screenshots * | none                                         | always    |
// | Spectacle           | pictures               | spectaclerc [Save] defaultSaveLocation       | **        |
// | xfce4-screenshooter | pictures               | xfce4/xfce4-screenshooter screenshot_dir *** | none      |
// | Flameshot           | pictures               | flameshot/flameshot.ini [General] savePath   | none      |
// | scrot               | working dir            | none                                         | none      |
//
// * GNOME Shell cannot run here; it is described from its shipped screenshot.js and catalogue, and
// the folder's name is translated. ** spectaclerc [General] clipboardGroup=PostScreenshotCopyImage,
// Spectacle's "copy image to clipboard after taking a screenshot": the one setting written here.
// *** a file xfce4-screenshooter rewrites whole at every exit.
//
// Spectacle (KConfig) rewrites spectaclerc at exit, merging its own changes, so the file is written
// only while no Spectacle runs. Every call is synchronous and may start short processes (gsettings,
// pgrep) that block within the runner's bound; nothing is cached. Nothing is ever printed.
class SystemScreenshotPreferences
{
public:
    static inline const QString gsettingsTool = QStringLiteral("/usr/bin/gsettings");
    static inline const QString pgrepTool = QStringLiteral("/usr/bin/pgrep");

    // The runner must outlive this object.
    explicit SystemScreenshotPreferences(
        ProcessRunner &runner, ScreenshotEnvironment environment = ScreenshotEnvironment::current());

    // Sets every installed tool that has a clipboard setting to copy each screenshot, and reads it
    // back. A configuration that cannot be read or written is left exactly as it was; the result
    // says which tools were set and what failed.
    ScreenshotClipboardStatus enableClipboardScreenshots() const;
    // What holds now, read afresh.
    ScreenshotClipboardStatus clipboardScreenshotStatus() const;
    bool isClipboardScreenshotTargetActive() const { return clipboardScreenshotStatus().applied(); }
    // The installed tools that have a clipboard setting, by display name.
    QStringList configurableTools() const;

    // The XDG pictures folder as user-dirs.dirs names it, or home/Pictures.
    QString picturesFolder() const;
    // The desktop's own name for the screenshot folder below it ("Screenshots", localised).
    QString screenshotsFolderName() const;
    // The folders the installed tools are set to save in, where they exist; in the order of the table.
    QStringList toolScreenshotFolders() const;
    // Folders to watch, in order and without repeats: the tools' folders, the Desktop (whether or
    // not it exists), the pictures folder, its screenshot folder (which the desktop's tool creates
    // on first use), and home/Pictures/Screenshots when anything exists there.
    QStringList screenshotFolders() const;
    ScreenshotFileNames screenshotFileNames() const;

private:
    bool isInstalled(const QString &program) const;
    std::optional<QString> translated(const QString &domain, const QString &message) const;

    ProcessRunner &m_runner;
    ScreenshotEnvironment m_environment;
};

} // namespace tarno
