#include "model/ClipSearch.h"

#include "model/ClipboardItem.h"
#include "platform/api/Utf8Text.h"

#include <array>

namespace tarno {

namespace {

bool isAccent(char32_t c)
{
    return (c >= 0x0300 && c <= 0x036f) || (c >= 0x1ab0 && c <= 0x1aff) || (c >= 0x1dc0 && c <= 0x1dff) ||
           (c >= 0x20d0 && c <= 0x20ff) || (c >= 0xfe20 && c <= 0xfe2f);
}

bool isHangulSyllable(char32_t c)
{
    return c >= 0xac00 && c <= 0xd7a3;
}

// The folded unit of each unit of the Basic Multilingual Plane, 0 for one that is dropped; made once,
// so that folding is a table look-up per unit. A precomposed letter stands for its base letter (its
// canonical decomposition's first character, decomposed again), except a Hangul syllable, whose
// decomposition is its jamo and no accent. Surrogates stay as they are.
const std::array<char16_t, 0x10000> &foldTable()
{
    static const auto table = [] {
        auto made = std::make_unique<std::array<char16_t, 0x10000>>();
        for (char32_t c = 0; c < 0x10000; ++c) {
            char32_t base = c;
            while (!isHangulSyllable(base) && QChar::decompositionTag(base) == QChar::Canonical) {
                const QString decomposition = QChar::decomposition(base);
                if (decomposition.isEmpty() || decomposition.at(0).isSurrogate())
                    break;
                base = decomposition.at(0).unicode();
            }
            const char32_t folded = QChar::toCaseFolded(base);
            (*made)[c] = QChar::isSurrogate(c) ? char16_t(c)
                         : isAccent(base)      ? 0
                                               : char16_t(folded > 0xffff ? base : folded);
        }
        return made;
    }();
    return *table;
}

} // namespace

QString ClipSearch::folded(QString text)
{
    const std::array<char16_t, 0x10000> &table = foldTable();
    char16_t *units = reinterpret_cast<char16_t *>(text.data());
    qsizetype kept = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (const char16_t unit = table[units[i]])
            units[kept++] = unit;
    }
    text.truncate(kept);
    return text;
}

ClipSearch::ClipSearch(const QString &query) : m_folded(folded(query)) {}

bool ClipSearch::matches(const ClipboardItem &item) const
{
    if (m_folded.isEmpty())
        return true;
    if (item.kind != ClipboardItemKind::text || !item.text)
        return false;
    const QByteArray &utf8 = item.text->utf8();
    qsizetype end = std::min(utf8.size(), searchedBytes);
    // Back to a character's start, so the cut decodes cleanly.
    while (end > 0 && end < utf8.size() && (uchar(utf8.at(end)) & 0xc0) == 0x80)
        --end;
    return folded(decodedUtf8(QByteArrayView(utf8).first(end))).contains(m_folded);
}

} // namespace tarno
