#include "ZubraCore/Library/StoreAggregation.h"

#include "ZubraCore/Support/CollationKeys.h"

#include <QHash>
#include <algorithm>

namespace StoreAggregation {

QList<SourceAggregate> sources(const QList<Selection>& selections)
{
    QHash<QString, qsizetype> rowOfKey;
    QList<SourceAggregate> rows;
    for (const Selection& s : selections) {
        const QString& key = SourceIdentity::keyOf(s);
        auto it = rowOfKey.constFind(key);
        if (it == rowOfKey.cend()) {
            it = rowOfKey.insert(key, rows.size());
            rows.append(SourceAggregate {SourceIdentity::from(s), 0, {}});
        }
        SourceAggregate& row = rows[*it];
        row.selectionIDs.append(s.id);
        ++row.count;
    }

    CollationKeys collation;
    QList<QByteArray> keys;
    keys.reserve(rows.size());
    for (const SourceAggregate& row : rows)
        keys.append(collation.of(row.identity.display()));
    QList<qsizetype> order(rows.size());
    for (qsizetype i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) { return keys[a] < keys[b]; });

    QList<SourceAggregate> sorted;
    sorted.reserve(rows.size());
    for (qsizetype i : order)
        sorted.append(std::move(rows[i]));
    return sorted;
}

} // namespace StoreAggregation
