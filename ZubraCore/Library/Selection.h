#pragma once
// One captured or imported passage of text with where it came from.

#include "ZubraCore/Library/RecordHash.h"
#include "ZubraCore/Library/SourceIdentity.h"

#include <QDateTime>
#include <QExplicitlySharedDataPointer>
#include <QList>
#include <QString>
#include <QUuid>
#include <array>
#include <optional>

// A selection's markdown, kept small: a rich capture is mostly its text with a few insertions,
// so the markdown is kept as the text's first `prefix` code units, its own middle, and the text's
// last `suffix` code units, when that middle is at most half of it. The text it was formed
// against is held (shared, not copied), so the value stays what it was set to whatever later
// happens to the selection's text. Otherwise the markdown is kept whole, and a markdown equal to
// the text shares the text's string. Compared and hashed by value, never by form.
class SelectionMarkdown
{
public:
    SelectionMarkdown() = default;
    // The markdown kept whole (no difference looked for).
    explicit SelectionMarkdown(const QString& whole)
        : m_middle(whole)
    {
    }
    // The smallest form of `markdown` against `text`.
    static SelectionMarkdown against(const QString& text, const QString& markdown);
    // The markdown text[0, prefix) + middle + text[size - suffix, size), found by the caller (a
    // decode compares the stored bytes); boundaries must not split a surrogate pair.
    static SelectionMarkdown fromParts(const QString& text, qsizetype prefix, const QString& middle, qsizetype suffix);

    QString toString() const;
    qsizetype size() const { return prefix() + m_middle.size() + suffix(); }
    bool isEmpty() const { return size() == 0; }
    // The three pieces in order (the first and last are empty when kept whole).
    std::array<QStringView, 3> pieces() const;

    // The form, for the search index and memory accounting.
    bool isDifference() const { return bool(m_difference); }
    const QString& base() const; // the text formed against; null when kept whole
    const QString& middle() const { return m_middle; } // the whole markdown when kept whole
    qsizetype prefix() const { return m_difference ? m_difference->prefix : 0; }
    qsizetype suffix() const { return m_difference ? m_difference->suffix : 0; }

    // What a difference keeps out of line, for memory accounting.
    static size_t differenceBytes();

    friend bool operator==(const SelectionMarkdown& a, const SelectionMarkdown& b);

private:
    // Out of line, so that a selection grows by one pointer only: the list of selections is
    // moved as bytes when a selection is removed from its middle.
    struct Difference : QSharedData
    {
        QString base;
        qint32 prefix = 0;
        qint32 suffix = 0;
    };
    QString m_middle;
    QExplicitlySharedDataPointer<const Difference> m_difference;
};

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

    // Equals the text when there is no rich rendition. Rebuilt when kept as a difference: read it
    // where it is used, not in a loop over the library.
    QString markdown() const { return m_markdown.toString(); }
    qsizetype markdownSize() const { return m_markdown.size(); }
    // Kept in its smallest form against the current text: set the text first.
    void setMarkdown(const QString& markdown) { m_markdown = SelectionMarkdown::against(text, markdown); }
    const SelectionMarkdown& markdownForm() const { return m_markdown; }
    void setMarkdownForm(const SelectionMarkdown& form) { m_markdown = form; }

    friend bool operator==(const Selection&, const Selection&) = default;

private:
    SelectionMarkdown m_markdown;
};

// Moved in memory as raw bytes: every member is relocatable, so inserting or removing in a long
// list moves bytes instead of running a move per record.
Q_DECLARE_TYPEINFO(Selection, Q_RELOCATABLE_TYPE);

size_t qHash(const Selection& s, size_t seed = 0) noexcept;
