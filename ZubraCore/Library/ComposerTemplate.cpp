#include "ZubraCore/Library/ComposerTemplate.h"

namespace ComposerTemplates {

const QList<ComposerTemplate>& allCases()
{
    static const QList<ComposerTemplate> cases {
        ComposerTemplate::sections, ComposerTemplate::xml, ComposerTemplate::plain};
    return cases;
}

QString rawValue(ComposerTemplate kind)
{
    switch (kind) {
    case ComposerTemplate::sections:
        return QStringLiteral("Sections");
    case ComposerTemplate::xml:
        return QStringLiteral("XML-tagged");
    case ComposerTemplate::plain:
        return QStringLiteral("Plain");
    }
    return QStringLiteral("Sections");
}

std::optional<ComposerTemplate> fromRawValue(const QString& raw)
{
    for (ComposerTemplate kind : allCases()) {
        if (rawValue(kind) == raw)
            return kind;
    }
    return std::nullopt;
}

} // namespace ComposerTemplates
