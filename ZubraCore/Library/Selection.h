#pragma once
// One captured or imported passage of text with where it came from.

#include "ZubraCore/Library/RecordHash.h"
#include "ZubraCore/Library/SourceIdentity.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>
#include <optional>

struct Selection
{
    QUuid id;
    QString text; // exactly as captured or imported, not trimmed
    QString appName;
    std::optional<QString> bundleID;
    std::optional<QString> sourceURL; // the web address exactly as given
    std::optional<QString> sourceTitle;
    std::optional<QString> filePath;
    QList<QUuid> groupIDs; // in the order they were added
    QDateTime createdAt;

    // A missing markdown takes the text; an empty one stays empty.
    static Selection make(const QUuid& id, const QString& text, const std::optional<QString>& markdown,
        const QString& appName, const std::optional<QString>& bundleID = std::nullopt,
        const std::optional<QString>& sourceURL = std::nullopt,
        const std::optional<QString>& sourceTitle = std::nullopt, const std::optional<QString>& filePath = std::nullopt,
        const QList<QUuid>& groupIDs = {}, const QDateTime& createdAt = {});

    // The first line of the trimmed text ("" for blank text); no length cut.
    QString headline() const;
    // The trimmed title when not blank, else the address, else the file path.
    std::optional<QString> sourceLabel() const;
    // The address, else the file path.
    std::optional<QString> sourceDetail() const;
    SourceIdentity sourceIdentity() const { return SourceIdentity::from(*this); }

    // Equals the text when there is no rich rendition; then it shares the text's string.
    const QString& markdown() const { return m_markdown; }
    qsizetype markdownSize() const { return m_markdown.size(); }
    // Shares the current text's string when equal to it: set the text first.
    void setMarkdown(const QString& markdown);

    friend bool operator==(const Selection&, const Selection&) = default;

private:
    QString m_markdown;
};

// Moved in memory as raw bytes: every member is relocatable, so inserting or removing in a long
// list moves bytes instead of running a move per record.
Q_DECLARE_TYPEINFO(Selection, Q_RELOCATABLE_TYPE);

size_t qHash(const Selection& s, size_t seed = 0) noexcept;
