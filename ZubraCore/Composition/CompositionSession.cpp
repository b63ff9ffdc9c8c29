#include "ZubraCore/Composition/CompositionSession.h"

#include "ZubraCore/Composition/ContextComposer.h"
#include "ZubraCore/Composition/PreparedEntries.h"
#include "ZubraCore/Composition/TokenEstimator.h"

namespace ContextComposer {

namespace {

// The selection fields an entry's body, source line and source key are made from.
bool sameSource(const Selection& a, const Selection& b)
{
    return a.text == b.text && a.markdown == b.markdown && a.appName == b.appName && a.sourceURL == b.sourceURL
        && a.sourceTitle == b.sourceTitle && a.filePath == b.filePath && a.bundleID == b.bundleID;
}

} // namespace

void CompositionSession::clear()
{
    m_kept.clear();
    m_selectionIndex.clear();
    m_indexedData = nullptr;
    m_indexedSize = -1;
}

const Selection* CompositionSession::findSelection(const QList<Selection>& selections, const QUuid& id)
{
    if (selections.constData() != m_indexedData || selections.size() != m_indexedSize) {
        m_selectionIndex.clear();
        m_selectionIndex.reserve(selections.size());
        for (qsizetype i = 0; i < selections.size(); ++i)
            if (!m_selectionIndex.contains(selections[i].id)) // the first of equal ids wins
                m_selectionIndex.insert(selections[i].id, i);
        m_indexedData = selections.constData();
        m_indexedSize = selections.size();
    }
    const auto found = m_selectionIndex.constFind(id);
    if (found == m_selectionIndex.cend())
        return nullptr;
    const Selection& s = selections[*found];
    if (s.id == id)
        return &s;
    // The list changed in place under the same storage: index it again.
    m_indexedData = nullptr;
    return findSelection(selections, id);
}

ComposedContext CompositionSession::compose(const ContextDraft& draft, const QList<Selection>& selections,
    const std::optional<QString>& preamble, const ModelProfile& profile)
{
    const bool xml = draft.templateKind() == ComposerTemplate::xml;
    QList<PreparedEntry> pinned;
    QList<PreparedEntry> others;
    std::vector<PromptModel::EntryPieces> pinnedPieces;
    std::vector<PromptModel::EntryPieces> otherPieces;
    QList<QString> pinnedKeys;
    QList<QString> otherKeys;
    QList<QUuid> pinnedIDs;
    QList<QUuid> otherIDs;
    QHash<QUuid, Kept> kept;
    kept.reserve(draft.entries.size());
    m_lastPrepared = 0;

    for (qsizetype i = 0; i < draft.entries.size(); ++i) {
        const ContextDraftEntry& entry = draft.entries[i];
        if (!entry.include)
            continue;
        const Selection* selection = findSelection(selections, entry.selectionID);
        if (!selection)
            continue;
        auto previous = m_kept.find(entry.id);
        Kept k;
        if (previous != m_kept.end() && previous->entry == entry && previous->xml == xml
            && sameSource(previous->selection, *selection)) {
            k = std::move(*previous);
        } else {
            ++m_lastPrepared;
            k.entry = entry;
            k.selection = *selection;
            k.xml = xml;
            k.body = entryBody(entry, *selection);
            k.pieces = PromptModel::piecesOf(PreparedEntry {i, entry, *selection, k.body}, xml);
            k.key = groupKey(*selection);
        }
        const bool isPinned = entry.pin;
        (isPinned ? pinned : others).append(PreparedEntry {i, entry, k.selection, k.body});
        (isPinned ? pinnedPieces : otherPieces).push_back(k.pieces);
        (isPinned ? pinnedKeys : otherKeys).append(k.key);
        (isPinned ? pinnedIDs : otherIDs).append(entry.id);
        kept.insert(entry.id, std::move(k));
    }
    m_kept = std::move(kept);

    pinned.append(std::move(others));
    pinnedPieces.insert(pinnedPieces.end(), std::make_move_iterator(otherPieces.begin()),
        std::make_move_iterator(otherPieces.end()));
    pinnedKeys.append(std::move(otherKeys));
    pinnedIDs.append(std::move(otherIDs));

    PromptModel model(draft, pinned, preamble, std::move(pinnedPieces), pinnedKeys);
    ComposedContext result;
    result.text = model.text(0, model.size());
    const qint64 characters = result.text.isEmpty() ? 0 : model.characters(0, model.size());
    result.tokens = TokenEstimator::estimateForCount(characters, profile);
    result.entryCount = pinned.size();

    // Keep the counts the model has just made for the next call.
    std::vector<PromptModel::EntryPieces> counted = model.takePieces();
    for (qsizetype i = 0; i < pinnedIDs.size(); ++i)
        m_kept[pinnedIDs[i]].pieces = std::move(counted[size_t(i)]);
    return result;
}

} // namespace ContextComposer
