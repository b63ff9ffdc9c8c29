#pragma once
// The library list's search with a memory: each selection's lowered, normalized search text is
// made once, when the selection arrives, and kept under the selection's key in the store's
// index, so a keystroke only scans (and skips what cannot match). Results are exactly those of
// SortModes::matches.

#include "ZubraCore/Library/Selection.h"

#include <QList>
#include <QString>
#include <array>
#include <optional>
#include <thread>
#include <vector>

class SelectionSearchIndex
{
    struct Needle;

    // Which code units and which adjacent pairs of them occur in a text, hashed into bits: a
    // selection lacking a bit of the query cannot match, and is passed over without a scan.
    struct Grams
    {
        std::array<quint64, 20> bits {}; // 4 words of code units, 16 of pairs

        void add(QStringView text);
        bool covers(const Grams& needed) const
        {
            for (size_t i = 0; i < bits.size(); ++i) {
                if ((bits[i] & needed.bits[i]) != needed.bits[i])
                    return false;
            }
            return true;
        }
    };

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
        Grams m_grams;
    };
    // The query as the caller passes it to SortModes::matches (trimmed and lower-cased already).
    static Query prepare(const QString& query);

    SelectionSearchIndex() = default;
    SelectionSearchIndex(const SelectionSearchIndex&) = delete;
    SelectionSearchIndex& operator=(const SelectionSearchIndex&) = delete;
    // Waits for a build in the background.
    ~SelectionSearchIndex();

    // Builds the entries of a whole library on a worker thread (itself using several), so that
    // loading does not wait for it; keys[i] is the key of selections[i]. Changes made meanwhile
    // are applied when the build is taken over.
    void buildInBackground(const QList<Selection>& selections, std::vector<Key> keys);
    // Takes over a background build, waiting for it if needed. Call before matching from several
    // threads; the thread that changes the index calls it.
    void waitUntilBuilt() const;
    void set(Key key, const Selection& selection);
    void erase(Key key);
    // Same result as SortModes::matches for the selection stored under the key. Thread-safe
    // between changes, once waitUntilBuilt has returned.
    bool matches(Key key, const Query& query) const;

private:
    struct Entry
    {
        // Lowered and normalized. A markdown that is the text once lowered shares its string.
        QString loweredText;
        QString loweredMarkdown;
        QString loweredRest; // app name, address and file path joined by line feeds
        // Where the lowered markdown differs from the lowered text: before `markdownFrom` it is
        // the text's start, from `markdownTo` on the text's end, both searched in the text already.
        qsizetype markdownFrom = 0;
        qsizetype markdownTo = 0;
        Grams grams; // of the lowered fields, each on its own (the markdown where it differs)

        bool markdownIsText() const
        {
            return loweredMarkdown.constData() == loweredText.constData()
                && loweredMarkdown.size() == loweredText.size();
        }
    };

    // The normalized query and the position of its rarest code unit.
    struct Needle
    {
        QString text;
        qsizetype anchor;
        Grams grams;
    };
    static bool containsQuery(const Entry& entry, const Query& query)
    {
        return containsQuery(entry, Needle {query.m_text, query.m_anchor, query.m_grams});
    }

    static Entry makeEntry(const Selection& selection);
    static void setMarkdownDifference(Entry& entry);
    static Needle makeNeedle(const QString& query);
    static bool occursIn(QStringView haystack, const Needle& needle);
    static bool containsQuery(const Entry& entry, const Needle& needle);

    mutable std::vector<Entry> m_byKey;
    // The background build and what changed while it ran (an absent entry: erased).
    mutable std::thread m_builder;
    mutable std::vector<Entry> m_built;
    mutable std::vector<std::pair<Key, std::optional<Entry>>> m_changedDuringBuild;
};
