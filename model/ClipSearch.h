#pragma once

#include <QString>

namespace tarno {

struct ClipboardItem;

// What the popover's search field asks of the clips: a text that holds the query, ignoring case and
// accents ("cafe" finds "Café", "CAFÉ" and "cafe" with a combining accent). Immutable; any thread.
class ClipSearch
{
public:
    // How much of a text clip's start is searched. A clip may hold up to 64 MB, and every keystroke
    // searches all fifty clips again, twice (the count and the list), so each text is searched only
    // this far: the whole of any ordinary copy (a page, a mail, a source file), at most 3.2 MB
    // decoded and folded per pass over a full history of huge texts, a few milliseconds.
    static constexpr qsizetype searchedBytes = 64 * 1024;

    ClipSearch() = default;
    explicit ClipSearch(const QString &query);

    // An empty query matches every clip.
    bool isEmpty() const { return m_folded.isEmpty(); }
    // Whether a text clip's searched start holds the query. An image clip has no text to hold it,
    // so it matches only the empty query.
    bool matches(const ClipboardItem &item) const;

    // The text as the search compares it: accents (the combining diacritical marks, also those a
    // precomposed letter decomposes into) dropped, then case folded; one unit or none per unit.
    static QString folded(QString text);

private:
    QString m_folded;
};

} // namespace tarno
