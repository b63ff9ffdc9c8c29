#pragma once
// The library list's search with a memory: each selection's lowered, normalized search text is
// made once and reused while its fields stay the same, so a keystroke only scans. Results are
// exactly those of SortModes::matches.

#include "ZubraCore/Library/Selection.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>

class SelectionSearchIndex
{
public:
    // Same result as SortModes::matches(query, selection).
    bool matches(const QString& query, const Selection& selection);

    // The selections that match, in their given order.
    QList<Selection> filter(const QList<Selection>& selections, const QString& query);

    qsizetype cachedCount() const { return m_entries.size(); }
    void clear() { m_entries.clear(); }

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

    const Entry& entryFor(const Selection& selection);
    static bool containsQuery(const Entry& entry, const QString& normalizedQuery);
    void prune(const QList<Selection>& current);

    QHash<QUuid, Entry> m_entries;
};
