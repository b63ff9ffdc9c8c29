#pragma once
// What the main window's sidebar has chosen: every selection, one group, one source, the active
// prompt or one draft.

#include "ZubraCore/Library/SourceIdentity.h"

#include <QString>
#include <QUuid>
#include <optional>

class SidebarItem
{
public:
    enum class Kind { allSelections, group, source, prompt, draft };

    static SidebarItem allSelections() { return SidebarItem(Kind::allSelections); }
    static SidebarItem group(const QUuid& groupID);
    static SidebarItem source(const SourceIdentity& identity);
    static SidebarItem prompt() { return SidebarItem(Kind::prompt); }
    static SidebarItem draft(const QUuid& draftID);

    Kind kind() const { return m_kind; }
    // The group's or the draft's identifier; null for the other kinds.
    QUuid uuid() const { return m_uuid; }
    // The source's identity as it was chosen; only for a source item.
    const std::optional<SourceIdentity>& sourceIdentity() const { return m_source; }

    // "all", "group:<ID>", "source:<identifier>", "prompt", "draft:<ID>".
    QString id() const;
    // The prompt or a draft: the window shows the composer.
    bool isCompose() const { return m_kind == Kind::prompt || m_kind == Kind::draft; }
    // A group or a source narrows the list.
    bool narrowsList() const { return m_kind == Kind::group || m_kind == Kind::source; }

    // Two source items are the same choice when their identifiers agree: the row that stands for
    // a source may carry another application's name or bundle after a later capture, and must
    // stay chosen.
    friend bool operator==(const SidebarItem& a, const SidebarItem& b);

private:
    explicit SidebarItem(Kind kind)
        : m_kind(kind)
    {
    }

    Kind m_kind;
    QUuid m_uuid;
    std::optional<SourceIdentity> m_source;
};

size_t qHash(const SidebarItem& item, size_t seed = 0) noexcept;
