#include "ZubraCore/Composition/PromptTemplates.h"

#include "ZubraCore/Support/AppSettings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QVariant>

namespace {

// A stored list larger than this is not parsed (it reads as unreadable and is kept aside).
constexpr qsizetype maxStoredBytes = 8 * 1024 * 1024;

// The stored bytes, when the value is data (or text, as a hand-edited settings file holds it).
std::optional<QByteArray> storedBytes(const QVariant& value)
{
    if (value.typeId() == QMetaType::QByteArray)
        return value.toByteArray();
    if (value.typeId() == QMetaType::QString)
        return value.toString().toUtf8();
    return std::nullopt;
}

std::optional<QList<PromptTemplate>> decode(const QVariant& value)
{
    const auto bytes = storedBytes(value);
    if (!bytes || bytes->size() > maxStoredBytes)
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(*bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    QList<PromptTemplate> list;
    const QJsonArray array = document.array();
    list.reserve(array.size());
    for (const QJsonValue& element : array) {
        if (!element.isObject())
            return std::nullopt;
        auto decoded = PromptTemplate::fromJson(element.toObject());
        if (!decoded)
            return std::nullopt;
        list.append(std::move(*decoded));
    }
    return list;
}

// Keeps a stored value that does not decode, so that overwriting it loses nothing.
void keepUnreadable(QSettings& defaults)
{
    const QVariant stored = defaults.value(PromptTemplates::customKey());
    if (!stored.isValid() || decode(stored))
        return;
    for (int n = 1; n <= 1000; ++n) {
        const QString key = AppSettings::unreadableCustomPromptTemplatesKeyFor(n);
        const QVariant kept = defaults.value(key);
        if (kept == stored)
            return;
        if (!kept.isValid()) {
            defaults.setValue(key, stored);
            return;
        }
    }
}

QList<PromptTemplate> makeBuiltins()
{
    const auto t = [](const char16_t* id, const char16_t* name, const char16_t* task) {
        return PromptTemplate {
            QString::fromUtf16(id), QString::fromUtf16(name), QString::fromUtf16(task), ComposerTemplate::sections};
    };
    return {
        t(u"summarize", u"Summarize",
            u"Summarize the key points of each source below, then give a one-paragraph overall summary. Cite each "
            u"source by name."),
        t(u"explain", u"Explain",
            u"Explain the content below to a knowledgeable peer: the core concepts, how the pieces fit together, and "
            u"any caveats. Ground every claim in the sources and cite them by name."),
        t(u"compare", u"Compare sources",
            u"Compare the sources below: list where they agree, where they disagree, and details only one of them "
            u"mentions. Cite each source by name."),
        t(u"review", u"Review / critique",
            u"Critically review the material below. Point out strengths, weaknesses, unsupported claims, and anything "
            u"you would double-check. Be specific and cite sources by name."),
        t(u"code-review", u"Review code",
            u"Review the code below for bugs, edge cases, readability, and performance. Suggest concrete fixes. Use "
            u"only the provided code."),
        t(u"refactor", u"Refactor code",
            u"Refactor the code below to improve clarity and maintainability without changing behavior. Show the "
            u"rewritten version and briefly explain each change."),
        t(u"grounded-qa", u"Grounded Q&A",
            u"Answer the question using only the information in the sources below. Cite each source by name and "
            u"clearly state anything the sources do not cover."),
        t(u"report", u"Write report",
            u"Write a concise report on the topic using only the sources below, citing each by name. End with open "
            u"questions the sources leave unanswered."),
    };
}

} // namespace

namespace PromptTemplates {

QString customKey()
{
    return AppSettings::customPromptTemplatesKey;
}
QString unreadableKey()
{
    return AppSettings::unreadableCustomPromptTemplatesKey;
}

const QList<PromptTemplate>& builtins()
{
    static const QList<PromptTemplate> list = makeBuiltins();
    return list;
}

ContextDraft apply(const PromptTemplate& promptTemplate, const ContextDraft& draft)
{
    ContextDraft result = draft;
    result.task = promptTemplate.task;
    result.templateName = ComposerTemplates::rawValue(promptTemplate.templateKind);
    return result;
}

QList<PromptTemplate> loadCustom(QSettings& defaults)
{
    const QVariant stored = defaults.value(customKey());
    if (!stored.isValid())
        return {};
    return decode(stored).value_or(QList<PromptTemplate>());
}

void saveCustom(const QList<PromptTemplate>& templates, QSettings& defaults)
{
    QJsonArray array;
    for (const PromptTemplate& t : templates)
        array.append(t.toJson());
    const QByteArray bytes = QJsonDocument(array).toJson(QJsonDocument::Compact);
    if (bytes.isEmpty())
        return;
    keepUnreadable(defaults);
    defaults.setValue(customKey(), bytes);
}

void saveCustom(const PromptTemplate& promptTemplate, QSettings& defaults)
{
    QList<PromptTemplate> list = loadCustom(defaults);
    list.removeIf([&](const PromptTemplate& t) { return t.id == promptTemplate.id; });
    list.append(promptTemplate);
    saveCustom(list, defaults);
}

void removeCustom(const QString& id, QSettings& defaults)
{
    QList<PromptTemplate> list = loadCustom(defaults);
    list.removeIf([&](const PromptTemplate& t) { return t.id == id; });
    saveCustom(list, defaults);
}

} // namespace PromptTemplates
