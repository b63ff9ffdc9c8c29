#include "ZubraCore/Library/StoreIndex.h"

#include "ZubraCore/Support/CollationKeys.h"

#include <algorithm>
#include <limits>

namespace {

qint64 timeKey(const QDateTime& time)
{
    return time.isValid() ? time.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
}

bool isSurelyNFC(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x300; });
}

} // namespace

int StoreIndex::nameOfSpelling(const QString& spelling)
{
    const auto found = m_nameOfSpelling.constFind(spelling);
    if (found != m_nameOfSpelling.cend())
        return *found;
    const QString nfc = isSurelyNFC(spelling) ? spelling : spelling.normalized(QString::NormalizationForm_C);
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
        s.groupIDs, true};
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
    *this = StoreIndex();
    const auto n = selections.size();
    m_records.resize(size_t(n) + 1);
    m_libraryKeys.reserve(size_t(n));
    std::vector<std::pair<Key, const Selection*>> forSearch;
    forSearch.reserve(size_t(n));
    for (qsizetype i = n - 1; i >= 0; --i) {
        const Selection& s = selections[i];
        const Key key = m_nextKey++;
        m_records[key] = makeRecord(s);
        m_libraryKeys.push_back(key);
        forSearch.emplace_back(key, &s);
        m_keyOf.insert(s.id, key); // from the end, so the first of repeated ids wins
        count(m_records[key], 1);
        Source& source = m_sources[m_records[key].sourceKey];
        ++source.count;
        source.newest = key;
    }
    m_search.setAll(forSearch);
    sortAll();
}

void StoreIndex::sortAll()
{
    for (SortMode mode : SortModes::allCases()) {
        std::vector<Key>& order = m_orders[size_t(mode)];
        order.assign(m_libraryKeys.rbegin(), m_libraryKeys.rend());
        std::sort(order.begin(), order.end(), [this, mode](Key a, Key b) { return storedBefore(mode, a, b); });
    }
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
    const Key key = m_nextKey++;
    if (m_records.size() <= key)
        m_records.resize(std::max(size_t(key) + 1, m_records.size() * 3 / 2));
    m_records[key] = makeRecord(selection);
    m_keyOf.insert(selection.id, key);
    m_libraryKeys.push_back(key);
    m_search.set(key, selection);
    count(m_records[key], 1);
    Source& source = m_sources[m_records[key].sourceKey];
    ++source.count;
    source.newest = key;
    insertInOrders(key);
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
    QList<QString> staleSources;
    for (Key key : keys) {
        if (!isLive(key))
            continue;
        Record& record = m_records[key];
        record.live = false;
        count(record, -1);
        if (m_keyOf.value(record.id) == key)
            m_keyOf.remove(record.id);
        m_search.erase(key);
        Source& source = m_sources[record.sourceKey];
        if (--source.count == 0)
            m_sources.remove(record.sourceKey);
        else if (source.newest == key)
            staleSources.append(record.sourceKey);
    }
    const auto dead = [this](Key key) { return !m_records[key].live; };
    std::erase_if(m_libraryKeys, dead);
    for (std::vector<Key>& order : m_orders)
        std::erase_if(order, dead);
    // The newest remaining selection of a source whose newest went: one walk from the front.
    QSet<QString> open(staleSources.cbegin(), staleSources.cend());
    for (auto it = m_libraryKeys.rbegin(); it != m_libraryKeys.rend() && !open.isEmpty(); ++it) {
        if (open.remove(m_records[*it].sourceKey))
            m_sources[m_records[*it].sourceKey].newest = *it;
    }
}

void StoreIndex::update(Key key, const Selection& selection)
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
        m_keyOf.insert(selection.id, key);
        m_libraryKeys.insert(std::lower_bound(m_libraryKeys.begin(), m_libraryKeys.end(), key), key);
        count(m_records[key], 1);
        Source& source = m_sources[m_records[key].sourceKey];
        ++source.count;
        source.newest = std::max(source.newest, key);
        insertInOrders(key);
    } else {
        count(old, -1);
        old.groupIDs = selection.groupIDs;
        count(old, 1);
    }
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
