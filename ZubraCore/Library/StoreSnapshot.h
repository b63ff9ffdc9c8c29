#pragma once
// The whole library as one value: what the library file holds, handed between the store and
// its persistence.

#include "ZubraCore/Library/ContextDraft.h"
#include "ZubraCore/Library/RecordHash.h"
#include "ZubraCore/Library/Selection.h"
#include "ZubraCore/Library/SelectionGroup.h"

#include <QList>
#include <QUuid>
#include <optional>

struct StoreSnapshot
{
    // The version the store writes; files of versions 1 and 2 are read alike.
    static constexpr qint64 currentVersion = 2;

    qint64 version = currentVersion;
    QList<Selection> selections;
    QList<SelectionGroup> groups;
    std::optional<QList<ContextDraft>> drafts; // absent in files written before prompts existed
    std::optional<QUuid> activeDraftID;

    friend bool operator==(const StoreSnapshot&, const StoreSnapshot&) = default;
};

size_t qHash(const StoreSnapshot& snapshot, size_t seed = 0) noexcept;
