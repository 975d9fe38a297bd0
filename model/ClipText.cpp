#include "model/ClipText.h"

#include "platform/api/Utf8Text.h"

#include <algorithm>

namespace tarno {

namespace {

bool isContinuation(char byte)
{
    return (uchar(byte) & 0xc0) == 0x80;
}

// The code point starting at `at` of valid UTF-8, and its length in bytes.
char32_t codePointAt(const QByteArray &utf8, qsizetype at, qsizetype *length)
{
    const uchar lead = uchar(utf8.at(at));
    if (lead < 0x80) {
        *length = 1;
        return lead;
    }
    const qsizetype count = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : 2;
    char32_t point = lead & (0x7f >> count);
    for (qsizetype i = 1; i < count; ++i)
        point = (point << 6) | (uchar(utf8.at(at + i)) & 0x3f);
    *length = count;
    return point;
}

qsizetype leadingSpaceBytes(const QByteArray &utf8)
{
    qsizetype at = 0;
    while (at < utf8.size()) {
        qsizetype length = 0;
        if (!QChar::isSpace(codePointAt(utf8, at, &length)))
            break;
        at += length;
    }
    return at;
}

// Where the trailing white space starts, not before `from`.
qsizetype trailingSpaceStart(const QByteArray &utf8, qsizetype from)
{
    qsizetype end = utf8.size();
    while (end > from) {
        qsizetype start = end - 1;
        while (start > from && isContinuation(utf8.at(start)))
            --start;
        qsizetype length = 0;
        if (!QChar::isSpace(codePointAt(utf8, start, &length)))
            break;
        end = start;
    }
    return end;
}

// Every character below U+0300 is a starter whose decomposition starts with a starter, so no
// canonical reordering reaches across it: the text on either side of it normalises alone.
bool isPlain(QChar c)
{
    return c.unicode() < 0x300;
}

// Where two different texts can differ: after their common start and before their common end,
// both moved outwards to where `plain` holds in each text, so that each side normalises alone.
template <typename View, typename Plain>
std::pair<qsizetype, qsizetype> differingStretch(View a, View b, Plain plain)
{
    const auto boundary = [&](View text, qsizetype at) { return at == text.size() || plain(text.at(at)); };
    const qsizetype shorter = std::min(a.size(), b.size());
    qsizetype head = 0;
    while (head < shorter && a.at(head) == b.at(head))
        ++head;
    qsizetype tail = 0;
    while (tail < shorter - head && a.at(a.size() - 1 - tail) == b.at(b.size() - 1 - tail))
        ++tail;
    while (head > 0 && !(boundary(a, head) && boundary(b, head)))
        --head;
    while (tail > 0 && !boundary(a, a.size() - tail))
        --tail;
    return {head, tail};
}

bool canonicallyEquivalent(QStringView a, QStringView b)
{
    if (a == b)
        return true;
    // The differing stretch is normalised (copied) only when it holds anything but plain characters.
    const auto [head, tail] = differingStretch(a, b, isPlain);
    const QStringView restA = a.mid(head, a.size() - head - tail);
    const QStringView restB = b.mid(head, b.size() - head - tail);
    const auto plain = [](QStringView text) { return std::all_of(text.begin(), text.end(), isPlain); };
    if (plain(restA) && plain(restB))
        return false;
    return restA.toString().normalized(QString::NormalizationForm_D) ==
           restB.toString().normalized(QString::NormalizationForm_D);
}

} // namespace

ClipText::ClipText(const QString &text) : ClipText(fromUtf8(text.toUtf8())) {}

QString ClipText::toString() const
{
    return decodedUtf8(m_utf8);
}

ClipText ClipText::fromUtf8(QByteArray utf8)
{
    ClipText text;
    // Cut before checking: a reader that stopped at the bound may have cut a character in two.
    if (utf8.size() > maxBytes) {
        qsizetype end = maxBytes;
        while (end > maxBytes - 3 && isContinuation(utf8.at(end)))
            --end;
        utf8.truncate(end);
        text.m_shortened = true;
    }
    if (!utf8.isValidUtf8())
        utf8 = decodedUtf8(utf8).toUtf8();
    text.m_utf8 = std::move(utf8);
    return text;
}

ClipText ClipText::trimmed() const
{
    const qsizetype start = leadingSpaceBytes(m_utf8);
    const qsizetype end = trailingSpaceStart(m_utf8, start);
    if (start == 0 && end == m_utf8.size())
        return *this;
    ClipText text = *this;
    text.m_utf8 = m_utf8.sliced(start, end - start);
    return text;
}

QString ClipText::leadingText(qsizetype maxLength) const
{
    const qsizetype start = leadingSpaceBytes(m_utf8);
    qsizetype end = start;
    for (qsizetype units = 0; end < m_utf8.size();) {
        qsizetype length = 0;
        const qsizetype needed = codePointAt(m_utf8, end, &length) > 0xffff ? 2 : 1;
        if (units + needed > maxLength)
            break;
        units += needed;
        end += length;
    }
    return decodedUtf8(QByteArrayView(m_utf8).sliced(start, end - start));
}

bool canonicallyEquivalent(const ClipText &a, const ClipText &b)
{
    const QByteArray &x = a.utf8();
    const QByteArray &y = b.utf8();
    if (x == y)
        return true;
    // The same narrowing as on the decoded text, in bytes: an ASCII byte is a whole character and a
    // plain one, so only the stretch between such bytes is decoded.
    const auto [head, tail] =
        differingStretch(QByteArrayView(x), QByteArrayView(y), [](char byte) { return uchar(byte) < 0x80; });
    const QString restX = decodedUtf8(QByteArrayView(x).sliced(head, x.size() - head - tail));
    const QString restY = decodedUtf8(QByteArrayView(y).sliced(head, y.size() - head - tail));
    return canonicallyEquivalent(QStringView(restX), QStringView(restY));
}

} // namespace tarno
