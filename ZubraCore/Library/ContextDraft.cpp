#include "ZubraCore/Library/ContextDraft.h"

#include <algorithm>

size_t qHash(const ContextDraftEntry& e, size_t seed) noexcept
{
    return qHashMulti(seed, e.id, e.selectionID, e.include, e.pin, e.verbatim, e.note, e.customText);
}

ComposerTemplate ContextDraft::templateKind() const
{
    return ComposerTemplates::fromRawValue(templateName).value_or(ComposerTemplate::sections);
}

qsizetype ContextDraft::includedCount() const
{
    return std::count_if(entries.cbegin(), entries.cend(), [](const ContextDraftEntry& e) { return e.include; });
}

size_t qHash(const ContextDraft& d, size_t seed) noexcept
{
    return qHashMulti(
        seed, d.id, d.name, d.task, d.templateName, d.modelProfileID, d.createdAt, d.updatedAt, d.entries);
}

ContextDraft ContextDraft::fresh(const QUuid& id, const QString& name, const QDateTime& time)
{
    // The default profile is the one an unknown identifier resolves to.
    return ContextDraft {id, name, QString(), ComposerTemplates::rawValue(ComposerTemplate::sections),
        ModelProfile::gpt4o().id, time, time, {}};
}

ContextDraftEntry ContextDraft::freshEntry(const QUuid& id, const QUuid& selectionID)
{
    return ContextDraftEntry {id, selectionID, true, false, false, std::nullopt, std::nullopt};
}
