// The clip text's decoding, trimming, preview start and canonical comparison. The input splits at
// its middle into two byte strings; the first byte also picks the preview length.
//
// Each operation is checked against its plain QString counterpart, which is slower but obviously
// right: the trimmed text is QString's trimmed(), the preview start is a prefix of the text after
// its leading white space, equivalence is equality of the NFD forms.

#include "FuzzInput.h"

#include "model/ClipText.h"

#include <QString>

using namespace tarno;
using fuzz::check;

namespace {

ClipText decoded(const QByteArray &bytes)
{
    const ClipText text = ClipText::fromUtf8(bytes);
    check(fuzz::isStrictUtf8(text.utf8()));
    check(!text.isShortened());
    check(text.toString().toUtf8() == text.utf8());
    if (fuzz::isStrictUtf8(bytes))
        check(text.utf8() == bytes);
    return text;
}

void checkTrimmed(const ClipText &text)
{
    const ClipText trimmed = text.trimmed();
    check(fuzz::isStrictUtf8(trimmed.utf8()));
    check(text.utf8().contains(trimmed.utf8()));
    check(trimmed.toString() == text.toString().trimmed());
    check(trimmed.trimmed() == trimmed);
}

void checkLeadingText(const ClipText &text, qsizetype maxLength)
{
    const QString leading = text.leadingText(maxLength);
    QString rest = text.toString();
    qsizetype start = 0;
    while (start < rest.size() && rest.at(start).isSpace())
        ++start;
    rest = rest.mid(start);
    check(leading.size() <= maxLength);
    check(rest.startsWith(leading));
    // Only a character that needs two units can stop it short of the length.
    check(leading.size() == std::min(maxLength, rest.size()) ||
          (leading.size() == maxLength - 1 && rest.at(leading.size()).isHighSurrogate()));
}

bool nfdEqual(const ClipText &a, const ClipText &b)
{
    return a.toString().normalized(QString::NormalizationForm_D) ==
           b.toString().normalized(QString::NormalizationForm_D);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *chars = reinterpret_cast<const char *>(data);
    const size_t half = size / 2;
    const ClipText a = decoded(QByteArray(chars, qsizetype(half)));
    const ClipText b = decoded(QByteArray(chars + half, qsizetype(size - half)));

    checkTrimmed(a);
    checkTrimmed(b);
    checkLeadingText(a, size > 0 ? data[0] % 64 : 0);
    checkLeadingText(b, 64);

    check(canonicallyEquivalent(a, a));
    const bool equivalent = canonicallyEquivalent(a, b);
    check(equivalent == canonicallyEquivalent(b, a));
    check(equivalent == nfdEqual(a, b));
    return 0;
}
