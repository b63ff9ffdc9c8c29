#pragma once
// Target model classes: their context budget and the characters-per-token of the estimate.

#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

struct ModelProfile
{
    QString id;
    QString name;
    qint64 contextTokens = 0;
    double charsPerToken = 4.0;

    static const ModelProfile& gpt4o();
    static const ModelProfile& claude();
    static const ModelProfile& gemini();
    static const ModelProfile& local32k();
    static const ModelProfile& local16k();
    static const ModelProfile& custom();
    // The six fixed profiles in picker order.
    static const QList<ModelProfile>& all();
    // The profile with exactly this id, else gpt4o.
    static const ModelProfile& profile(const QString& id);

    QJsonObject toJson() const;
    // All four keys are required, "charsPerToken" and "contextTokens" as numbers.
    static std::optional<ModelProfile> fromJson(const QJsonObject& object);

    friend bool operator==(const ModelProfile&, const ModelProfile&) = default;
};

size_t qHash(const ModelProfile& p, size_t seed = 0) noexcept;
