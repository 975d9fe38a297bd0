#include "ui/KeyboardNavigation.h"

#include "model/ClipboardHistoryViewModel.h"
#include "ui/ClipListModel.h"

#include <algorithm>

namespace tarno {

namespace {

bool isTyped(const QString &text, int modifiers)
{
    // Shortcuts type nothing into the search; AltGr (Alt with Control on X11) types characters
    // and arrives without them.
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c.isPrint(); });
}

} // namespace

KeyboardNavigation::KeyboardNavigation(ClipboardHistoryViewModel &history, ClipListModel &clips,
                                       Actions actions, QObject *parent)
    : QObject(parent), m_history(history), m_clips(clips), m_actions(std::move(actions))
{
    connect(&m_clips, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) {
                const int row = m_clips.rowOf(m_selectedId);
                if (row >= first && row <= last)
                    m_removedRow = first;
            });
    connect(&m_clips, &QAbstractItemModel::rowsRemoved, this, [this] {
        if (m_removedRow >= 0) {
            const int rows = m_clips.rowCount();
            m_selectedId = rows > 0 ? m_clips.clipIdAt(std::min(m_removedRow, rows - 1)) : QString();
            m_removedRow = -1;
        }
        announceSelection();
    });
    connect(&m_clips, &QAbstractItemModel::rowsInserted, this, &KeyboardNavigation::announceSelection);
    connect(&m_clips, &QAbstractItemModel::rowsMoved, this, &KeyboardNavigation::announceSelection);
    // The list has followed the store by now: it connected first.
    const auto restart = [this] {
        m_selectedId.clear();
        announceSelection();
    };
    connect(&m_history, &ClipboardHistoryViewModel::filterChanged, this, restart);
    connect(&m_history, &ClipboardHistoryViewModel::searchTextChanged, this, [this, restart] {
        restart();
        Q_EMIT searchTextChanged();
    });
    announceSelection();
}

KeyboardNavigation::~KeyboardNavigation() = default;

int KeyboardNavigation::selectedIndex() const
{
    if (m_selectedId.isEmpty())
        return m_clips.rowCount() > 0 ? 0 : -1;
    return m_clips.rowOf(m_selectedId);
}

QString KeyboardNavigation::selectedId() const
{
    return m_selectedId.isEmpty() ? m_clips.clipIdAt(0) : m_selectedId;
}

QString KeyboardNavigation::searchText() const
{
    return m_history.searchText();
}

void KeyboardNavigation::announceSelection()
{
    const int index = selectedIndex();
    const QString id = selectedId();
    if (index == m_announcedIndex && id == m_announcedId)
        return;
    m_announcedIndex = index;
    m_announcedId = id;
    Q_EMIT selectionChanged();
}

void KeyboardNavigation::select(int row)
{
    const int rows = m_clips.rowCount();
    if (rows > 0)
        m_selectedId = m_clips.clipIdAt(std::clamp(row, 0, rows - 1));
    announceSelection();
    setFocus(listStop, true);
}

void KeyboardNavigation::setFocus(int stop, bool visible)
{
    if (stop == m_stop && visible == m_isFocusVisible)
        return;
    m_stop = stop;
    m_isFocusVisible = visible;
    Q_EMIT focusChanged();
}

void KeyboardNavigation::moveFocus(int step)
{
    const auto count = int(focusStops.size());
    // Only the gear is left while the settings are shown.
    if (m_actions.showsSettings())
        setFocus(gearStop, true);
    else
        setFocus((m_stop + step + count) % count, true);
}

void KeyboardNavigation::activate()
{
    if (m_stop == gearStop) {
        m_actions.toggleSettings();
    } else if (m_stop == listStop) {
        const QString clipId = selectedId();
        if (clipId.isEmpty())
            return;
        m_actions.copy(clipId);
        m_actions.close();
    } else if (const auto filter = clipboardFilterFromRawValue(focusStops.at(m_stop))) {
        m_history.setFilter(*filter);
    }
}

void KeyboardNavigation::editSearch(const QString &text)
{
    m_history.setSearchText(text);
    setFocus(listStop, true);
}

bool KeyboardNavigation::handleKey(int key, int modifiers, const QString &text)
{
    const bool settings = m_actions.showsSettings();
    switch (key) {
    case Qt::Key_Escape:
        if (m_history.searchText().isEmpty())
            return false;
        editSearch({});
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        moveFocus(key == Qt::Key_Backtab || (modifiers & Qt::ShiftModifier) ? -1 : 1);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        setFocus(settings ? gearStop : m_stop, true);
        activate();
        return true;
    case Qt::Key_Space:
        // A space types into a search already open; otherwise it presses what has the focus.
        if (settings || (m_history.searchText().isEmpty() && m_stop != listStop)) {
            setFocus(settings ? gearStop : m_stop, true);
            activate();
            return true;
        }
        break;
    default:
        break;
    }
    if (settings)
        return false;
    switch (key) {
    case Qt::Key_Up:
        select(selectedIndex() - 1);
        return true;
    case Qt::Key_Down:
        select(selectedIndex() + 1);
        return true;
    case Qt::Key_Home:
        select(0);
        return true;
    case Qt::Key_End:
        select(m_clips.rowCount() - 1);
        return true;
    case Qt::Key_Delete:
        if (const QString clipId = selectedId(); !clipId.isEmpty())
            m_history.remove(QUuid::fromString(clipId));
        setFocus(listStop, true);
        return true;
    case Qt::Key_Backspace: {
        QString search = m_history.searchText();
        if (search.isEmpty())
            return false;
        search.chop(search.size() >= 2 && search.back().isLowSurrogate() ? 2 : 1);
        editSearch(search);
        return true;
    }
    default:
        break;
    }
    // A search starts with something to find, not with white space.
    if (!isTyped(text, modifiers) || (m_history.searchText().isEmpty() && text.trimmed().isEmpty()))
        return false;
    editSearch(m_history.searchText() + text);
    return true;
}

void KeyboardNavigation::pointerPressed()
{
    setFocus(m_stop, false);
}

void KeyboardNavigation::begin()
{
    m_selectedId.clear();
    announceSelection();
    setFocus(listStop, true);
}

void KeyboardNavigation::reset()
{
    m_history.setSearchText({});
    m_selectedId.clear();
    announceSelection();
    setFocus(listStop, false);
}

} // namespace tarno
