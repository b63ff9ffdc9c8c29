#include "ZubraCore/Library/Selection.h"

#include "ZubraCore/Text/TextMetrics.h"

void Selection::setMarkdown(const QString& markdown)
{
    const bool isText = markdown.size() == text.size() && (markdown.constData() == text.constData() || markdown == text);
    m_markdown = isText ? text : markdown;
}

Selection Selection::make(const QUuid& id, const QString& text, const std::optional<QString>& markdown,
    const QString& appName, const std::optional<QString>& bundleID, const std::optional<QString>& sourceURL,
    const std::optional<QString>& sourceTitle, const std::optional<QString>& filePath, const QList<QUuid>& groupIDs,
    const QDateTime& createdAt)
{
    Selection s;
    s.id = id;
    s.text = text;
    s.setMarkdown(markdown.value_or(text));
    s.appName = appName;
    s.bundleID = bundleID;
    s.sourceURL = sourceURL;
    s.sourceTitle = sourceTitle;
    s.filePath = filePath;
    s.groupIDs = groupIDs;
    s.createdAt = createdAt;
    return s;
}

QString Selection::headline() const
{
    const QString trimmed = text.trimmed();
    const qsizetype end = TextMetrics::indexOfLineFeed(trimmed);
    return end < 0 ? trimmed : trimmed.first(end);
}

std::optional<QString> Selection::sourceLabel() const
{
    if (sourceTitle) {
        const QString title = sourceTitle->trimmed();
        if (!title.isEmpty())
            return title;
    }
    if (sourceURL)
        return sourceURL;
    return filePath;
}

std::optional<QString> Selection::sourceDetail() const
{
    if (sourceURL)
        return sourceURL;
    return filePath;
}

size_t qHash(const Selection& s, size_t seed) noexcept
{
    return qHashMulti(seed, s.id, s.text, s.markdown(), s.appName, s.bundleID, s.sourceURL, s.sourceTitle, s.filePath,
        s.groupIDs, s.createdAt);
}
