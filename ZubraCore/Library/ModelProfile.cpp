#include "ZubraCore/Library/ModelProfile.h"

#include <QHashFunctions>
#include <cmath>

const QList<ModelProfile>& ModelProfile::all()
{
    static const QList<ModelProfile> profiles {
        {QStringLiteral("gpt-4o"), QStringLiteral("GPT-4o (128k)"), 128000, 4.0},
        {QStringLiteral("claude"), QStringLiteral("Claude (200k)"), 200000, 4.0},
        {QStringLiteral("gemini"), QStringLiteral("Gemini (1M)"), 1048576, 4.0},
        {QStringLiteral("local-32k"), QStringLiteral("Local (32k)"), 32768, 4.0},
        {QStringLiteral("local-16k"), QStringLiteral("Local (16k)"), 16384, 4.0},
        {QStringLiteral("custom"), QStringLiteral("Custom"), 64000, 4.0},
    };
    return profiles;
}

const ModelProfile& ModelProfile::gpt4o()
{
    return all()[0];
}
const ModelProfile& ModelProfile::claude()
{
    return all()[1];
}
const ModelProfile& ModelProfile::gemini()
{
    return all()[2];
}
const ModelProfile& ModelProfile::local32k()
{
    return all()[3];
}
const ModelProfile& ModelProfile::local16k()
{
    return all()[4];
}
const ModelProfile& ModelProfile::custom()
{
    return all()[5];
}

const ModelProfile& ModelProfile::profile(const QString& id)
{
    for (const ModelProfile& p : all()) {
        if (p.id == id)
            return p;
    }
    return gpt4o();
}

QJsonObject ModelProfile::toJson() const
{
    return QJsonObject {{QStringLiteral("id"), id}, {QStringLiteral("name"), name},
        {QStringLiteral("contextTokens"), double(contextTokens)}, {QStringLiteral("charsPerToken"), charsPerToken}};
}

std::optional<ModelProfile> ModelProfile::fromJson(const QJsonObject& object)
{
    const QJsonValue id = object.value(QStringLiteral("id"));
    const QJsonValue name = object.value(QStringLiteral("name"));
    const QJsonValue tokens = object.value(QStringLiteral("contextTokens"));
    const QJsonValue perToken = object.value(QStringLiteral("charsPerToken"));
    if (!id.isString() || !name.isString() || !tokens.isDouble() || !perToken.isDouble())
        return std::nullopt;
    const double t = tokens.toDouble();
    if (!std::isfinite(t) || t != std::trunc(t) || std::fabs(t) > 9.0e15)
        return std::nullopt;
    return ModelProfile {id.toString(), name.toString(), qint64(t), perToken.toDouble()};
}

size_t qHash(const ModelProfile& p, size_t seed) noexcept
{
    return qHashMulti(seed, p.id, p.name, p.contextTokens, p.charsPerToken);
}
