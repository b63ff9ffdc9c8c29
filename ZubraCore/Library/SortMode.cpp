#include "ZubraCore/Library/SortMode.h"

#include "ZubraCore/Support/CollationKeys.h"
#include "ZubraCore/Text/Composed.h"

#include <QHash>
#include <algorithm>
#include <limits>
#include <numeric>

namespace {

qint64 timeKey(const QDateTime& time)
{
    return time.isValid() ? time.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
}

QList<qint64> timeKeys(const QList<Selection>& selections)
{
    QList<qint64> keys;
    keys.reserve(selections.size());
    for (const Selection& s : selections)
        keys.append(timeKey(s.createdAt));
    return keys;
}

QList<Selection> permuted(const QList<Selection>& selections, const QList<qsizetype>& order)
{
    QList<Selection> result;
    result.reserve(order.size());
    for (qsizetype i : order)
        result.append(selections[i]);
    return result;
}

QList<qsizetype> identityOrder(qsizetype n)
{
    QList<qsizetype> order(n);
    std::iota(order.begin(), order.end(), qsizetype(0));
    return order;
}

const QString& sourceDisplay(const Selection& s)
{
    if (s.sourceURL)
        return *s.sourceURL;
    if (s.filePath)
        return *s.filePath;
    return s.appName;
}

// For each selection, the position of its name in the order of names: by collation key ignoring
// case, then by where the exact (NFC) name first appears in the input. Equal names share a position.
template <typename NameOf> QList<int> nameOrdinals(const QList<Selection>& selections, NameOf nameOf)
{
    // Distinct spellings first: libraries hold many selections but few names.
    QHash<QString, int> spellingSlot;
    QList<QString> spellings;
    QList<int> slotOf;
    slotOf.reserve(selections.size());
    for (const Selection& s : selections) {
        const QString& name = nameOf(s);
        auto it = spellingSlot.constFind(name);
        if (it == spellingSlot.cend()) {
            it = spellingSlot.insert(name, int(spellings.size()));
            spellings.append(name);
        }
        slotOf.append(*it);
    }

    // Canonically equivalent spellings are one name; its rank is its first spelling's slot,
    // which is also its first appearance in the input.
    QList<QString> nfcOf;
    nfcOf.reserve(spellings.size());
    bool anyDecomposed = false;
    for (const QString& spelling : spellings) {
        nfcOf.append(Composed::of(spelling));
        anyDecomposed = anyDecomposed || nfcOf.last() != spelling;
    }
    struct Name
    {
        QByteArray collationKey;
        int rank;
    };
    QList<Name> names;
    names.reserve(spellings.size());
    QList<int> nameOfSlot(spellings.size());
    CollationKeys keys;
    QHash<QString, int> nameOfNfc; // needed only when two spellings may meet in one form
    for (qsizetype slot = 0; slot < spellings.size(); ++slot) {
        const QString& nfc = nfcOf[slot];
        if (anyDecomposed) {
            const auto it = nameOfNfc.constFind(nfc);
            if (it != nameOfNfc.cend()) {
                nameOfSlot[slot] = *it;
                continue;
            }
            nameOfNfc.insert(nfc, int(names.size()));
        }
        nameOfSlot[slot] = int(names.size());
        names.append(Name {keys.of(nfc), int(slot)});
    }

    QList<int> byName(names.size());
    std::iota(byName.begin(), byName.end(), 0);
    std::sort(byName.begin(), byName.end(), [&](int a, int b) {
        const int c = names[a].collationKey.compare(names[b].collationKey);
        return c != 0 ? c < 0 : names[a].rank < names[b].rank;
    });
    QList<int> ordinalOfName(names.size());
    for (qsizetype i = 0; i < byName.size(); ++i)
        ordinalOfName[byName[i]] = int(i);

    QList<int> ordinals;
    ordinals.reserve(selections.size());
    for (int slot : slotOf)
        ordinals.append(ordinalOfName[nameOfSlot[slot]]);
    return ordinals;
}

template <typename NameOf> QList<Selection> sortByName(const QList<Selection>& selections, NameOf nameOf)
{
    const QList<int> ordinals = nameOrdinals(selections, nameOf);
    const QList<qint64> times = timeKeys(selections);
    QList<qsizetype> order = identityOrder(selections.size());
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        return ordinals[a] != ordinals[b] ? ordinals[a] < ordinals[b] : times[a] > times[b];
    });
    return permuted(selections, order);
}

QList<Selection> sortByTime(const QList<Selection>& selections, bool newestFirst)
{
    const QList<qint64> times = timeKeys(selections);
    QList<qsizetype> order = identityOrder(selections.size());
    std::stable_sort(order.begin(), order.end(),
        [&](qsizetype a, qsizetype b) { return newestFirst ? times[a] > times[b] : times[a] < times[b]; });
    return permuted(selections, order);
}

} // namespace

namespace SortModes {

const QList<SortMode>& allCases()
{
    static const QList<SortMode> cases {
        SortMode::newestFirst, SortMode::oldestFirst, SortMode::byApp, SortMode::bySource};
    return cases;
}

QString rawValue(SortMode mode)
{
    switch (mode) {
    case SortMode::newestFirst:
        return QStringLiteral("Newest first");
    case SortMode::oldestFirst:
        return QStringLiteral("Oldest first");
    case SortMode::byApp:
        return QStringLiteral("By app");
    case SortMode::bySource:
        return QStringLiteral("By source");
    }
    return {};
}

std::optional<SortMode> fromRawValue(const QString& raw)
{
    for (SortMode mode : allCases()) {
        if (rawValue(mode) == raw)
            return mode;
    }
    return std::nullopt;
}

QList<Selection> sort(SortMode mode, const QList<Selection>& selections)
{
    if (selections.size() < 2)
        return selections;
    switch (mode) {
    case SortMode::newestFirst:
        return sortByTime(selections, true);
    case SortMode::oldestFirst:
        return sortByTime(selections, false);
    case SortMode::byApp:
        return sortByName(selections, [](const Selection& s) -> const QString& { return s.appName; });
    case SortMode::bySource:
        return sortByName(selections, sourceDisplay);
    }
    return selections;
}

bool matches(const QString& query, const Selection& selection)
{
    if (query.isEmpty())
        return true;
    const QChar lineFeed(u'\n');
    const QString searchText = selection.text + lineFeed + selection.markdown() + lineFeed + selection.appName
        + lineFeed + selection.sourceURL.value_or(QString()) + lineFeed + selection.filePath.value_or(QString());
    return searchText.toLower()
        .normalized(QString::NormalizationForm_C)
        .contains(query.normalized(QString::NormalizationForm_C));
}

} // namespace SortModes
