#include "ZubraCore/Composition/CompositionSession.h"

#include "ZubraCore/Composition/ContextComposer.h"
#include "ZubraCore/Composition/PreparedEntries.h"
#include "ZubraCore/Composition/TokenEstimator.h"
#include "ZubraCore/Support/ParallelChunks.h"

namespace ContextComposer {

namespace {

// The selection fields an entry's body, source line and source key are made from.
bool sameSource(const Selection& a, const Selection& b)
{
    return a.text == b.text && a.markdown() == b.markdown() && a.appName == b.appName
        && a.sourceURL == b.sourceURL && a.sourceTitle == b.sourceTitle && a.filePath == b.filePath
        && a.bundleID == b.bundleID;
}

} // namespace

void CompositionSession::clear()
{
    m_kept.clear();
    m_selectionIndex.clear();
    m_indexedIDs.clear();
}

void CompositionSession::indexSelections(const QList<Selection>& selections)
{
    // The list is compared by its ids, in order: the store edits it in place, so its storage and
    // size can stay the same while it holds other selections.
    const qsizetype n = selections.size();
    bool same = n == m_indexedIDs.size();
    for (qsizetype i = 0; same && i < n; ++i)
        same = selections[i].id == m_indexedIDs[i];
    if (same)
        return;
    m_selectionIndex.clear();
    m_selectionIndex.reserve(n);
    m_indexedIDs.resize(n);
    for (qsizetype i = 0; i < n; ++i) {
        m_indexedIDs[i] = selections[i].id;
        if (!m_selectionIndex.contains(selections[i].id)) // the first of equal ids wins
            m_selectionIndex.insert(selections[i].id, i);
    }
}

const Selection* CompositionSession::findSelection(const QList<Selection>& selections, const QUuid& id) const
{
    const auto found = m_selectionIndex.constFind(id);
    return found == m_selectionIndex.cend() ? nullptr : &selections[*found];
}

ComposedContext CompositionSession::compose(const ContextDraft& draft, const QList<Selection>& selections,
    const std::optional<QString>& preamble, const ModelProfile& profile)
{
    const bool xml = draft.templateKind() == ComposerTemplate::xml;

    // The usable entries in draft order, each kept from the last call or marked to be made.
    struct Slot
    {
        qsizetype index;
        Kept kept;
        bool fresh;
    };
    indexSelections(selections);
    std::vector<Slot> usable;
    usable.reserve(size_t(draft.entries.size()));
    for (qsizetype i = 0; i < draft.entries.size(); ++i) {
        const ContextDraftEntry& entry = draft.entries[i];
        if (!entry.include)
            continue;
        const Selection* selection = findSelection(selections, entry.selectionID);
        if (!selection)
            continue;
        auto previous = m_kept.find(entry.id);
        if (previous != m_kept.end() && previous->entry == entry && previous->xml == xml
            && sameSource(previous->selection, *selection)) {
            usable.push_back({i, std::move(*previous), false});
            m_kept.erase(previous);
        } else {
            Kept k;
            k.entry = entry;
            k.selection = *selection;
            k.xml = xml;
            usable.push_back({i, std::move(k), true});
        }
    }

    // Bodies, pieces and their counts for the new and changed entries, on several threads when
    // there are many (opening a large draft).
    std::vector<Slot*> fresh;
    for (Slot& slot : usable)
        if (slot.fresh)
            fresh.push_back(&slot);
    m_lastPrepared = qsizetype(fresh.size());
    const auto prepare = [&fresh](int, qsizetype begin, qsizetype end) {
        for (qsizetype f = begin; f < end; ++f) {
            Slot& slot = *fresh[size_t(f)];
            Kept& k = slot.kept;
            k.body = entryBody(k.entry, k.selection);
            k.pieces = PromptModel::piecesOf(PreparedEntry {slot.index, k.entry, k.selection, k.body}, k.xml);
            k.pieces.body.characters();
            k.pieces.note.characters();
            k.pieces.line.characters();
            k.key = groupKey(k.selection);
        }
    };
    ParallelChunks::run(qsizetype(fresh.size()), ParallelChunks::chunkCount(qsizetype(fresh.size()), 64), prepare);

    // Pinned entries first, each group in draft order.
    QList<PreparedEntry> prepared;
    std::vector<PromptModel::EntryPieces> pieces;
    QList<QString> keys;
    QList<QUuid> ids;
    prepared.reserve(qsizetype(usable.size()));
    pieces.reserve(usable.size());
    keys.reserve(qsizetype(usable.size()));
    ids.reserve(qsizetype(usable.size()));
    for (bool pinnedPass : {true, false}) {
        for (const Slot& slot : usable) {
            if (slot.kept.entry.pin != pinnedPass)
                continue;
            prepared.append(PreparedEntry {slot.index, slot.kept.entry, slot.kept.selection, slot.kept.body});
            pieces.push_back(slot.kept.pieces);
            keys.append(slot.kept.key);
            ids.append(slot.kept.entry.id);
        }
    }
    QHash<QUuid, Kept> kept;
    kept.reserve(qsizetype(usable.size()));
    for (Slot& slot : usable)
        kept.insert(slot.kept.entry.id, std::move(slot.kept));
    m_kept = std::move(kept);

    PromptModel model(draft, prepared, preamble, std::move(pieces), keys);
    ComposedContext result;
    result.text = model.text(0, model.size());
    const qint64 characters = result.text.isEmpty() ? 0 : model.characters(0, model.size());
    result.tokens = TokenEstimator::estimateForCount(characters, profile);
    result.entryCount = prepared.size();

    // Keep the counts the model has just made for the next call.
    std::vector<PromptModel::EntryPieces> counted = model.takePieces();
    for (qsizetype i = 0; i < ids.size(); ++i)
        m_kept[ids[i]].pieces = std::move(counted[size_t(i)]);
    return result;
}

} // namespace ContextComposer
