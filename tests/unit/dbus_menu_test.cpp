// The tray menu as hosts that draw it themselves read it: the layout they are given, when they are
// told it changed, and which action a click runs.
#include "platform/qt/DBusMenu.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace tarno;

namespace {

class DBusMenuTest : public ::testing::Test
{
protected:
    QList<MenuItem> items;
    QStringList ran;
    DBusMenu menu{[this] { return items; }};

    static MenuItem item(const QString &title, QStringList *ran, bool checkable = false, bool checked = false)
    {
        return MenuItem{title, {}, [ran, title] { *ran << title; }, checkable, checked};
    }

    DBusMenuLayout layout(int parent = 0, int depth = -1, const QStringList &names = {})
    {
        DBusMenuLayout answer;
        menu.GetLayout(parent, depth, names, answer);
        return answer;
    }
    static DBusMenuLayout child(const DBusMenuLayout &parent, qsizetype index)
    {
        return parent.children.at(index).value<DBusMenuLayout>();
    }
};

TEST_F(DBusMenuTest, TheLayoutNumbersTheItemsInOrderWithWhatAHostDraws)
{
    items = {item("Pause_Capturing", &ran, true, true), item("Quit Tarno", &ran)};
    items[1].keyEquivalent = "q";
    menu.refresh();

    const DBusMenuLayout root = layout();
    EXPECT_EQ(root.id, 0);
    EXPECT_EQ(root.properties.value("children-display"), "submenu");
    ASSERT_EQ(root.children.size(), 2);
    const DBusMenuLayout pause = child(root, 0);
    const DBusMenuLayout quit = child(root, 1);
    EXPECT_EQ(std::pair(pause.id, quit.id), std::pair(1, 2));
    EXPECT_EQ(pause.properties.value("label"), "Pause__Capturing") << "a literal underscore is no access key";
    EXPECT_EQ(pause.properties.value("toggle-type"), "checkmark");
    EXPECT_EQ(pause.properties.value("toggle-state"), 1);
    EXPECT_FALSE(quit.properties.contains("toggle-type"));
    EXPECT_EQ(quit.properties.value("shortcut").value<QList<QStringList>>(),
              (QList<QStringList>{{"Control", "Q"}}));

    EXPECT_TRUE(layout(0, 0).children.isEmpty()) << "depth 0 asks for the entry alone";
    EXPECT_EQ(layout(0, -1, {"label"}).children.size(), 2);
    EXPECT_EQ(child(layout(0, -1, {"label"}), 0).properties.keys(), QStringList{"label"});
    EXPECT_EQ(layout(2).id, 2);
    EXPECT_EQ(menu.GetProperty(2, "label").variant(), "Quit Tarno");
    EXPECT_FALSE(menu.GetProperty(3, "label").variant().isValid()) << "no entry 3";
    const QList<DBusMenuItemProperties> group = menu.GetGroupProperties({}, {"label"});
    ASSERT_EQ(group.size(), 3) << "all entries, the root among them";
    EXPECT_EQ(group[2].properties.value("label"), "Quit Tarno");
}

TEST_F(DBusMenuTest, HostsAreToldOfAChangeTheyWouldDrawAndOfNoOther)
{
    items = {item("Pause Capturing", &ran, true, false), item("Quit Tarno", &ran)};
    menu.refresh();
    QSignalSpy updated(&menu, &DBusMenu::LayoutUpdated);
    DBusMenuLayout ignored;
    const uint revision = menu.GetLayout(0, -1, {}, ignored);

    // New actions for the same entries: nothing to draw again.
    items = {item("Pause Capturing", &ran, true, false), item("Quit Tarno", &ran)};
    menu.refresh();
    EXPECT_FALSE(menu.AboutToShow(0));
    EXPECT_EQ(updated.size(), 0);
    EXPECT_EQ(menu.GetLayout(0, -1, {}, ignored), revision);

    items[0].checked = true;
    menu.refresh();
    ASSERT_EQ(updated.size(), 1);
    EXPECT_GT(updated[0][0].toUInt(), revision);
    EXPECT_EQ(updated[0][1].toInt(), 0) << "the root's layout changed";
    EXPECT_EQ(child(layout(), 0).properties.value("toggle-state"), 1);

    // A host asking before it shows the menu learns of a change made since it last read it.
    items[0].checked = false;
    EXPECT_TRUE(menu.AboutToShow(0));
    EXPECT_EQ(child(layout(), 0).properties.value("toggle-state"), 0);
    QList<int> errors;
    EXPECT_TRUE(menu.AboutToShowGroup({0, 9}, errors).isEmpty());
    EXPECT_EQ(errors, QList<int>{9});
}

TEST_F(DBusMenuTest, AClickRunsTheNewestActionOfItsEntryOnTheNextTurn)
{
    QStringList stale;
    items = {item("Pause Capturing", &stale), item("Quit Tarno", &stale)};
    menu.refresh();
    items = {item("Pause Capturing", &ran), item("Quit Tarno", &ran)};
    menu.refresh();

    menu.Event(2, "clicked", QDBusVariant(QVariant(0)), 0);
    menu.Event(1, "hovered", QDBusVariant(QVariant(0)), 0);
    EXPECT_TRUE(ran.isEmpty()) << "ran inside the D-Bus call";
    QCoreApplication::processEvents();
    EXPECT_EQ(ran, QStringList{"Quit Tarno"});
    EXPECT_TRUE(stale.isEmpty()) << "an action of a menu since replaced ran";

    ran.clear();
    const QList<int> errors = menu.EventGroup({{1, "clicked", QDBusVariant(QVariant(0)), 0},
                                               {7, "clicked", QDBusVariant(QVariant(0)), 0},
                                               {0, "clicked", QDBusVariant(QVariant(0)), 0}});
    EXPECT_EQ(errors, (QList<int>{7, 0}));
    QCoreApplication::processEvents();
    EXPECT_EQ(ran, QStringList{"Pause Capturing"});
}

} // namespace
