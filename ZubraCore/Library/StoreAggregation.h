#pragma once
// The sources of a list of selections, one row per source key, for the sidebar.

#include "ZubraCore/Library/Selection.h"
#include "ZubraCore/Library/SourceIdentity.h"

#include <QList>
#include <QUuid>

struct SourceAggregate
{
    SourceIdentity identity; // the identity of the first selection seen with the key
    qsizetype count = 0; // always selectionIDs.size()
    QList<QUuid> selectionIDs; // in input order

    QString id() const { return identity.identifier; }

    friend bool operator==(const SourceAggregate&, const SourceAggregate&) = default;
};

namespace StoreAggregation {

// Groups by SourceIdentity::identifier; rows ordered by the identities' display, localized and
// ignoring case. Displays that compare equal keep the order in which their keys first appear.
QList<SourceAggregate> sources(const QList<Selection>& selections);

} // namespace StoreAggregation
