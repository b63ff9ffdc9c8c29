#pragma once
// A named task text with its layout: one of the built-ins or saved by the user.

#include "ZubraCore/Library/ComposerTemplate.h"

#include <QJsonObject>
#include <QString>
#include <optional>

struct PromptTemplate
{
    QString id;
    QString name;
    QString task;
    ComposerTemplate templateKind = ComposerTemplate::sections; // stored as "template"

    QJsonObject toJson() const;
    // All four keys are required as strings, "template" one of the three layout names.
    static std::optional<PromptTemplate> fromJson(const QJsonObject& object);

    friend bool operator==(const PromptTemplate&, const PromptTemplate&) = default;
};

size_t qHash(const PromptTemplate& t, size_t seed = 0) noexcept;
