#pragma once
// Which selections the library list shows: all of them, one group's, or one source's. The
// window maps its sidebar item onto this (the prompt items show the composer instead).

#include <QString>
#include <QUuid>

struct SidebarChoice
{
    enum class Kind { allSelections, group, source };

    Kind kind = Kind::allSelections;
    QUuid groupID; // for a group
    QString sourceIdentifier; // for a source: SourceIdentity::identifier

    static SidebarChoice all() { return {}; }
    static SidebarChoice group(const QUuid& id) { return {Kind::group, id, {}}; }
    static SidebarChoice source(const QString& identifier) { return {Kind::source, {}, identifier}; }

    friend bool operator==(const SidebarChoice&, const SidebarChoice&) = default;
};
