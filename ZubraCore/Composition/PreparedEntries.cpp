#include "ZubraCore/Composition/PreparedEntries.h"

#include "ZubraCore/Composition/ContextComposer.h"
#include "ZubraCore/Library/SourceIdentity.h"

#include <QHash>

namespace ContextComposer {

QList<PreparedEntry> preparedEntries(const ContextDraft& draft, const QList<Selection>& selections)
{
    // The library keeps ids unique; should two share one, the first wins.
    QHash<QUuid, const Selection*> byID;
    byID.reserve(selections.size());
    for (const Selection& s : selections)
        if (!byID.contains(s.id))
            byID.insert(s.id, &s);

    QList<PreparedEntry> pinned;
    QList<PreparedEntry> others;
    for (qsizetype i = 0; i < draft.entries.size(); ++i) {
        const ContextDraftEntry& entry = draft.entries[i];
        if (!entry.include)
            continue;
        const auto found = byID.constFind(entry.selectionID);
        if (found == byID.cend())
            continue;
        PreparedEntry prepared {i, entry, **found, entryBody(entry, **found)};
        (entry.pin ? pinned : others).append(std::move(prepared));
    }
    pinned.append(std::move(others));
    return pinned;
}

QString groupKey(const Selection& selection)
{
    return SourceIdentity::keyOf(selection);
}

std::optional<QString> trimmedText(const std::optional<QString>& text)
{
    if (!text)
        return std::nullopt;
    QString t = text->trimmed();
    if (t.isEmpty())
        return std::nullopt;
    return t;
}

} // namespace ContextComposer
