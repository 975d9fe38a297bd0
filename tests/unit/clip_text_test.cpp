#include "model/ClipboardItem.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

using namespace tarno;

namespace {

const QDateTime now = QDateTime::fromMSecsSinceEpoch(0);

TEST(ClipTextTest, ValidUtf8IsSharedAndMalformedBytesAreReplaced)
{
    const QByteArray bytes = QByteArray(1 << 20, 'a') + "\xc3\xa9";
    const ClipText text = ClipText::fromUtf8(bytes);
    EXPECT_EQ(text.utf8().constData(), bytes.constData()) << "a valid text is not copied";
    EXPECT_FALSE(text.isShortened());

    EXPECT_EQ(ClipText::fromUtf8("a\xff"
                                 "b\xc3")
                  .toString(),
              QString::fromUtf8("a\ufffd"
                                "b\ufffd"));
    EXPECT_TRUE(ClipText::fromUtf8("a\xff").utf8().isValidUtf8());
}

TEST(ClipTextTest, PastTheBoundOnlyWholeCharactersOfTheStartAreKept)
{
    const qsizetype max = ClipText::maxBytes;
    EXPECT_FALSE(ClipText::fromUtf8(QByteArray(max, 'a')).isShortened()) << "exactly the bound fits";

    // A two-byte character across the bound, and a four-byte one that a reader stopping at the
    // bound cut short.
    const struct
    {
        QByteArray bytes;
        qsizetype kept;
    } cases[] = {
        {QByteArray(max - 1, 'a') + "\xc3\xa9 and more", max - 1},
        {QByteArray(max - 2, 'a') + "\xf0\x9f\x98", max - 2},
        {QByteArray(max, 'a') + "b", max},
    };
    for (const auto &[bytes, kept] : cases) {
        const ClipText text = ClipText::fromUtf8(bytes);
        EXPECT_TRUE(text.isShortened());
        EXPECT_EQ(text.byteSize(), kept);
        EXPECT_TRUE(text.utf8().isValidUtf8());
        EXPECT_EQ(text.trimmed().isShortened(), true) << "trimming keeps the mark";
    }

    const ClipboardItem shortened = ClipboardItem::makeText(ClipText::fromUtf8(cases[0].bytes), now);
    EXPECT_EQ(shortenedNote(shortened), QStringLiteral("Only the first 64 MB were kept"));
    EXPECT_EQ(shortenedNote(ClipboardItem::makeText("whole", now)), QString());
}

TEST(ClipTextTest, TrimsEveryKindOfWhiteSpaceAndSharesWhenThereIsNone)
{
    EXPECT_EQ(ClipText(QString::fromUtf8("\u3000\u00a0 \tx \u00e9\u2028\n\u0085")).trimmed(),
              ClipText(QString::fromUtf8("x \u00e9")));
    EXPECT_TRUE(ClipText(QString::fromUtf8(" \u2029\u3000")).trimmed().isEmpty());
    const ClipText plain = ClipText::fromUtf8(QByteArray(4096, 'z'));
    EXPECT_EQ(plain.trimmed().utf8().constData(), plain.utf8().constData());
}

TEST(ClipTextTest, LeadingTextCountsUtf16UnitsAfterTheLeadingSpace)
{
    const ClipText text(QString::fromUtf8("\u3000 \U0001F600\U0001F600a"));
    EXPECT_EQ(text.leadingText(3), QString::fromUtf8("\U0001F600")) << "a pair is never split";
    EXPECT_EQ(text.leadingText(5), QString::fromUtf8("\U0001F600\U0001F600a"));
    EXPECT_EQ(text.leadingText(100), QString::fromUtf8("\U0001F600\U0001F600a"));
}

// U+FEFF is a character of the text wherever it stands, never a byte order mark to drop: a stretch
// of the text that starts with it (trimmed, the preview, the part two texts differ in) keeps it.
TEST(ClipTextTest, ALeadingZeroWidthNoBreakSpaceIsKeptByEveryReading)
{
    const QString mark(QChar::ByteOrderMark);
    const ClipText text(" " + mark + "a ");
    EXPECT_EQ(text.toString(), " " + mark + "a ");
    EXPECT_EQ(text.trimmed().toString(), mark + "a");
    EXPECT_EQ(ClipText(mark + "a").toString(), mark + "a");
    EXPECT_EQ(text.leadingText(2), mark + "a");
    EXPECT_EQ(ClipText::fromUtf8("\xef\xbb\xbf"
                                 "a\xff")
                  .toString(),
              mark + "a\ufffd");
    EXPECT_FALSE(canonicallyEquivalent(ClipText(mark + "x"), ClipText("x")));
    EXPECT_FALSE(canonicallyEquivalent(ClipText("x"), ClipText(mark + "x")));
}

TEST(ClipTextTest, EquivalenceDecodesOnlyWholeCharactersOfTheDifferingStretch)
{
    const struct
    {
        const char *a;
        const char *b;
        bool equivalent;
    } cases[] = {
        {"x caf\u00e9 y", "x cafe\u0301 y", true},
        // Two characters that share their first bytes: the stretch must not start inside them.
        {"a\u20ac", "a\u20a4", false},
        {"\u20ac\u0301", "\u20ac\u0301", true},
        {"\u043f\u0440\u0438\u0432\u0435\u0442", "\u043f\u0440\u0438\u0432\u0435\u0434", false},
        {"\u1e69 end", "s\u0323\u0307 end", true},
        {"ab", "abc", false},
    };
    for (const auto &[a, b, equivalent] : cases) {
        EXPECT_EQ(canonicallyEquivalent(ClipText(QString::fromUtf8(a)), ClipText(QString::fromUtf8(b))),
                  equivalent)
            << a << " / " << b;
    }
}

} // namespace
