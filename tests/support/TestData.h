#pragma once

#include "model/PasteboardCapture.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <ostream>

namespace tarno {

// How a text and a capture read in a failed expectation.
void PrintTo(const ClipText &text, std::ostream *os);
void PrintTo(const PasteboardCapture &capture, std::ostream *os);

// The image encoded in the format, as a file of that format would hold it.
QByteArray encodeImage(const QImage &image, const char *format = "PNG");

// A PNG whose pixels vary with their place, so that images of different sizes never share bytes.
QByteArray patternedPng(QSize size);

// Writes the file whole, making its folder first, and gives back its path; a failure fails the
// running test. As a program, it is marked executable by its owner alone.
QString writeFile(const QString &path, const QByteArray &bytes = {});
QString writeProgram(const QString &path, const QByteArray &bytes = {});
// The file's bytes; a note saying so when it cannot be read.
QByteArray readFile(const QString &path);

} // namespace tarno
