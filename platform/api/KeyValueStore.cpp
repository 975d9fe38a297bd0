#include "platform/api/KeyValueStore.h"

namespace tarno {

namespace {

bool stringReadsTrue(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    if (i == text.size())
        return false;
    const QChar first = text.at(i);
    if (first == u'Y' || first == u'y' || first == u'T' || first == u't')
        return true;
    if (first == u'+' || first == u'-')
        ++i;
    while (i < text.size() && text.at(i) == u'0')
        ++i;
    return i < text.size() && text.at(i) >= u'1' && text.at(i) <= u'9';
}

} // namespace

bool booleanReading(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        return value.toBool();
    case QJsonValue::Double:
        return value.toDouble() != 0.0;
    case QJsonValue::String:
        return stringReadsTrue(value.toString());
    default:
        return false;
    }
}

} // namespace tarno
