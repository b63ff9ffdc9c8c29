#include "Zubra/LibraryWindow/SidebarItem.h"

#include "ZubraCore/Text/Uuids.h"

SidebarItem SidebarItem::group(const QUuid& groupID)
{
    SidebarItem item(Kind::group);
    item.m_uuid = groupID;
    return item;
}

SidebarItem SidebarItem::source(const SourceIdentity& identity)
{
    SidebarItem item(Kind::source);
    item.m_source = identity;
    return item;
}

SidebarItem SidebarItem::draft(const QUuid& draftID)
{
    SidebarItem item(Kind::draft);
    item.m_uuid = draftID;
    return item;
}

QString SidebarItem::id() const
{
    switch (m_kind) {
    case Kind::allSelections: return QStringLiteral("all");
    case Kind::group: return QStringLiteral("group:") + Uuids::toText(m_uuid);
    case Kind::source: return QStringLiteral("source:") + m_source->identifier;
    case Kind::prompt: return QStringLiteral("prompt");
    case Kind::draft: return QStringLiteral("draft:") + Uuids::toText(m_uuid);
    }
    return {};
}

bool operator==(const SidebarItem& a, const SidebarItem& b)
{
    if (a.m_kind != b.m_kind)
        return false;
    if (a.m_kind == SidebarItem::Kind::source)
        return a.m_source->identifier == b.m_source->identifier;
    return a.m_uuid == b.m_uuid;
}

size_t qHash(const SidebarItem& item, size_t seed) noexcept
{
    if (item.kind() == SidebarItem::Kind::source)
        return qHashMulti(seed, int(item.kind()), item.sourceIdentity()->identifier);
    return qHashMulti(seed, int(item.kind()), item.uuid());
}
