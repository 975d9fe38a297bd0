#pragma once

#include "platform/api/StatusItem.h"

#include <QDBusVariant>
#include <QObject>
#include <QVariantMap>

#include <functional>

namespace tarno {

// One entry of a com.canonical.dbusmenu layout: (ia{sv}av), its children being layouts again.
struct DBusMenuLayout
{
    int id = 0;
    QVariantMap properties;
    QVariantList children;
};

// An entry's properties as GetGroupProperties answers them: (ia{sv}).
struct DBusMenuItemProperties
{
    int id = 0;
    QVariantMap properties;
};

// One event of an EventGroup call: (isvu).
struct DBusMenuEvent
{
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};

} // namespace tarno

Q_DECLARE_METATYPE(tarno::DBusMenuLayout)
Q_DECLARE_METATYPE(tarno::DBusMenuItemProperties)
Q_DECLARE_METATYPE(tarno::DBusMenuEvent)

namespace tarno {

// A flat menu exported over com.canonical.dbusmenu, for tray hosts that draw an item's menu
// themselves. Entries are numbered from 1 in the order given; the root is 0. The layout is read anew
// from `items` on each AboutToShow and on `refresh`, and its revision changes only when what a host
// would show changes. A clicked entry's action runs on the main loop's next turn. Register it on a
// connection with ExportAllContents.
class DBusMenu : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

public:
    explicit DBusMenu(std::function<QList<MenuItem>()> items, QObject *parent = nullptr);

    // Registers the types this interface carries with Qt D-Bus; before the first export.
    static void registerTypes();

    // Reads the items again, and tells hosts when the layout changed.
    void refresh();

    uint version() const { return 3; }
    QString textDirection() const;
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

public Q_SLOTS:
    // Qualified names: Qt D-Bus finds the types the slots carry by the names written here.
    uint GetLayout(int parentId, int recursionDepth, const QStringList &propertyNames,
                   tarno::DBusMenuLayout &layout);
    QList<tarno::DBusMenuItemProperties> GetGroupProperties(const QList<int> &ids,
                                                            const QStringList &propertyNames);
    QDBusVariant GetProperty(int id, const QString &name);
    void Event(int id, const QString &eventId, const QDBusVariant &data, uint timestamp);
    QList<int> EventGroup(const QList<tarno::DBusMenuEvent> &events);
    bool AboutToShow(int id);
    QList<int> AboutToShowGroup(const QList<int> &ids, QList<int> &idErrors);

Q_SIGNALS:
    void LayoutUpdated(uint revision, int parent);

private:
    // Whether the layout changed since hosts last read it.
    bool update();
    QVariantMap properties(int id, const QStringList &names) const;
    bool activate(int id, const QString &eventId);

    std::function<QList<MenuItem>()> m_source;
    QList<MenuItem> m_items;
    uint m_revision = 1;
};

} // namespace tarno
