#pragma once
// A prompt being composed, and the source entries it is made of.

#include "ZubraCore/Library/ComposerTemplate.h"
#include "ZubraCore/Library/ModelProfile.h"
#include "ZubraCore/Library/RecordHash.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>
#include <optional>

struct ContextDraftEntry
{
    QUuid id; // the entry's own identity
    QUuid selectionID; // the selection it shows; may be missing from the library
    bool include = true;
    bool pin = false;
    bool verbatim = false;
    std::optional<QString> note;
    std::optional<QString> customText;

    friend bool operator==(const ContextDraftEntry&, const ContextDraftEntry&) = default;
};

size_t qHash(const ContextDraftEntry& e, size_t seed = 0) noexcept;

struct ContextDraft
{
    QUuid id;
    QString name;
    QString task;
    QString templateName; // the layout's raw value; stored as "template"
    QString modelProfileID;
    QDateTime createdAt;
    QDateTime updatedAt;
    QList<ContextDraftEntry> entries;

    // A new, empty draft: the "Sections" layout and the default model profile, created and
    // changed at `time`. The one place that says what a draft starts with.
    static ContextDraft fresh(const QUuid& id, const QString& name, const QDateTime& time);
    // A new entry for a selection: included, not pinned, not verbatim, no note, no edited text.
    static ContextDraftEntry freshEntry(const QUuid& id, const QUuid& selectionID);

    // The profile named by modelProfileID, else the default one.
    const ModelProfile& modelProfile() const { return ModelProfile::profile(modelProfileID); }
    // The layout whose raw value equals templateName exactly, else sections.
    ComposerTemplate templateKind() const;
    // Entries switched on, whether or not their selections exist.
    qsizetype includedCount() const;

    friend bool operator==(const ContextDraft&, const ContextDraft&) = default;
};

size_t qHash(const ContextDraft& d, size_t seed = 0) noexcept;
