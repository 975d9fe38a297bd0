#include "platform/qt/SelectionPlan.h"

#include "platform/api/Pasteboard.h"

#include <algorithm>

namespace tarno {

namespace {

// "type/subtype" with optional parameters; atoms such as PIXMAP or TARGETS are not.
bool isMimeLike(const QString &name)
{
    const qsizetype slash = name.indexOf(u'/');
    if (slash <= 0 || slash == name.size() - 1)
        return false;
    return std::none_of(name.cbegin(), name.cend(),
                        [](QChar c) { return c.unicode() <= 0x20 || c.unicode() >= 0x7f; });
}

bool isImageName(const QString &name)
{
    return name.contains(QLatin1String("image"), Qt::CaseInsensitive);
}

} // namespace

std::optional<TextType> textType(const QString &name)
{
    if (name == QLatin1String("UTF8_STRING"))
        return TextType::Utf8String;
    if (name == QLatin1String("STRING"))
        return TextType::String;
    if (name == QLatin1String("TEXT"))
        return TextType::Text;
    if (name.compare(QLatin1String("text/plain;charset=utf-8"), Qt::CaseInsensitive) == 0)
        return TextType::PlainUtf8;
    if (name == QLatin1String("text/plain"))
        return TextType::Plain;
    return std::nullopt;
}

QList<TypeGroup> planReads(const QStringList &offered)
{
    // Asking for every image type would make the owner encode the same picture once per format.
    QList<TypeGroup> plan;
    qsizetype textGroup = -1;
    qsizetype imageGroup = -1;
    qsizetype hint = -1;
    for (qsizetype i = 0; i < offered.size(); ++i) {
        const QString &name = offered.at(i);
        if (name.isEmpty() || offered.indexOf(name) != i)
            continue;
        if (name == PasteboardType::passwordManagerHint) {
            hint = i;
        } else if (textType(name)) {
            if (textGroup < 0) {
                textGroup = plan.size();
                plan.append(TypeGroup{TypeGroup::Text, {}});
            }
            plan[textGroup].candidates.append(i);
        } else if (!isMimeLike(name)) {
            continue;
        } else if (isImageName(name)) {
            if (imageGroup < 0) {
                imageGroup = plan.size();
                plan.append(TypeGroup{TypeGroup::Raw, {}});
            }
            plan[imageGroup].candidates.append(i);
        } else {
            plan.append(TypeGroup{TypeGroup::Raw, {i}});
        }
    }
    if (imageGroup >= 0) {
        // PNG first, then the other image types, then names that merely mention images (Qt
        // programs list their own "application/x-qt-image" first, which no reader knows).
        const auto rank = [&offered](qsizetype i) {
            const QString &name = offered.at(i);
            return name == QLatin1String("image/png") ? 0 : name.startsWith(QLatin1String("image/")) ? 1 : 2;
        };
        QList<qsizetype> &candidates = plan[imageGroup].candidates;
        std::stable_sort(candidates.begin(), candidates.end(),
                         [&rank](qsizetype a, qsizetype b) { return rank(a) < rank(b); });
    }
    if (textGroup >= 0) {
        QList<qsizetype> &candidates = plan[textGroup].candidates;
        std::stable_sort(candidates.begin(), candidates.end(), [&offered](qsizetype a, qsizetype b) {
            return *textType(offered.at(a)) < *textType(offered.at(b));
        });
    }
    if (hint >= 0)
        plan.prepend(TypeGroup{TypeGroup::Raw, {hint}});
    return plan;
}

} // namespace tarno
