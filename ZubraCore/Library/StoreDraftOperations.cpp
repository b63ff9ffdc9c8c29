// The store's operations on prompt drafts.

#include "ZubraCore/Library/Store.h"

#include "ZubraCore/Text/Uuids.h"

#include <algorithm>

ContextDraft Store::makeDraft(const QString& name) const
{
    const QDateTime time = now();
    return ContextDraft::fresh(QUuid::createUuid(), name, time);
}

std::optional<ContextDraft> Store::activeDraft() const
{
    assertOwnThread();
    if (!m_activeDraftID)
        return m_drafts.isEmpty() ? std::nullopt : std::optional(m_drafts.first());
    return findDraft(*m_activeDraftID);
}

std::optional<ContextDraft> Store::findDraft(const QUuid& id) const
{
    assertOwnThread();
    for (const ContextDraft& draft : m_drafts) {
        if (draft.id == id)
            return draft;
    }
    return std::nullopt;
}

std::optional<ContextDraft> Store::newDraft(const std::optional<QString>& name)
{
    assertOwnThread();
    if (!storageAllowsWrites())
        return std::nullopt;
    beginChange();
    const ContextDraft draft = makeDraft(name.value_or(u"Prompt "_qs + QString::number(m_drafts.size() + 1)));
    m_drafts.append(draft);
    const std::optional<QUuid> previous = m_activeDraftID;
    m_activeDraftID = draft.id;
    scheduleSave();
    emit draftInserted(draft.id);
    emit draftsChanged();
    if (previous != m_activeDraftID)
        emit activeDraftIDChanged();
    return draft;
}

ContextDraft Store::ensureActiveDraft()
{
    assertOwnThread();
    if (std::optional<ContextDraft> active = activeDraft())
        return *active;
    const ContextDraft candidate = m_drafts.isEmpty() ? makeDraft(u"Prompt 1"_qs) : m_drafts.first();
    if (!storageAllowsWrites())
        return candidate;
    beginChange();
    const bool appended = !findDraft(candidate.id);
    if (appended)
        m_drafts.append(candidate);
    const std::optional<QUuid> previous = m_activeDraftID;
    m_activeDraftID = candidate.id;
    scheduleSave();
    if (appended) {
        emit draftInserted(candidate.id);
        emit draftsChanged();
    }
    if (previous != m_activeDraftID)
        emit activeDraftIDChanged();
    return candidate;
}

void Store::updateDraft(const ContextDraft& draft)
{
    assertOwnThread();
    if (!storageAllowsWrites())
        return;
    beginChange();
    ContextDraft updated = draft;
    updated.updatedAt = now();
    const auto it = std::find_if(
        m_drafts.cbegin(), m_drafts.cend(), [&draft](const ContextDraft& d) { return d.id == draft.id; });
    const bool appended = it == m_drafts.cend();
    if (appended)
        m_drafts.append(updated);
    else
        m_drafts[it - m_drafts.cbegin()] = updated;
    const bool activates = !m_activeDraftID.has_value();
    if (activates)
        m_activeDraftID = updated.id;
    scheduleSave();
    if (appended)
        emit draftInserted(updated.id);
    else
        emit draftChanged(updated.id);
    emit draftsChanged();
    if (activates)
        emit activeDraftIDChanged();
}

void Store::activateDraft(const QUuid& id)
{
    assertOwnThread();
    if (!storageAllowsWrites() || !findDraft(id))
        return;
    beginChange();
    const bool changed = m_activeDraftID != id;
    m_activeDraftID = id;
    scheduleSave();
    if (changed)
        emit activeDraftIDChanged();
}

void Store::deleteDraft(const QUuid& id)
{
    assertOwnThread();
    if (!storageAllowsWrites())
        return;
    beginChange();
    const bool removed = m_drafts.removeIf([&id](const ContextDraft& d) { return d.id == id; }) > 0;
    const std::optional<QUuid> previous = m_activeDraftID;
    if (m_activeDraftID == id)
        m_activeDraftID = m_drafts.isEmpty() ? std::nullopt : std::optional(m_drafts.first().id);
    scheduleSave();
    if (removed) {
        emit draftRemoved(id);
        emit draftsChanged();
    }
    if (previous != m_activeDraftID)
        emit activeDraftIDChanged();
}

int Store::addSelectionsToActiveDraft(const QSet<QUuid>& selectionIDs)
{
    assertOwnThread();
    if (!storageAllowsWrites() || selectionIDs.isEmpty())
        return 0;
    ContextDraft draft = ensureActiveDraft();

    // A deterministic order for the set: the library's, then unknown ids by their text.
    QList<std::pair<qsizetype, QUuid>> known;
    QList<std::pair<QString, QUuid>> unknown;
    for (const QUuid& id : selectionIDs) {
        const qsizetype position = positionOf(id);
        if (position >= 0)
            known.append({position, id});
        else
            unknown.append({Uuids::toText(id), id});
    }
    std::sort(known.begin(), known.end());
    std::sort(unknown.begin(), unknown.end());
    QList<QUuid> ordered;
    for (const auto& [position, id] : known)
        ordered.append(id);
    for (const auto& [text, id] : unknown)
        ordered.append(id);

    QSet<QUuid> present;
    for (const ContextDraftEntry& entry : draft.entries)
        present.insert(entry.selectionID);
    int added = 0;
    for (const QUuid& id : ordered) {
        if (present.contains(id))
            continue;
        draft.entries.append(ContextDraft::freshEntry(QUuid::createUuid(), id));
        present.insert(id);
        ++added;
    }
    if (added > 0)
        updateDraft(draft);
    return added;
}

bool Store::addSelectionToActiveDraft(const QUuid& selectionID)
{
    return addSelectionsToActiveDraft({selectionID}) > 0;
}
