#pragma once
// The library list's search with a memory: each selection's lowered, normalized search text is
// made once and reused while its fields stay the same, so a keystroke only scans. Results are
// exactly those of SortModes::matches.

#include "ZubraCore/Library/Selection.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>
#include <vector>

class SelectionSearchIndex
{
public:
    // Same result as SortModes::matches(query, selection).
    bool matches(const QString& query, const Selection& selection);

    // The selections that match, in their given order.
    QList<Selection> filter(const QList<Selection>& selections, const QString& query);

    qsizetype cachedCount() const { return qsizetype(m_entries.size()); }
    void clear();

private:
    struct Entry
    {
        // The fields the search text was made from (shared, not copied).
        QString text;
        QString markdown;
        QString appName;
        std::optional<QString> sourceURL;
        std::optional<QString> filePath;
        // Lowered and normalized; the markdown only when it differs from the text.
        QString loweredText;
        QString loweredMarkdown;
        bool markdownIsText = false;
        QString loweredRest; // app name, address and file path joined by line feeds
    };

    // The normalized query and the position of its rarest code unit.
    struct Needle
    {
        QString text;
        qsizetype anchor;
    };

    static Entry makeEntry(const Selection& selection);
    // The slot of an up-to-date entry for the selection; `hint` is a slot believed to hold it.
    qsizetype slotFor(const Selection& selection, qsizetype hint);
    static Needle makeNeedle(const QString& query);
    static bool occursIn(QStringView haystack, const Needle& needle);
    static bool containsQuery(const Entry& entry, const Needle& needle);
    void prune(const QList<Selection>& current);

    std::vector<Entry> m_entries;
    QHash<QUuid, qsizetype> m_slotOf;
    // The ids and slots of the last filtered list, position by position.
    QList<QUuid> m_lastIDs;
    QList<qsizetype> m_lastSlots;
};
