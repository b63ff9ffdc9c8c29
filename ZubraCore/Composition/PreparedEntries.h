#pragma once
// The entries of a draft that take part in rendering, in prompt order, and their source keys.

#include "ZubraCore/Library/ContextDraft.h"
#include "ZubraCore/Library/Selection.h"

#include <QList>
#include <QString>
#include <optional>

namespace ContextComposer {

struct PreparedEntry
{
    qsizetype index = 0; // position in the draft's entries
    ContextDraftEntry entry;
    Selection selection;
    QString body;
};

// Included entries whose selections exist, pinned ones first, each group in draft order.
QList<PreparedEntry> preparedEntries(const ContextDraft& draft, const QList<Selection>& selections);

// The key entries are grouped by: the selection's source identifier, as the sidebar and the
// caption count sources (addresses and names composed, file paths byte for byte).
QString groupKey(const Selection& selection);

// The draft's task, a preamble or a note trimmed; no value when absent or blank.
std::optional<QString> trimmedText(const std::optional<QString>& text);

} // namespace ContextComposer
