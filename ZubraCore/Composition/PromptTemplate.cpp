#include "ZubraCore/Composition/PromptTemplate.h"

#include <QJsonValue>

QJsonObject PromptTemplate::toJson() const
{
    return QJsonObject {{u"id"_qs, id}, {u"name"_qs, name}, {u"task"_qs, task},
        {u"template"_qs, ComposerTemplates::rawValue(templateKind)}};
}

std::optional<PromptTemplate> PromptTemplate::fromJson(const QJsonObject& object)
{
    const QJsonValue id = object.value(u"id");
    const QJsonValue name = object.value(u"name");
    const QJsonValue task = object.value(u"task");
    const QJsonValue layout = object.value(u"template");
    if (!id.isString() || !name.isString() || !task.isString() || !layout.isString())
        return std::nullopt;
    const auto kind = ComposerTemplates::fromRawValue(layout.toString());
    if (!kind)
        return std::nullopt;
    return PromptTemplate {id.toString(), name.toString(), task.toString(), *kind};
}

size_t qHash(const PromptTemplate& t, size_t seed) noexcept
{
    return qHashMulti(seed, t.id, t.name, t.task, ComposerTemplates::rawValue(t.templateKind));
}
