// The store's operations on selections, groups and sources.

#include "ZubraCore/Library/Store.h"

#include <algorithm>

qsizetype Store::positionOf(const QUuid& id) const
{
    return m_index.position(m_index.keyOf(id));
}

QUuid Store::freshSelectionID() const
{
    QUuid id = QUuid::createUuid();
    while (m_index.keyOf(id) != 0)
        id = QUuid::createUuid();
    return id;
}

void Store::insertSelection(const Selection& selection)
{
    m_selections.prepend(selection);
    m_index.insertFront(selection);
}

void Store::editSelection(qsizetype position, const std::function<void(Selection&)>& edit)
{
    const Selection before = m_selections[position]; // shares its strings
    edit(m_selections[position]);
    const Selection& after = std::as_const(m_selections)[position];
    const bool searchedFieldsChanged = before.text != after.text || before.markdown() != after.markdown()
        || before.appName != after.appName || before.sourceURL != after.sourceURL || before.filePath != after.filePath;
    m_index.update(m_index.keyAt(position), after, searchedFieldsChanged);
}

void Store::add(const Selection& selection)
{
    assertOwnThread();
    if (!storageAllowsWrites() || m_index.keyOf(selection.id) != 0)
        return;
    beginChange();
    insertSelection(selection);
    scheduleSave();
    emit selectionsInserted({selection.id}, {0});
    emit selectionsChanged();
}

void Store::deleteSelection(const QUuid& id)
{
    deleteSelections({id});
}

void Store::deleteSelections(const QSet<QUuid>& ids)
{
    assertOwnThread();
    if (!storageAllowsWrites())
        return;
    beginChange();
    QList<qsizetype> positions;
    QList<StoreIndex::Key> keys;
    for (const QUuid& id : ids) {
        const StoreIndex::Key key = m_index.keyOf(id);
        if (key == 0)
            continue;
        keys.append(key);
        positions.append(m_index.position(key));
    }
    std::sort(positions.begin(), positions.end());
    QList<QUuid> removedIDs;
    if (positions.size() == 1) {
        // Whichever side of the record is shorter moves.
        const qsizetype at = positions.first();
        removedIDs.append(m_selections[at].id);
        if (at < m_selections.size() / 2) {
            std::move_backward(m_selections.begin(), m_selections.begin() + at, m_selections.begin() + at + 1);
            m_selections.removeFirst();
        } else {
            m_selections.remove(at);
        }
    } else if (!positions.isEmpty()) {
        // One pass: each kept record moves at most once.
        qsizetype next = 0;
        qsizetype at = -1; // the predicate sees each record once, in order
        m_selections.removeIf([&](const Selection& s) {
            ++at;
            if (next < positions.size() && positions[next] == at) {
                ++next;
                removedIDs.append(s.id);
                return true;
            }
            return false;
        });
    }
    m_index.remove(keys);

    QList<QUuid> changedDrafts;
    for (qsizetype d = 0; d < m_drafts.size(); ++d) {
        const QList<ContextDraftEntry>& entries = std::as_const(m_drafts)[d].entries;
        if (std::none_of(entries.cbegin(), entries.cend(),
                [&ids](const ContextDraftEntry& e) { return ids.contains(e.selectionID); }))
            continue;
        m_drafts[d].entries.removeIf([&ids](const ContextDraftEntry& e) { return ids.contains(e.selectionID); });
        changedDrafts.append(m_drafts[d].id);
    }
    scheduleSave();
    if (!removedIDs.isEmpty()) {
        emit selectionsRemoved(removedIDs);
        emit selectionsChanged();
    }
    for (const QUuid& draft : std::as_const(changedDrafts))
        emit draftChanged(draft);
    if (!changedDrafts.isEmpty())
        emit draftsChanged();
}

QList<Selection> Store::addImportedTextChunks(const QStringList& chunks, const QString& appName)
{
    assertOwnThread();
    QList<Selection> created;
    if (!storageAllowsWrites())
        return created;
    QSet<QUuid> taken;
    for (const QString& chunk : chunks) {
        if (chunk.trimmed().isEmpty())
            continue;
        QUuid id = freshSelectionID();
        while (taken.contains(id))
            id = freshSelectionID();
        taken.insert(id);
        created.append(Selection::make(id, chunk, chunk, appName, std::nullopt, std::nullopt, std::nullopt,
            std::nullopt, {}, now()));
    }
    if (created.isEmpty())
        return created;
    // All at once: each chunk in front of the one before, as one by one, at the cost of one.
    beginChange();
    QList<Selection> library;
    library.reserve(m_selections.size() + created.size());
    for (qsizetype i = created.size() - 1; i >= 0; --i)
        library.append(created[i]);
    library.append(m_selections);
    m_selections = std::move(library);
    m_index.insertFront(created);
    scheduleSave();
    QList<QUuid> ids;
    QList<qsizetype> positions;
    for (qsizetype i = 0; i < created.size(); ++i) {
        ids.append(created[created.size() - 1 - i].id);
        positions.append(i);
    }
    emit selectionsInserted(ids, positions);
    emit selectionsChanged();
    return created;
}

std::optional<Selection> Store::findByID(const QUuid& id) const
{
    assertOwnThread();
    const qsizetype position = positionOf(id);
    if (position < 0)
        return std::nullopt;
    return m_selections[position];
}

std::optional<SelectionGroup> Store::addGroup(const QString& name, const QString& colorHex)
{
    assertOwnThread();
    if (!storageAllowsWrites())
        return std::nullopt;
    beginChange();
    SelectionGroup group {QUuid::createUuid(), name, colorHex, now()};
    m_groups.append(group);
    scheduleSave();
    emit groupsInserted({group.id});
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
    assertOwnThread();
    if (!storageAllowsWrites())
        return;
    beginChange();
    QList<qsizetype> positions;
    for (const QUuid& id : selectionIDs) {
        const qsizetype position = positionOf(id);
        if (position >= 0 && !std::as_const(m_selections)[position].groupIDs.contains(groupID))
            positions.append(position);
    }
    std::sort(positions.begin(), positions.end()); // library order
    QList<QUuid> edited;
    for (qsizetype position : std::as_const(positions)) {
        editSelection(position, [&groupID](Selection& s) { s.groupIDs.append(groupID); });
        edited.append(m_selections[position].id);
    }
    scheduleSave();
    if (!edited.isEmpty()) {
        emit selectionsEdited(edited);
        emit selectionsChanged();
    }
}

void Store::removeFromGroups(const QSet<QUuid>& groupIDs, const QSet<QUuid>& selectionIDs)
{
    assertOwnThread();
    if (!storageAllowsWrites())
        return;
    beginChange();
    auto inGroups = [&groupIDs](const QUuid& id) { return groupIDs.contains(id); };
    QList<qsizetype> positions;
    for (const QUuid& id : selectionIDs) {
        const qsizetype position = positionOf(id);
        if (position < 0)
            continue;
        const QList<QUuid>& current = std::as_const(m_selections)[position].groupIDs;
        if (std::any_of(current.cbegin(), current.cend(), inGroups))
            positions.append(position);
    }
    std::sort(positions.begin(), positions.end());
    QList<QUuid> edited;
    for (qsizetype position : std::as_const(positions)) {
        editSelection(position, [&inGroups](Selection& s) { s.groupIDs.removeIf(inGroups); });
        edited.append(m_selections[position].id);
    }
    scheduleSave();
    if (!edited.isEmpty()) {
        emit selectionsEdited(edited);
        emit selectionsChanged();
    }
}

void Store::deleteGroup(const QUuid& groupID)
{
    assertOwnThread();
    if (!storageAllowsWrites())
        return;
    beginChange();
    const bool groupRemoved = m_groups.removeIf([&groupID](const SelectionGroup& g) { return g.id == groupID; }) > 0;
    QList<QUuid> edited;
    if (m_index.groupCount(groupID) > 0) {
        for (qsizetype i = 0; i < m_selections.size(); ++i) {
            if (!std::as_const(m_selections)[i].groupIDs.contains(groupID))
                continue;
            editSelection(i, [&groupID](Selection& s) { s.groupIDs.removeAll(groupID); });
            edited.append(m_selections[i].id);
        }
    }
    scheduleSave();
    if (groupRemoved) {
        emit groupsRemoved({groupID});
        emit groupsChanged();
    }
    if (!edited.isEmpty()) {
        emit selectionsEdited(edited);
        emit selectionsChanged();
    }
}

void Store::renameGroup(const QUuid& groupID, const QString& name)
{
    assertOwnThread();
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
    emit groupRenamed(groupID);
    emit groupsChanged();
}

std::optional<SelectionGroup> Store::findGroup(const QUuid& groupID) const
{
    assertOwnThread();
    for (const SelectionGroup& group : m_groups) {
        if (group.id == groupID)
            return group;
    }
    return std::nullopt;
}

QList<Selection> Store::selectionsIn(const QUuid& groupID) const
{
    assertOwnThread();
    QList<Selection> result;
    qsizetype left = m_index.groupCount(groupID);
    result.reserve(left);
    for (qsizetype i = 0; i < m_selections.size() && left > 0; ++i) {
        if (m_selections[i].groupIDs.contains(groupID)) {
            result.append(m_selections[i]);
            --left;
        }
    }
    return result;
}

QList<QUuid> Store::selectionIDsFrom(const QString& sourceKey) const
{
    assertOwnThread();
    QList<QUuid> result;
    qsizetype left = m_index.sourceCount(sourceKey);
    for (qsizetype i = 0; i < m_selections.size() && left > 0; ++i) {
        if (SourceIdentity::keyOf(m_selections[i]) == sourceKey) {
            result.append(m_selections[i].id);
            --left;
        }
    }
    return result;
}

QList<SourceAggregate> Store::sourceAggregates() const
{
    assertOwnThread();
    return StoreAggregation::sources(m_selections);
}

QList<SourceIdentity> Store::sourceIdentities() const
{
    QList<SourceIdentity> identities;
    for (const SourceAggregate& aggregate : sourceAggregates())
        identities.append(aggregate.identity);
    return identities;
}

qsizetype Store::count(const SourceIdentity& source) const
{
    assertOwnThread();
    return m_index.sourceCount(source.identifier);
}
