#include "Zubra/LibraryWindow/LibrarySelectionState.h"

#include <algorithm>

namespace {

std::optional<QUuid> firstOf(const QSet<QUuid>& set)
{
    if (set.isEmpty())
        return std::nullopt;
    return *set.cbegin();
}

// The identifiers of the set that pass, collected into a new set. Never erased from a copy: Qt's
// hash of a QUuid folds its fields together, so identifiers numbered in sequence all hash alike,
// and each erase from such a set moves the whole run of them, step by step.
template<typename Keep>
QSet<QUuid> keptOf(const QSet<QUuid>& set, Keep keep)
{
    QSet<QUuid> kept;
    for (const QUuid& id : set) {
        if (keep(id))
            kept.insert(id);
    }
    return kept;
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
    const QSet<QUuid> kept = keptOf(m_selectedIDs, isVisible);
    std::optional<QUuid> detail = m_detailSelectionID;
    if (detail && !isVisible(*detail))
        detail = firstOf(kept);
    set(kept, detail);
}

void LibrarySelectionState::forget(const QList<QUuid>& gone)
{
    if (gone.isEmpty())
        return;
    QList<QUuid> sorted = gone;
    std::sort(sorted.begin(), sorted.end());
    const auto isGone = [&sorted](const QUuid& id) { return std::binary_search(sorted.cbegin(), sorted.cend(), id); };
    const QSet<QUuid> kept = keptOf(m_selectedIDs, [&](const QUuid& id) { return !isGone(id); });
    const bool detailGone = m_detailSelectionID && isGone(*m_detailSelectionID);
    set(kept, detailGone ? firstOf(kept) : m_detailSelectionID);
}
