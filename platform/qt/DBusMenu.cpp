#include "platform/qt/DBusMenu.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QGuiApplication>

namespace tarno {

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuLayout &layout)
{
    argument.beginStructure();
    argument << layout.id << layout.properties;
    argument.beginArray(qMetaTypeId<QDBusVariant>());
    for (const QVariant &child : layout.children)
        argument << QDBusVariant(child);
    argument.endArray();
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuLayout &layout)
{
    argument.beginStructure();
    argument >> layout.id >> layout.properties;
    layout.children.clear();
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        layout.children << child.variant();
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuItemProperties &item)
{
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuItemProperties &item)
{
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuEvent &event)
{
    argument.beginStructure();
    argument << event.id << event.eventId << event.data << event.timestamp;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuEvent &event)
{
    argument.beginStructure();
    argument >> event.id >> event.eventId >> event.data >> event.timestamp;
    argument.endStructure();
    return argument;
}

namespace {

// What a host compares to decide whether to draw the menu again; actions are not part of it.
bool showsTheSame(const QList<MenuItem> &a, const QList<MenuItem> &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i].title != b[i].title || a[i].keyEquivalent != b[i].keyEquivalent ||
            a[i].checkable != b[i].checkable || a[i].checked != b[i].checked)
            return false;
    }
    return true;
}

} // namespace

DBusMenu::DBusMenu(std::function<QList<MenuItem>()> items, QObject *parent)
    : QObject(parent), m_source(std::move(items)), m_items(m_source())
{}

void DBusMenu::registerTypes()
{
    qDBusRegisterMetaType<DBusMenuLayout>();
    qDBusRegisterMetaType<DBusMenuItemProperties>();
    qDBusRegisterMetaType<QList<DBusMenuItemProperties>>();
    qDBusRegisterMetaType<DBusMenuEvent>();
    qDBusRegisterMetaType<QList<DBusMenuEvent>>();
    qDBusRegisterMetaType<QList<QStringList>>();
}

void DBusMenu::refresh()
{
    if (update())
        Q_EMIT LayoutUpdated(m_revision, 0);
}

bool DBusMenu::update()
{
    QList<MenuItem> items = m_source();
    const bool changed = !showsTheSame(items, m_items);
    // The newest actions are the ones to run, changed or not: they may depend on the state they
    // were made in.
    m_items = std::move(items);
    if (changed)
        ++m_revision;
    return changed;
}

QString DBusMenu::textDirection() const
{
    return QGuiApplication::layoutDirection() == Qt::RightToLeft ? QStringLiteral("rtl")
                                                                 : QStringLiteral("ltr");
}

QVariantMap DBusMenu::properties(int id, const QStringList &names) const
{
    QVariantMap all;
    if (id == 0) {
        all.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    } else {
        const MenuItem &item = m_items[id - 1];
        // An underscore marks the access key in a dbusmenu label; a literal one is doubled.
        all.insert(QStringLiteral("label"),
                   QString(item.title).replace(QLatin1Char('_'), QStringLiteral("__")));
        all.insert(QStringLiteral("enabled"), true);
        all.insert(QStringLiteral("visible"), true);
        if (item.checkable) {
            all.insert(QStringLiteral("toggle-type"), QStringLiteral("checkmark"));
            all.insert(QStringLiteral("toggle-state"), item.checked ? 1 : 0);
        }
        if (!item.keyEquivalent.isEmpty()) {
            const QList<QStringList> shortcut{{QStringLiteral("Control"), item.keyEquivalent.toUpper()}};
            all.insert(QStringLiteral("shortcut"), QVariant::fromValue(shortcut));
        }
    }
    if (names.isEmpty())
        return all;
    QVariantMap asked;
    for (const QString &name : names) {
        if (all.contains(name))
            asked.insert(name, all.value(name));
    }
    return asked;
}

uint DBusMenu::GetLayout(int parentId, int recursionDepth, const QStringList &propertyNames,
                         DBusMenuLayout &layout)
{
    layout = {};
    if (parentId < 0 || parentId > m_items.size())
        return m_revision;
    layout.id = parentId;
    layout.properties = properties(parentId, propertyNames);
    // Only the root has children; a depth of 0 asks for none, -1 for all.
    if (parentId == 0 && recursionDepth != 0) {
        for (int id = 1; id <= m_items.size(); ++id)
            layout.children << QVariant::fromValue(DBusMenuLayout{id, properties(id, propertyNames), {}});
    }
    return m_revision;
}

QList<DBusMenuItemProperties> DBusMenu::GetGroupProperties(const QList<int> &ids,
                                                           const QStringList &propertyNames)
{
    QList<int> wanted = ids;
    if (wanted.isEmpty()) {
        for (int id = 0; id <= m_items.size(); ++id)
            wanted << id;
    }
    QList<DBusMenuItemProperties> answer;
    for (const int id : std::as_const(wanted)) {
        if (id >= 0 && id <= m_items.size())
            answer << DBusMenuItemProperties{id, properties(id, propertyNames)};
    }
    return answer;
}

QDBusVariant DBusMenu::GetProperty(int id, const QString &name)
{
    if (id < 0 || id > m_items.size())
        return QDBusVariant(QVariant());
    return QDBusVariant(properties(id, {}).value(name));
}

bool DBusMenu::activate(int id, const QString &eventId)
{
    if (id < 1 || id > m_items.size())
        return false;
    if (eventId == QLatin1String("clicked") && m_items[id - 1].action) {
        QMetaObject::invokeMethod(this, m_items[id - 1].action, Qt::QueuedConnection);
    }
    return true;
}

void DBusMenu::Event(int id, const QString &eventId, const QDBusVariant &, uint)
{
    activate(id, eventId);
}

QList<int> DBusMenu::EventGroup(const QList<DBusMenuEvent> &events)
{
    QList<int> idErrors;
    for (const DBusMenuEvent &event : events) {
        if (!activate(event.id, event.eventId))
            idErrors << event.id;
    }
    return idErrors;
}

bool DBusMenu::AboutToShow(int)
{
    // The host reads the layout next, so the revision it gets is news enough.
    return update();
}

QList<int> DBusMenu::AboutToShowGroup(const QList<int> &ids, QList<int> &idErrors)
{
    idErrors.clear();
    for (const int id : ids) {
        if (id < 0 || id > m_items.size())
            idErrors << id;
    }
    return update() ? QList<int>{0} : QList<int>{};
}

} // namespace tarno
