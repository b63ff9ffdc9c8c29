// The store's operations on selections, groups and sources.

#include "ZubraCore/Library/Store.h"

#include <algorithm>

qsizetype Store::positionOf(const QUuid& id) const
{
    const auto it = m_positionFromEnd.constFind(id);
    return it == m_positionFromEnd.cend() ? -1 : m_selections.size() - 1 - *it;
}

void Store::rebuildIDIndex()
{
    m_positionFromEnd.clear();
    m_positionFromEnd.reserve(m_selections.size());
    const qsizetype last = m_selections.size() - 1;
    // From the end, so that the first of repeated ids (never written, but possible in memory) wins.
    for (qsizetype i = last; i >= 0; --i)
        m_positionFromEnd.insert(m_selections[i].id, last - i);
    selectionsEdited();
}

void Store::selectionsEdited()
{
    m_sourceCounts.reset();
    m_groupMembers.reset();
}

QUuid Store::freshSelectionID() const
{
    QUuid id = QUuid::createUuid();
    while (m_positionFromEnd.contains(id))
        id = QUuid::createUuid();
    return id;
}

void Store::add(const Selection& selection)
{
    if (!storageAllowsWrites() || m_positionFromEnd.contains(selection.id))
        return;
    beginChange();
    m_positionFromEnd.insert(selection.id, m_selections.size());
    m_selections.prepend(selection);
    selectionsEdited();
    scheduleSave();
    emit selectionsChanged();
}

void Store::deleteSelection(const QUuid& id)
{
    deleteSelections({id});
}

void Store::deleteSelections(const QSet<QUuid>& ids)
{
    if (!storageAllowsWrites())
        return;
    beginChange();
    const bool anySelection
        = std::any_of(ids.cbegin(), ids.cend(), [this](const QUuid& id) { return m_positionFromEnd.contains(id); });
    if (anySelection) {
        m_selections.removeIf([&ids](const Selection& s) { return ids.contains(s.id); });
        rebuildIDIndex();
    }
    bool anyEntry = false;
    for (qsizetype d = 0; d < m_drafts.size(); ++d) {
        const QList<ContextDraftEntry>& entries = std::as_const(m_drafts)[d].entries;
        if (std::none_of(entries.cbegin(), entries.cend(),
                [&ids](const ContextDraftEntry& e) { return ids.contains(e.selectionID); }))
            continue;
        m_drafts[d].entries.removeIf([&ids](const ContextDraftEntry& e) { return ids.contains(e.selectionID); });
        anyEntry = true;
    }
    scheduleSave();
    if (anySelection)
        emit selectionsChanged();
    if (anyEntry)
        emit draftsChanged();
}

QList<Selection> Store::addImportedTextChunks(const QStringList& chunks, const QString& appName)
{
    QList<Selection> created;
    if (!storageAllowsWrites())
        return created;
    for (const QString& chunk : chunks) {
        if (chunk.trimmed().isEmpty())
            continue;
        if (created.isEmpty())
            beginChange();
        Selection selection = Selection::make(freshSelectionID(), chunk, chunk, appName, std::nullopt, std::nullopt,
            std::nullopt, std::nullopt, {}, now());
        m_positionFromEnd.insert(selection.id, m_selections.size());
        m_selections.prepend(selection);
        created.append(selection);
    }
    if (created.isEmpty())
        return created;
    selectionsEdited();
    scheduleSave();
    emit selectionsChanged();
    return created;
}

std::optional<Selection> Store::findByID(const QUuid& id) const
{
    const qsizetype position = positionOf(id);
    if (position < 0)
        return std::nullopt;
    return m_selections[position];
}

std::optional<SelectionGroup> Store::addGroup(const QString& name, const QString& colorHex)
{
    if (!storageAllowsWrites())
        return std::nullopt;
    beginChange();
    SelectionGroup group {QUuid::createUuid(), name, colorHex, now()};
    m_groups.append(group);
    scheduleSave();
    emit groupsChanged();
    return group;
}

std::optional<SelectionGroup> Store::createGroup(
    const QString& name, const QString& colorHex, const QSet<QUuid>& containing)
{
    std::optional<SelectionGroup> group = addGroup(name, colorHex);
    if (group && !containing.isEmpty())
        addToGroup(group->id, containing);
    return group;
}

void Store::addToGroup(const QUuid& groupID, const QSet<QUuid>& selectionIDs)
{
    if (!storageAllowsWrites())
        return;
    beginChange();
    bool changed = false;
    for (const QUuid& id : selectionIDs) {
        const qsizetype position = positionOf(id);
        if (position < 0 || std::as_const(m_selections)[position].groupIDs.contains(groupID))
            continue;
        m_selections[position].groupIDs.append(groupID);
        changed = true;
    }
    scheduleSave();
    if (changed) {
        selectionsEdited();
        emit selectionsChanged();
    }
}

void Store::removeFromGroups(const QSet<QUuid>& groupIDs, const QSet<QUuid>& selectionIDs)
{
    if (!storageAllowsWrites())
        return;
    beginChange();
    bool changed = false;
    auto inGroups = [&groupIDs](const QUuid& id) { return groupIDs.contains(id); };
    for (const QUuid& id : selectionIDs) {
        const qsizetype position = positionOf(id);
        if (position < 0)
            continue;
        const QList<QUuid>& current = std::as_const(m_selections)[position].groupIDs;
        if (std::none_of(current.cbegin(), current.cend(), inGroups))
            continue;
        m_selections[position].groupIDs.removeIf(inGroups);
        changed = true;
    }
    scheduleSave();
    if (changed) {
        selectionsEdited();
        emit selectionsChanged();
    }
}

void Store::deleteGroup(const QUuid& groupID)
{
    if (!storageAllowsWrites())
        return;
    beginChange();
    const bool groupRemoved = m_groups.removeIf([&groupID](const SelectionGroup& g) { return g.id == groupID; }) > 0;
    bool selectionsChangedHere = false;
    for (qsizetype i = 0; i < m_selections.size(); ++i) {
        if (!std::as_const(m_selections)[i].groupIDs.contains(groupID))
            continue;
        m_selections[i].groupIDs.removeAll(groupID);
        selectionsChangedHere = true;
    }
    scheduleSave();
    if (groupRemoved)
        emit groupsChanged();
    if (selectionsChangedHere) {
        selectionsEdited();
        emit selectionsChanged();
    }
}

void Store::renameGroup(const QUuid& groupID, const QString& name)
{
    if (!storageAllowsWrites())
        return;
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        return;
    const auto it = std::find_if(
        m_groups.cbegin(), m_groups.cend(), [&groupID](const SelectionGroup& g) { return g.id == groupID; });
    if (it == m_groups.cend())
        return;
    const qsizetype index = it - m_groups.cbegin();
    beginChange();
    m_groups[index].name = trimmed;
    scheduleSave();
    emit groupsChanged();
}

std::optional<SelectionGroup> Store::findGroup(const QUuid& groupID) const
{
    for (const SelectionGroup& group : m_groups) {
        if (group.id == groupID)
            return group;
    }
    return std::nullopt;
}

const QHash<QUuid, QList<qsizetype>>& Store::groupMembers() const
{
    if (!m_groupMembers) {
        QHash<QUuid, QList<qsizetype>> members;
        for (qsizetype i = 0; i < m_selections.size(); ++i) {
            for (const QUuid& group : m_selections[i].groupIDs) {
                QList<qsizetype>& list = members[group];
                if (list.isEmpty() || list.last() != i) // a group listed twice counts once
                    list.append(i);
            }
        }
        m_groupMembers = std::move(members);
    }
    return *m_groupMembers;
}

QList<Selection> Store::selectionsIn(const QUuid& groupID) const
{
    QList<Selection> result;
    const auto it = groupMembers().constFind(groupID);
    if (it == groupMembers().cend())
        return result;
    result.reserve(it->size());
    for (qsizetype position : *it)
        result.append(m_selections[position]);
    return result;
}

QList<SourceAggregate> Store::sourceAggregates() const
{
    return StoreAggregation::sources(m_selections);
}

QList<SourceIdentity> Store::sourceIdentities() const
{
    QList<SourceIdentity> identities;
    for (const SourceAggregate& aggregate : sourceAggregates())
        identities.append(aggregate.identity);
    return identities;
}

const QHash<QString, qsizetype>& Store::sourceCounts() const
{
    if (!m_sourceCounts) {
        QHash<QString, qsizetype> counts;
        for (const Selection& s : m_selections)
            ++counts[SourceIdentity::keyOf(s)];
        m_sourceCounts = std::move(counts);
    }
    return *m_sourceCounts;
}

qsizetype Store::count(const SourceIdentity& source) const
{
    return sourceCounts().value(source.identifier, 0);
}
