#pragma once

#include "model/PasteboardCapture.h"

#include <QStringList>
#include <QUrl>

#include <optional>

namespace tarno {

class PasteboardReader;

// Turning whatever a pasteboard offers into captures. Pure functions of the pasteboard and of the
// file system at the time of the call; main thread; files are read synchronously.

// Substrings that mark a type identifier as an image type (compared lower-cased).
const QStringList &imageTypeKeywords();
// Pasteboard types asked for image data, in order.
const QStringList &knownImageTypes();
const QStringList &screenshotFileExtensions();
const QStringList &imageFileExtensions();
const QStringList &textFileExtensions();

// Image bytes, a screenshot-named file, text, or the readable files one capture each; the first
// source that yields anything wins. Empty when nothing is usable.
PasteboardCaptures readCaptures(const PasteboardReader &pasteboard);

// Whether any type of the pasteboard or of its items names an image type. Reads no data.
bool containsImageType(const PasteboardReader &pasteboard);

bool isScreenshotFileURL(const QUrl &url);
bool isImageFileURL(const QUrl &url);
bool isTextFileURL(const QUrl &url);

// Whether a password manager marked the content as a secret: it then yields no capture at all.
bool isMarkedSecret(const PasteboardReader &pasteboard);

// The most bytes an image file may have to be read: far above any screenshot's.
inline constexpr qsizetype maxImageFileBytes = qsizetype(256) * 1024 * 1024;

// A whole regular file, or nothing (missing, unreadable, larger than `maxBytes`, or failing
// part-way). Anything else (a folder, a FIFO, a device) is never read, so reading cannot block on
// it, even when the path is replaced while it is being read; no more than a byte past the bound is
// ever read, whatever size the file claims.
std::optional<QByteArray> readRegularFile(const QUrl &url, qsizetype maxBytes = maxImageFileBytes);
// A regular file that is UTF-8 as a text, or nothing when it is not valid UTF-8; of a file longer
// than a clip keeps, only the start is read.
std::optional<ClipText> readUtf8File(const QUrl &url);

} // namespace tarno
