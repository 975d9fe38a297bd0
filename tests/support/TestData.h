#pragma once

#include "model/PasteboardCapture.h"

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <ostream>

namespace tarno {

// How a text and a capture read in a failed expectation.
void PrintTo(const ClipText &text, std::ostream *os);
void PrintTo(const PasteboardCapture &capture, std::ostream *os);

// The image encoded in the format, as a file of that format would hold it.
QByteArray encodeImage(const QImage &image, const char *format = "PNG");

// A PNG whose pixels vary with their place, so that images of different sizes never share bytes.
QByteArray patternedPng(QSize size);

} // namespace tarno
