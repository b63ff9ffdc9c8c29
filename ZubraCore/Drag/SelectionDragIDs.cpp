#include "ZubraCore/Drag/SelectionDragIDs.h"

#include "ZubraCore/Text/Uuids.h"

#include <QStringList>
#include <algorithm>

namespace SelectionDragIDs {

QString encode(const QSet<QUuid>& ids)
{
    QStringList texts;
    texts.reserve(ids.size());
    for (const QUuid& id : ids)
        texts.append(Uuids::toText(id));
    // Plain code-unit order of the upper-case texts: digits before letters, position by position.
    std::sort(texts.begin(), texts.end());
    return prefix + texts.join(u',');
}

std::optional<QSet<QUuid>> ids(const std::optional<QString>& text)
{
    if (!text || !text->startsWith(prefix, Qt::CaseSensitive))
        return std::nullopt;
    QSet<QUuid> result;
    const QStringView rest = QStringView(*text).mid(prefix.size());
    for (const QStringView piece : rest.split(u',', Qt::SkipEmptyParts)) {
        if (const std::optional<QUuid> id = Uuids::parse(piece))
            result.insert(*id);
    }
    if (result.isEmpty())
        return std::nullopt;
    return result;
}

} // namespace SelectionDragIDs
