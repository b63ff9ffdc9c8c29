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
    struct Needle;

public:
    // Entries kept by key for the store's index (see StoreIndex): built once, changed one by one.
    using Key = quint32;

    // A query made ready once per keystroke.
    class Query
    {
    public:
        bool isEmpty() const { return m_text.isEmpty(); }
        const QString& text() const { return m_text; }

    private:
        friend class SelectionSearchIndex;
        QString m_text;
        qsizetype m_anchor = 0;
    };
    // The query as the caller passes it to SortModes::matches (trimmed and lower-cased already).
    static Query prepare(const QString& query);

    // Builds the entries of many selections at once, on several threads.
    void setAll(const std::vector<std::pair<Key, const Selection*>>& selections);
    void set(Key key, const Selection& selection);
    void erase(Key key);
    // Same result as SortModes::matches for the selection stored under the key.
    bool matches(Key key, const Query& query) const;

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
    static bool containsQuery(const Entry& entry, const Query& query)
    {
        return containsQuery(entry, Needle {query.m_text, query.m_anchor});
    }

    static Entry makeEntry(const Selection& selection);
    // The slot of an up-to-date entry for the selection; `hint` is a slot believed to hold it.
    qsizetype slotFor(const Selection& selection, qsizetype hint);
    static Needle makeNeedle(const QString& query);
    static bool occursIn(QStringView haystack, const Needle& needle);
    static bool containsQuery(const Entry& entry, const Needle& needle);
    void prune(const QList<Selection>& current);

    std::vector<Entry> m_byKey;
    std::vector<Entry> m_entries;
    QHash<QUuid, qsizetype> m_slotOf;
    // The ids and slots of the last filtered list, position by position.
    QList<QUuid> m_lastIDs;
    QList<qsizetype> m_lastSlots;
};
