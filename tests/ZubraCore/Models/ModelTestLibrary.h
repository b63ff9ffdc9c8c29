#pragma once
// Libraries for the model tests: random selections whose names collide in every way the orders
// care about (case, canonical equivalence, equal times), and the oracle of the library list.

#include "ZubraCore/Library/SortMode.h"
#include "ZubraCore/Library/Store.h"
#include "ZubraCore/Models/SidebarChoice.h"

#include <QRandomGenerator>

namespace ModelTestLibrary {

inline QUuid groupID(int n)
{
    return QUuid(0x6a000000u + uint(n), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
}

inline Selection randomSelection(QRandomGenerator& random)
{
    static const QStringList apps {u"Firefox"_qs, u"firefox"_qs, u"Notes"_qs, u"notes"_qs, u"Mail"_qs,
        u"\u00c9mile"_qs, u"E\u0301mile"_qs, u"Zed"_qs};
    static const QStringList words {u"alpha"_qs, u"Beta"_qs, u"caf\u00e9"_qs, u"cafe\u0301"_qs, u"delta"_qs,
        u"Echo"_qs, u"fox"_qs, u"line\nbreak"_qs};
    Selection s;
    s.id = QUuid::createUuid();
    for (int i = 0; i < 3; ++i)
        s.text += words[random.bounded(int(words.size()))] + u' ';
    s.setMarkdown(random.bounded(3) == 0 ? u"**"_qs + s.text + u"**"_qs : s.text);
    s.appName = apps[random.bounded(int(apps.size()))];
    switch (random.bounded(3)) {
    case 0:
        s.sourceURL = u"https://example.org/"_qs + QString::number(random.bounded(4));
        break;
    case 1:
        s.filePath = random.bounded(2) ? u"/home/Doc"_qs : u"/home/doc"_qs;
        break;
    default:
        break;
    }
    if (random.bounded(3) == 0)
        s.groupIDs.append(groupID(random.bounded(3)));
    // Few distinct times, so that ties are common.
    s.createdAt = QDateTime(QDate(2025, 3, 14), QTime(10, 0), Qt::UTC).addSecs(60 * random.bounded(8));
    return s;
}

inline StoreSnapshot randomSnapshot(QRandomGenerator& random, int count)
{
    StoreSnapshot snapshot;
    for (int i = 0; i < count; ++i)
        snapshot.selections.append(randomSelection(random));
    for (int g = 0; g < 3; ++g)
        snapshot.groups.append(SelectionGroup {groupID(g), u"Group "_qs + QString::number(g), u"#4F8EF7"_qs,
            QDateTime(QDate(2025, 1, 1), QTime(0, 0), Qt::UTC)});
    return snapshot;
}

// The library list as the window's rule makes it: the choice's selections in library order,
// those that match the trimmed, lower-cased search text, sorted by the mode.
inline QList<QUuid> expectedRows(const Store& store, const SidebarChoice& choice, const QString& search, SortMode mode)
{
    const QString query = search.trimmed().toLower();
    QList<Selection> shown;
    for (const Selection& s : store.selections()) {
        const bool chosen = choice.kind == SidebarChoice::Kind::allSelections
            || (choice.kind == SidebarChoice::Kind::group && s.groupIDs.contains(choice.groupID))
            || (choice.kind == SidebarChoice::Kind::source && SourceIdentity::keyOf(s) == choice.sourceIdentifier);
        if (chosen && SortModes::matches(query, s))
            shown.append(s);
    }
    QList<QUuid> ids;
    for (const Selection& s : SortModes::sort(mode, shown))
        ids.append(s.id);
    return ids;
}

} // namespace ModelTestLibrary
