#pragma once

#include <QObject>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

#include <functional>

namespace tarno {

class ClipboardHistoryViewModel;
class ClipListModel;

// The popover's keyboard: the selected row, the focus stop Tab moves through, whether the focus is
// shown, and the search typed into the header (kept in the history store, which filters by it).
//
// The selection is a clip id. Unset, it stands for the first row, so a popover opened after new
// copies starts on the newest. It follows its clip as rows come and go; when its clip leaves the
// list, the row that takes its place is selected; a new filter or search starts from the first row
// again. The focus is shown from the first key used until the pointer is pressed, and the popover's
// hiding forgets the search, the selection and the shown focus. Main thread only; the store and the
// list must outlive it.
class KeyboardNavigation : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Made by the popover")
    Q_PROPERTY(int selectedIndex READ selectedIndex NOTIFY selectionChanged)
    Q_PROPERTY(QString selectedId READ selectedId NOTIFY selectionChanged)
    Q_PROPERTY(QString focusStop READ focusStop NOTIFY focusChanged)
    Q_PROPERTY(bool isFocusVisible READ isFocusVisible NOTIFY focusChanged)
    Q_PROPERTY(QString searchText READ searchText NOTIFY searchTextChanged)

public:
    // Tab's order: the three pills by their filter, the list, the gear. In the settings only the
    // gear remains.
    static inline const QStringList focusStops{QStringLiteral("all"), QStringLiteral("text"),
                                               QStringLiteral("screenshots"), QStringLiteral("list"),
                                               QStringLiteral("gear")};

    // What the keys do beyond the selection, the focus and the search; each must be set.
    struct Actions
    {
        // A row's copy, the same as a click on it.
        std::function<void(const QString &clipId)> copy;
        std::function<void()> close;
        std::function<void()> toggleSettings;
        std::function<bool()> showsSettings;
    };

    KeyboardNavigation(ClipboardHistoryViewModel &history, ClipListModel &clips, Actions actions,
                       QObject *parent = nullptr);
    ~KeyboardNavigation() override;

    // The selected row, -1 with an empty list.
    int selectedIndex() const;
    QString selectedId() const;
    QString focusStop() const { return focusStops.at(m_stop); }
    bool isFocusVisible() const { return m_isFocusVisible; }
    QString searchText() const;

    // A key pressed in the popover (a Qt::Key, its Qt::KeyboardModifiers and the text it types).
    // False for a key it leaves alone: an Escape with no search to clear then closes the popover.
    Q_INVOKABLE bool handleKey(int key, int modifiers, const QString &text);
    // A press of the pointer hides the focus.
    Q_INVOKABLE void pointerPressed();
    // Selects the first row with the focus on the list, shown.
    void begin();
    // The popover was hidden.
    Q_INVOKABLE void reset();

Q_SIGNALS:
    void selectionChanged();
    void focusChanged();
    void searchTextChanged();

private:
    void select(int row);
    void moveFocus(int step);
    void setFocus(int stop, bool visible);
    void activate();
    void editSearch(const QString &text);
    void announceSelection();

    ClipboardHistoryViewModel &m_history;
    ClipListModel &m_clips;
    Actions m_actions;
    QString m_selectedId;
    // Where the selected row was when it is being removed, -1 otherwise.
    int m_removedRow = -1;
    int m_announcedIndex = -1;
    QString m_announcedId;
    static constexpr int listStop = 3;
    static constexpr int gearStop = 4;
    int m_stop = listStop;
    bool m_isFocusVisible = false;
};

} // namespace tarno
