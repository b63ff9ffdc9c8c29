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
