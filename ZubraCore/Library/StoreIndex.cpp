#include "ZubraCore/Library/StoreIndex.h"

#include "ZubraCore/Support/CollationKeys.h"
#include "ZubraCore/Support/ParallelChunks.h"
#include "ZubraCore/Text/Composed.h"
#include "ZubraCore/Text/TextCollation.h"

#include <QSet>

#include <algorithm>
#include <limits>
#include <numeric>

namespace {

qint64 timeKey(const QDateTime& time)
{
    return time.isValid() ? time.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
}


} // namespace

// The collation keys of many new names at once, on several threads (each has its own collator).
void StoreIndex::addNames(const QList<QString>& spellings)
{
    QList<QString> nfc(spellings.size());
    QList<QByteArray> keys(spellings.size());
    const auto count = spellings.size();
    ParallelChunks::run(count, ParallelChunks::chunkCount(count, 512), [&](int, qsizetype begin, qsizetype end) {
        CollationKeys collation;
        for (qsizetype i = begin; i < end; ++i) {
            const QString& spelling = spellings[i];
            nfc[i] = Composed::of(spelling);
            keys[i] = TextCollation::sortKeyCaseInsensitive(nfc[i]);
        }
    });
    for (qsizetype i = 0; i < count; ++i) {
        if (m_nameOfSpelling.contains(spellings[i]))
            continue;
        int id = m_nameOfNfc.value(nfc[i], -1);
        if (id < 0) {
            Name name {keys[i], -1};
            const auto cls = m_classOfKey.constFind(name.collationKey);
            name.nameClass = cls != m_classOfKey.cend() ? *cls : int(m_classOfKey.size());
            if (cls == m_classOfKey.cend())
                m_classOfKey.insert(name.collationKey, name.nameClass);
            id = int(m_names.size());
            m_names.push_back(std::move(name));
            m_nameOfNfc.insert(nfc[i], id);
        }
        m_nameOfSpelling.insert(spellings[i], id);
    }
}

int StoreIndex::nameOfSpelling(const QString& spelling)
{
    const auto found = m_nameOfSpelling.constFind(spelling);
    if (found != m_nameOfSpelling.cend())
        return *found;
    const QString nfc = Composed::of(spelling);
    int id = m_nameOfNfc.value(nfc, -1);
    if (id < 0) {
        CollationKeys keys;
        Name name {keys.of(nfc), -1};
        const auto cls = m_classOfKey.constFind(name.collationKey);
        name.nameClass = cls != m_classOfKey.cend() ? *cls : int(m_classOfKey.size());
        if (cls == m_classOfKey.cend())
            m_classOfKey.insert(name.collationKey, name.nameClass);
        id = int(m_names.size());
        m_names.push_back(std::move(name));
        m_nameOfNfc.insert(nfc, id);
    }
    m_nameOfSpelling.insert(spelling, id);
    return id;
}

StoreIndex::Record StoreIndex::makeRecord(const Selection& s)
{
    const QString& sourceKey = SourceIdentity::keyOf(s);
    return Record {s.id, timeKey(s.createdAt), nameOfSpelling(s.appName), nameOfSpelling(sourceKey), sourceKey,
        sourceFor(sourceKey), s.groupIDs, true};
}

int StoreIndex::sourceFor(const QString& sourceKey)
{
    const auto it = m_sourceOf.constFind(sourceKey);
    if (it != m_sourceOf.cend())
        return *it;
    m_sources.push_back(Source {sourceKey, 0, 0});
    m_sourceOf.insert(sourceKey, int(m_sources.size()) - 1);
    return int(m_sources.size()) - 1;
}

void StoreIndex::addToSource(Key key)
{
    Source& source = m_sources[size_t(m_records[key].source)];
    ++source.count;
    source.newest = std::max(source.newest, key);
}

void StoreIndex::count(const Record& record, int delta)
{
    QList<QUuid> seen;
    for (const QUuid& group : record.groupIDs) {
        if (seen.contains(group))
            continue;
        seen.append(group);
        qsizetype& n = m_groupCounts[group];
        n += delta;
        if (n <= 0)
            m_groupCounts.remove(group);
    }
}

void StoreIndex::assign(const QList<Selection>& selections)
{
    Q_ASSERT(m_nextKey == 1); // once, on an empty index
    const auto n = selections.size();
    m_records.resize(size_t(n) + 1);
    m_libraryKeys.reserve(size_t(n));
    std::vector<Key> searchKeys(static_cast<size_t>(n));
    // Keys are given from the end (key n - i for selections[i]): the first of repeated ids wins.
    const auto keyAt = [n](qsizetype i) { return Key(n - i); };
    ParallelChunks::together(
        [&] {
            m_keyOf.reserve(n);
            for (qsizetype i = n - 1; i >= 0; --i)
                m_keyOf.insert(IdKey {selections[i].id}, keyAt(i));
        },
        [&] { assignRecords(selections, keyAt, searchKeys); });
    m_nextKey = Key(n) + 1;
    // The orders first: the search text's build takes every core it can get.
    sortAll();
    m_search.buildInBackground(selections, std::move(searchKeys));
}

template <typename KeyAt>
void StoreIndex::assignRecords(const QList<Selection>& selections, KeyAt keyAt, std::vector<Key>& searchKeys)
{
    const auto n = selections.size();
    // Each distinct spelling (app name or source key) is hashed once and then known by its place
    // in `distinct`: the records below look up no string. Chunks find theirs in parallel; their
    // lists are joined in order, so places follow the first appearance as in one pass.
    QList<QString> distinct;
    std::vector<int> spellingOf(size_t(n) * 2); // app name, source key
    {
        const int chunks = ParallelChunks::chunkCount(n, 16384);
        std::vector<QList<QString>> chunkDistinct(static_cast<size_t>(chunks));
        std::vector<qsizetype> chunkBegin(static_cast<size_t>(chunks));
        ParallelChunks::run(n, chunks, [&](int chunk, qsizetype begin, qsizetype end) {
            chunkBegin[size_t(chunk)] = begin;
            QHash<QString, int> place;
            QList<QString>& found = chunkDistinct[size_t(chunk)];
            for (qsizetype i = begin; i < end; ++i) {
                const Selection& s = selections[i];
                const QString sourceKey = SourceIdentity::keyOf(s);
                const QString* spellings[] = {&s.appName, &sourceKey};
                for (size_t f = 0; f < 2; ++f) {
                    auto it = place.constFind(*spellings[f]);
                    if (it == place.cend()) {
                        it = place.insert(*spellings[f], int(found.size()));
                        found.append(*spellings[f]);
                    }
                    spellingOf[size_t(i) * 2 + f] = *it;
                }
            }
        });
        QHash<QString, int> place;
        for (size_t chunk = 0; chunk < chunkDistinct.size(); ++chunk) {
            const QList<QString>& found = chunkDistinct[chunk];
            std::vector<int> global(static_cast<size_t>(found.size()));
            for (qsizetype p = 0; p < found.size(); ++p) {
                auto it = place.constFind(found[p]);
                if (it == place.cend()) {
                    it = place.insert(found[p], int(distinct.size()));
                    distinct.append(found[p]);
                }
                global[size_t(p)] = *it;
            }
            const qsizetype end = chunk + 1 < chunkDistinct.size() ? chunkBegin[chunk + 1] : n;
            for (qsizetype i = chunkBegin[chunk] * 2; i < end * 2; ++i)
                spellingOf[size_t(i)] = global[size_t(spellingOf[size_t(i)])];
        }
        addNames(distinct);
    }
    std::vector<int> nameOfPlace(size_t(distinct.size()));
    for (qsizetype p = 0; p < distinct.size(); ++p)
        nameOfPlace[size_t(p)] = m_nameOfSpelling.value(distinct[p]);
    std::vector<int> sourceOfPlace(size_t(distinct.size()), -1); // made on first use, in key order
    for (qsizetype i = n - 1; i >= 0; --i) {
        const Selection& s = selections[i];
        const Key key = keyAt(i);
        const int app = spellingOf[size_t(i) * 2];
        const int source = spellingOf[size_t(i) * 2 + 1];
        if (sourceOfPlace[size_t(source)] < 0)
            sourceOfPlace[size_t(source)] = sourceFor(distinct[source]);
        m_records[key] = Record {s.id, timeKey(s.createdAt), nameOfPlace[size_t(app)], nameOfPlace[size_t(source)],
            distinct[source], sourceOfPlace[size_t(source)], s.groupIDs, true};
        m_libraryKeys.push_back(key);
        searchKeys[size_t(i)] = key;
        count(m_records[key], 1);
        addToSource(key);
    }
}

// The name orders compare ranks of name classes here, the same order as their collation keys
// but cheaper; later insertions compare the keys themselves.
void StoreIndex::sortAll()
{
    std::vector<const QByteArray*> classKeys(size_t(m_classOfKey.size()));
    for (auto it = m_classOfKey.cbegin(); it != m_classOfKey.cend(); ++it)
        classKeys[size_t(*it)] = &it.key();
    std::vector<int> byKey(classKeys.size());
    std::iota(byKey.begin(), byKey.end(), 0);
    std::sort(byKey.begin(), byKey.end(), [&](int a, int b) { return *classKeys[size_t(a)] < *classKeys[size_t(b)]; });
    std::vector<int> rank(classKeys.size());
    for (size_t i = 0; i < byKey.size(); ++i)
        rank[size_t(byKey[i])] = int(i);

    // The time orders: the library is mostly in capture order already (either way round), so a
    // check in one pass usually spares the sort. Oldest first is newest first read backwards, with
    // the selections of one moment kept in library order.
    {
        const auto newestStored = [this](Key a, Key b) { return storedBefore(SortMode::newestFirst, a, b); };
        std::vector<Key>& newest = m_orders[size_t(SortMode::newestFirst)];
        newest.assign(m_libraryKeys.begin(), m_libraryKeys.end());
        if (!std::is_sorted(newest.begin(), newest.end(), newestStored)) {
            std::reverse(newest.begin(), newest.end());
            if (!std::is_sorted(newest.begin(), newest.end(), newestStored))
                std::sort(newest.begin(), newest.end(), newestStored);
        }
        std::vector<Key>& oldest = m_orders[size_t(SortMode::oldestFirst)];
        oldest = newest;
        for (auto run = oldest.begin(); run != oldest.end();) {
            const qint64 time = m_records[*run].time;
            const auto end = std::find_if(run, oldest.end(), [&](Key key) { return m_records[key].time != time; });
            std::reverse(run, end);
            run = end;
        }
        Q_ASSERT(std::is_sorted(oldest.begin(), oldest.end(),
            [this](Key a, Key b) { return storedBefore(SortMode::oldestFirst, a, b); }));
    }
    // The name orders, one on another thread.
    constexpr std::array<SortMode, 2> nameModes {SortMode::byApp, SortMode::bySource};
    ParallelChunks::run(2, 2, [&](int chunk, qsizetype, qsizetype) {
        const SortMode mode = nameModes[size_t(chunk)];
        std::vector<Key>& order = m_orders[size_t(mode)];
        order.assign(m_libraryKeys.rbegin(), m_libraryKeys.rend());
        std::vector<int> rankOf(m_records.size());
        for (Key key : order)
            rankOf[key] = rank[size_t(m_names[size_t(nameOf(mode, key))].nameClass)];
        std::sort(order.begin(), order.end(), [&](Key a, Key b) {
            if (rankOf[a] != rankOf[b])
                return rankOf[a] < rankOf[b];
            const qint64 ta = m_records[a].time;
            const qint64 tb = m_records[b].time;
            return ta != tb ? ta > tb : a > b;
        });
        Q_ASSERT(std::is_sorted(order.begin(), order.end(), [&](Key a, Key b) { return storedBefore(mode, a, b); }));
    });
}

bool StoreIndex::precedes(SortMode mode, Key a, Key b) const
{
    const Record& ra = m_records[a];
    const Record& rb = m_records[b];
    switch (mode) {
    case SortMode::newestFirst:
        return ra.time != rb.time ? ra.time > rb.time : a > b;
    case SortMode::oldestFirst:
        return ra.time != rb.time ? ra.time < rb.time : a > b;
    case SortMode::byApp:
    case SortMode::bySource: {
        const Name& na = m_names[size_t(nameOf(mode, a))];
        const Name& nb = m_names[size_t(nameOf(mode, b))];
        if (na.nameClass != nb.nameClass)
            return na.collationKey < nb.collationKey;
        return ra.time != rb.time ? ra.time > rb.time : a > b;
    }
    }
    return a > b;
}

StoreIndex::Key StoreIndex::insertFront(const Selection& selection)
{
    const Key key = insertRecord(selection);
    insertInOrders(key);
    return key;
}

void StoreIndex::insertFront(const QList<Selection>& selections)
{
    std::vector<Key> added;
    added.reserve(size_t(selections.size()));
    for (const Selection& selection : selections)
        added.push_back(insertRecord(selection));
    for (SortMode mode : SortModes::allCases()) {
        const auto before = [this, mode](Key a, Key b) { return storedBefore(mode, a, b); };
        std::vector<Key>& order = m_orders[size_t(mode)];
        const auto oldEnd = qsizetype(order.size());
        order.insert(order.end(), added.begin(), added.end());
        std::sort(order.begin() + oldEnd, order.end(), before);
        std::inplace_merge(order.begin(), order.begin() + oldEnd, order.end(), before);
    }
}

StoreIndex::Key StoreIndex::insertRecord(const Selection& selection)
{
    const Key key = m_nextKey++;
    if (m_records.size() <= key)
        m_records.resize(std::max(size_t(key) + 1, m_records.size() * 3 / 2));
    m_records[key] = makeRecord(selection);
    m_keyOf.insert(IdKey {selection.id}, key);
    m_libraryKeys.push_back(key);
    m_search.set(key, selection);
    count(m_records[key], 1);
    addToSource(key);
    return key;
}

void StoreIndex::insertInOrders(Key key)
{
    for (SortMode mode : SortModes::allCases()) {
        std::vector<Key>& order = m_orders[size_t(mode)];
        const auto at = std::lower_bound(
            order.begin(), order.end(), key, [this, mode](Key a, Key b) { return storedBefore(mode, a, b); });
        order.insert(at, key);
    }
}

std::vector<StoreIndex::Key> StoreIndex::order(SortMode mode) const
{
    const std::vector<Key>& stored = m_orders[size_t(mode)];
    return storedReversed(mode) ? std::vector<Key>(stored.rbegin(), stored.rend()) : stored;
}

void StoreIndex::remove(const QList<Key>& keys)
{
    QList<int> staleSources;
    for (Key key : keys) {
        if (!isLive(key))
            continue;
        Record& record = m_records[key];
        record.live = false;
        count(record, -1);
        if (m_keyOf.value(IdKey {record.id}) == key)
            m_keyOf.remove(IdKey {record.id});
        m_search.erase(key);
        Source& source = m_sources[size_t(record.source)];
        if (--source.count == 0)
            source.newest = 0;
        else if (source.newest == key)
            staleSources.append(record.source);
    }
    // A few keys are found by binary search, each order being sorted by a total order; many go
    // in one pass over each list.
    if (keys.size() <= 64) {
        for (Key key : keys) {
            const auto at = std::lower_bound(m_libraryKeys.begin(), m_libraryKeys.end(), key);
            if (at == m_libraryKeys.end() || *at != key)
                continue;
            m_libraryKeys.erase(at);
            for (SortMode mode : SortModes::allCases()) {
                std::vector<Key>& order = m_orders[size_t(mode)];
                const auto it = std::lower_bound(order.begin(), order.end(), key,
                    [this, mode](Key a, Key b) { return storedBefore(mode, a, b); });
                Q_ASSERT(it != order.end() && *it == key);
                order.erase(it);
            }
        }
    } else {
        std::vector<bool> dead(size_t(m_nextKey), false);
        for (Key key : keys)
            dead[key] = true;
        const auto isDead = [&dead](Key key) { return bool(dead[key]); };
        std::erase_if(m_libraryKeys, isDead);
        for (std::vector<Key>& order : m_orders)
            std::erase_if(order, isDead);
    }
    // The newest remaining selection of a source whose newest went: one walk from the front.
    QSet<int> open(staleSources.cbegin(), staleSources.cend());
    for (auto it = m_libraryKeys.rbegin(); it != m_libraryKeys.rend() && !open.isEmpty(); ++it) {
        if (open.remove(m_records[*it].source))
            m_sources[size_t(m_records[*it].source)].newest = *it;
    }
}

void StoreIndex::update(Key key, const Selection& selection, bool searchedFieldsChanged)
{
    if (!isLive(key))
        return;
    Record& old = m_records[key];
    const bool reorders = old.time != makeRecord(selection).time || old.appName != nameOfSpelling(selection.appName)
        || old.sourceKey != SourceIdentity::keyOf(selection);
    if (reorders) {
        remove({key});
        // Same key, same library position: put it back in place.
        m_records[key] = makeRecord(selection);
        m_keyOf.insert(IdKey {selection.id}, key);
        m_libraryKeys.insert(std::lower_bound(m_libraryKeys.begin(), m_libraryKeys.end(), key), key);
        count(m_records[key], 1);
        addToSource(key);
        insertInOrders(key);
    } else {
        count(old, -1);
        old.groupIDs = selection.groupIDs;
        count(old, 1);
    }
    if (reorders || searchedFieldsChanged)
        m_search.set(key, selection);
}

qsizetype StoreIndex::position(Key key) const
{
    if (!isLive(key))
        return -1;
    const auto it = std::lower_bound(m_libraryKeys.begin(), m_libraryKeys.end(), key);
    return qsizetype(m_libraryKeys.size()) - 1 - (it - m_libraryKeys.begin());
}

bool StoreIndex::groupSpellings(SortMode mode, std::vector<Key>& keys) const
{
    if (mode != SortMode::byApp && mode != SortMode::bySource)
        return false;
    bool moved = false;
    size_t begin = 0;
    while (begin < keys.size()) {
        const int cls = m_names[size_t(nameOf(mode, keys[begin]))].nameClass;
        const int first = nameOf(mode, keys[begin]);
        size_t end = begin + 1;
        bool mixed = false;
        while (end < keys.size() && m_names[size_t(nameOf(mode, keys[end]))].nameClass == cls) {
            mixed = mixed || nameOf(mode, keys[end]) != first;
            ++end;
        }
        if (mixed) {
            // A name's first appearance in library order is its greatest key.
            QHash<int, Key> newest;
            for (size_t i = begin; i < end; ++i) {
                Key& n = newest[nameOf(mode, keys[i])];
                n = std::max(n, keys[i]);
            }
            const auto before = std::vector<Key>(keys.begin() + qsizetype(begin), keys.begin() + qsizetype(end));
            std::stable_sort(keys.begin() + qsizetype(begin), keys.begin() + qsizetype(end), [&](Key a, Key b) {
                return newest.value(nameOf(mode, a)) > newest.value(nameOf(mode, b));
            });
            moved = moved || !std::equal(before.begin(), before.end(), keys.begin() + qsizetype(begin));
        }
        begin = end;
    }
    return moved;
}
