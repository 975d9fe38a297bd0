#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Readers (and one writer) for the small files other programs keep their settings in. Every reader
// takes untrusted bytes and gives none for what it cannot make sense of; none of them throws.
namespace tarno {

// The whole of a regular file of at most 1 MB; none when it is missing, unreadable or larger.
std::optional<QByteArray> readSmallFile(const QString &path);
// Replaces the file with the bytes in one step (write a temporary file beside it, then rename), so
// that a failure leaves the old file whole. Creates the folder when missing. Whether it took.
bool replaceFile(const QString &path, const QByteArray &bytes);

// The translation of an untranslated message in a GNU gettext catalogue (.mo), or none when the
// catalogue does not translate it or is malformed.
std::optional<QString> messageTranslation(const QByteArray &catalogue, const QString &message);

// A key's value in an INI-style file as KConfig and QSettings write them: "[Group]" headers and
// "key=value" lines, surrounding double quotes and backslash escapes removed. An empty group means
// the lines before the first header.
std::optional<QString> iniValue(const QByteArray &file, const QString &group, const QString &key);
// The file with the key set to the value in the group (added at the group's end, or in a new group
// at the end of the file), every other byte kept. None when KConfig's immutability marker ("[$i]")
// locks the file, the group or the key.
std::optional<QByteArray> withIniValue(const QByteArray &file, const QString &group, const QString &key,
                                       const QString &value);

// A folder named in user-dirs.dirs ("$HOME/Bilder" or "/absolute"), with $HOME expanded to `home`
// only where it stands as the whole first path element; none when the key is absent or malformed.
std::optional<QString> userDirsValue(const QByteArray &file, const QString &key, const QString &home);

// A GVariant string in its text form, as gsettings prints it ('text' or "text", with escapes).
std::optional<QString> gvariantString(const QByteArray &text);

} // namespace tarno
