#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QMimeData>
#include <QString>
#include <QStringDecoder>
#include <QUrl>
#include <QVariant>

#include <cstddef>
#include <cstdint>

namespace tarno::fuzz {

// The fuzzer's bytes read front to back as a few length-prefixed fields, so that hand-made seeds
// stay simple: a short field is one length byte and that many bytes, a long field two length bytes
// (little-endian) and that many. A field cut off by the end of the input is what is left.
class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size) : m_data(reinterpret_cast<const char *>(data)), m_size(size)
    {}

    bool atEnd() const { return m_at >= m_size; }
    uint8_t byte() { return atEnd() ? 0 : uint8_t(m_data[m_at++]); }
    QByteArray shortField() { return take(byte()); }
    QByteArray longField()
    {
        const size_t low = byte();
        return take(low | size_t(byte()) << 8);
    }
    QByteArray rest() { return take(m_size - m_at); }

private:
    QByteArray take(size_t count)
    {
        count = std::min(count, m_size - std::min(m_at, m_size));
        const QByteArray bytes(m_data + m_at, qsizetype(count));
        m_at += count;
        return bytes;
    }

    const char *m_data;
    size_t m_size;
    size_t m_at = 0;
};

// Formats and bytes exactly as given, the way a drop or a clipboard from another program arrives on
// X11. QMimeData::setData would parse a URI list itself and hand back its own re-encoding. A format
// set twice keeps its first place and its last value.
class RawMimeData : public QMimeData
{
public:
    void set(const QString &format, const QVariant &value)
    {
        if (!m_formats.contains(format))
            m_formats.append(format);
        m_values.insert(format, value);
    }

    QStringList formats() const override { return m_formats; }
    bool hasFormat(const QString &format) const override { return m_formats.contains(format); }

protected:
    QVariant retrieveData(const QString &format, QMetaType) const override { return m_values.value(format); }

private:
    QStringList m_formats;
    QHash<QString, QVariant> m_values;
};

// Valid UTF-8 by the decoder's strict reading: no malformed, overlong or surrogate sequence. The
// oracle for "always valid UTF-8", independent of QByteArray::isValidUtf8, which the code under test
// relies on.
inline bool isStrictUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString ignored = decoder.decode(bytes);
    return !decoder.hasError();
}

// Where a target may let the code under test read files: a folder of a few small files made at
// start-up. Inputs naming existing files anywhere else are skipped, so a run never reads the
// machine's own files (nor /proc, nor a device).
inline const QString &sandboxPath()
{
    static const QString path = QStringLiteral("/tmp/tarno-fuzz-sandbox");
    return path;
}

inline bool staysInSandbox(const QUrl &url)
{
    const QString path = QDir::cleanPath(url.toLocalFile());
    return path.startsWith(sandboxPath() + u'/') || !QFileInfo::exists(path);
}

// Fills the sandbox: a screenshot-named PNG, another PNG, a UTF-8 text, a text that is not UTF-8
// and a folder. Needs a Qt application for the PNG writer.
inline void makeSandbox()
{
    QDir().mkpath(sandboxPath() + QStringLiteral("/folder.txt"));
    // Varied pixels, so that the file is past the size floor for image data.
    QImage image(16, 16, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 16, y * 16, (x ^ y) * 16));
    }
    image.save(sandboxPath() + QStringLiteral("/Screenshot 1.png"), "png");
    image.save(sandboxPath() + QStringLiteral("/photo.png"), "png");
    const auto write = [](const char *name, const QByteArray &bytes) {
        QFile file(sandboxPath() + u'/' + QString::fromUtf8(name));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(bytes);
    };
    write("notes.txt", "  some notes\n");
    write("latin1.txt", "caf\xe9");
}

// A broken promise of the code under test: ends the run, keeping the input that broke it.
inline void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// What a target that reads images, drops or files needs before its first input: Qt's GUI side,
// headless, and the sandbox filled.
inline void startGuiApplication(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QGuiApplication(*argc, *argv);
    makeSandbox();
}

} // namespace tarno::fuzz
