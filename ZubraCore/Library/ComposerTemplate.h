#pragma once
// The three layouts a prompt draft renders in. Stored by raw value.

#include <QList>
#include <QString>
#include <optional>

enum class ComposerTemplate { sections, xml, plain };

namespace ComposerTemplates {

// All cases in picker order: sections, xml, plain.
const QList<ComposerTemplate>& allCases();

// "Sections", "XML-tagged", "Plain".
QString rawValue(ComposerTemplate kind);

// Matches the raw values exactly (case-sensitive, no trimming).
std::optional<ComposerTemplate> fromRawValue(const QString& raw);

} // namespace ComposerTemplates

inline size_t qHash(ComposerTemplate t, size_t seed = 0) noexcept
{
    return qHash(ComposerTemplates::rawValue(t), seed);
}
