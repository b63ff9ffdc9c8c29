#pragma once
// Composes one draft again and again while it is edited. Each entry's body, its prompt pieces and
// their character counts are kept between calls and made again only when what they depend on
// changes (the entry's switches, note or trimmed text, its selection, the layout), so a keystroke
// in the task re-reads one field instead of every source. The result equals
// ContextComposer::compose with no token cap.

#include "ZubraCore/Composition/ComposedContext.h"
#include "ZubraCore/Composition/PromptModel.h"
#include "ZubraCore/Library/ContextDraft.h"
#include "ZubraCore/Library/ModelProfile.h"
#include "ZubraCore/Library/Selection.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>
#include <optional>

namespace ContextComposer {

class CompositionSession
{
public:
    ComposedContext compose(const ContextDraft& draft, const QList<Selection>& selections,
        const std::optional<QString>& preamble, const ModelProfile& profile);

    // Forgets every kept entry (for tests and for a draft switch).
    void clear();
    // Entries prepared afresh by the last compose() (for tests).
    qsizetype lastPreparedCount() const { return m_lastPrepared; }

private:
    struct Kept
    {
        ContextDraftEntry entry;
        Selection selection;
        bool xml = false;
        QString body;
        PromptModel::EntryPieces pieces;
        QString key;
    };

    void indexSelections(const QList<Selection>& selections);
    const Selection* findSelection(const QList<Selection>& selections, const QUuid& id) const;

    QHash<QUuid, Kept> m_kept; // by entry id
    // Where each selection stands in the list of the ids below, the last list seen.
    QHash<QUuid, qsizetype> m_selectionIndex;
    QList<QUuid> m_indexedIDs;
    qsizetype m_lastPrepared = 0;
};

} // namespace ContextComposer
