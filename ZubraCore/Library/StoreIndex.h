#pragma once
// What the store keeps beside its selections so that views never wait: a key for each selection
// that never changes while the store lives, the library position of a key, the four sorted
// orders, the search text, and the counts per group and per source. The store's operations keep
// it current one selection at a time; nothing here is rebuilt for a capture or a delete.
//
// Keys grow with every insertion at the front of the library, so the library order (newest
// first) is the order of keys, greatest first.

#include "ZubraCore/Library/Selection.h"
#include "ZubraCore/Library/SelectionSearchIndex.h"
#include "ZubraCore/Library/SortMode.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>
#include <array>
#include <vector>

class StoreIndex
{
public:
    using Key = SelectionSearchIndex::Key; // 0 is no selection

    // What the orders and filters read of one selection.
    struct Record
    {
        QUuid id;
        qint64 time = 0; // capture time in ms; an invalid time sorts as the oldest
        int appName = -1; // in names()
        int sourceName = -1; // in names(); the source key's text
        QString sourceKey; // SourceIdentity::keyOf
        int source = -1; // in sources
        QList<QUuid> groupIDs;
        bool live = false;
    };

    // A name in the name orders: its collation key (localized, ignoring case) and its class,
    // shared by all names with the same key. Spellings that are canonically equivalent are one name.
    struct Name
    {
        QByteArray collationKey;
        int nameClass = -1;
    };

    // Indexes the library (newest first), once, on an empty index; keys are handed out from the
    // end. The search text is built in the background.
    void assign(const QList<Selection>& selections);
    // A selection inserted at the front of the library.
    Key insertFront(const Selection& selection);
    // Selections inserted at the front one after another (the last ends first), their orders
    // merged in once: O(k log k + n) for k selections, where k single insertions cost O(k n).
    void insertFront(const QList<Selection>& selections);
    // Keys removed from the library; orders and positions drop them in one pass.
    void remove(const QList<Key>& keys);
    // The selection's fields changed in place (group membership, or a capture's fields); its
    // search text is made again only when a searched field changed.
    void update(Key key, const Selection& selection, bool searchedFieldsChanged);

    Key keyOf(const QUuid& id) const { return m_keyOf.value(IdKey {id}, 0); }
    bool isLive(Key key) const { return key < m_records.size() && m_records[key].live; }
    const Record& record(Key key) const { return m_records[key]; }
    // Position in the library of a live key, else -1; logarithmic.
    qsizetype position(Key key) const;
    // The key at a library position.
    Key keyAt(qsizetype position) const { return m_libraryKeys[size_t(qsizetype(m_libraryKeys.size()) - 1 - position)]; }
    qsizetype size() const { return qsizetype(m_libraryKeys.size()); }
    Key lastKey() const { return m_nextKey - 1; }

    // Every live key in the mode's order. Name orders go by collation key, then capture time
    // (newest first), then library order; names of one class that are spelled differently are
    // not yet grouped: groupSpellings does that for a list taken from the order.
    std::vector<Key> order(SortMode mode) const;
    // Calls fn(key) for every live key in the mode's order.
    template <typename Fn> void forEachInOrder(SortMode mode, Fn&& fn) const
    {
        const std::vector<Key>& stored = m_orders[size_t(mode)];
        if (storedReversed(mode)) {
            for (auto it = stored.crbegin(); it != stored.crend(); ++it)
                fn(*it);
        } else {
            for (Key key : stored)
                fn(key);
        }
    }
    // True when a comes before b in the mode's order.
    bool precedes(SortMode mode, Key a, Key b) const;
    // The name a name order sorts a key by.
    int nameOf(SortMode mode, Key key) const
    {
        return mode == SortMode::byApp ? m_records[key].appName : m_records[key].sourceName;
    }
    const Name& name(int id) const { return m_names[size_t(id)]; }
    // Within each run of one name class, puts the differently spelled names in the order in which
    // they first appear in library order, as SortModes::sort does for a list in library order.
    // `keys` is a subsequence of order(mode). Returns whether anything moved.
    bool groupSpellings(SortMode mode, std::vector<Key>& keys) const;

    // Ready for matching (waits for the search text built in the background after a load).
    const SelectionSearchIndex& search() const
    {
        m_search.waitUntilBuilt();
        return m_search;
    }

    // A source key seen in this library, with its selections: how many and the newest (its first
    // in library order). A source keeps its number when its last selection goes.
    struct Source
    {
        QString key;
        qsizetype count = 0;
        Key newest = 0;
    };
    int sourceCount() const { return int(m_sources.size()); }
    const Source& source(int id) const { return m_sources[size_t(id)]; }
    int sourceOf(const QString& sourceKey) const { return m_sourceOf.value(sourceKey, -1); }

    // Selections per group id (an id listed twice by one selection counts once) and per source key.
    qsizetype groupCount(const QUuid& groupID) const { return m_groupCounts.value(groupID, 0); }
    qsizetype sourceCount(const QString& sourceKey) const
    {
        const int id = sourceOf(sourceKey);
        return id < 0 ? 0 : source(id).count;
    }

private:
    // The records, spellings, sources and group counts of a whole library; keyAt(i) is the key of
    // selections[i].
    template <typename KeyAt>
    void assignRecords(const QList<Selection>& selections, KeyAt keyAt, std::vector<Key>& searchKeys);

    // Qt's hash of a QUuid folds its fields with XOR, so ids that differ only in a few fields
    // (sequential ids written by other tools) fall into one bucket chain; this one mixes every byte.
    struct IdKey
    {
        QUuid id;
        friend bool operator==(const IdKey&, const IdKey&) = default;
        friend size_t qHash(const IdKey& key, size_t seed) noexcept { return qHashBits(&key.id, sizeof(QUuid), seed); }
    };

    // Newest first is kept back to front, so that a capture, the newest, is appended.
    static bool storedReversed(SortMode mode) { return mode == SortMode::newestFirst; }
    // The order as stored: a comes before b.
    bool storedBefore(SortMode mode, Key a, Key b) const
    {
        return storedReversed(mode) ? precedes(mode, b, a) : precedes(mode, a, b);
    }
    void insertInOrders(Key key);
    // Everything of insertFront but the orders.
    Key insertRecord(const Selection& selection);
    Record makeRecord(const Selection& selection);
    int sourceFor(const QString& sourceKey);
    void addToSource(Key key);
    int nameOfSpelling(const QString& spelling);
    void addNames(const QList<QString>& spellings);
    void count(const Record& record, int delta);
    void sortAll();

    std::vector<Record> m_records; // by key
    QHash<IdKey, Key> m_keyOf;
    std::vector<Key> m_libraryKeys; // ascending: the library's last selection first
    std::array<std::vector<Key>, 4> m_orders;
    Key m_nextKey = 1;

    std::vector<Name> m_names;
    QHash<QString, int> m_nameOfSpelling;
    QHash<QString, int> m_nameOfNfc;
    QHash<QByteArray, int> m_classOfKey;

    SelectionSearchIndex m_search;
    QHash<QUuid, qsizetype> m_groupCounts;
    std::vector<Source> m_sources;
    QHash<QString, int> m_sourceOf;
};
