#include "Zubra/LibraryWindow/LibrarySelectionState.h"

namespace {

std::optional<QUuid> firstOf(const QSet<QUuid>& set)
{
    if (set.isEmpty())
        return std::nullopt;
    return *set.cbegin();
}

} // namespace

void LibrarySelectionState::set(const QSet<QUuid>& selected, const std::optional<QUuid>& detail)
{
    const bool selectionChanged = selected != m_selectedIDs;
    m_selectedIDs = selected;
    if (selectionChanged)
        emit selectedIDsChanged();
    setDetailSelectionID(detail);
}

void LibrarySelectionState::setDetailSelectionID(const std::optional<QUuid>& id)
{
    if (id == m_detailSelectionID)
        return;
    m_detailSelectionID = id;
    emit detailSelectionIDChanged();
}

void LibrarySelectionState::writeSelection(const QSet<QUuid>& selected)
{
    QSet<QUuid> added;
    for (const QUuid& id : selected) {
        if (!m_selectedIDs.contains(id))
            added.insert(id);
    }
    std::optional<QUuid> detail = firstOf(added);
    if (!detail)
        detail = firstOf(selected);
    set(selected, detail);
}

void LibrarySelectionState::keepVisible(const std::function<bool(const QUuid&)>& isVisible)
{
    QSet<QUuid> kept = m_selectedIDs;
    kept.removeIf([&](const QUuid& id) { return !isVisible(id); });
    std::optional<QUuid> detail = m_detailSelectionID;
    if (detail && !isVisible(*detail))
        detail = firstOf(kept);
    set(kept, detail);
}

void LibrarySelectionState::forget(const QList<QUuid>& gone)
{
    if (gone.isEmpty())
        return;
    QSet<QUuid> kept = m_selectedIDs;
    bool detailGone = false;
    for (const QUuid& id : gone) {
        kept.remove(id);
        detailGone = detailGone || id == m_detailSelectionID;
    }
    set(kept, detailGone ? firstOf(kept) : m_detailSelectionID);
}
