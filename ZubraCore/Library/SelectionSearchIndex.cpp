#include "ZubraCore/Library/SelectionSearchIndex.h"

#include <QSet>

namespace {

// Same text, cheaply when both share one buffer (the usual case for an unchanged selection).
bool sameText(const QString& a, const QString& b)
{
    return (a.constData() == b.constData() && a.size() == b.size()) || a == b;
}

bool sameText(const std::optional<QString>& a, const std::optional<QString>& b)
{
    if (a.has_value() != b.has_value())
        return false;
    return !a || sameText(*a, *b);
}

QString searchForm(const QString& text)
{
    return text.toLower().normalized(QString::NormalizationForm_C);
}

} // namespace

// Lowering maps each character on its own and a line feed never composes under NFC, so the
// search form of the joined fields is the join of each field's search form. A query without a
// line feed cannot span two fields, so it is looked for in each field separately.
bool SelectionSearchIndex::containsQuery(const Entry& entry, const QString& query)
{
    if (query.contains(u'\n')) {
        const QChar lineFeed(u'\n');
        const QString& markdown = entry.markdownIsText ? entry.loweredText : entry.loweredMarkdown;
        return (entry.loweredText + lineFeed + markdown + lineFeed + entry.loweredRest).contains(query);
    }
    return entry.loweredText.contains(query) || (!entry.markdownIsText && entry.loweredMarkdown.contains(query))
        || entry.loweredRest.contains(query);
}

const SelectionSearchIndex::Entry& SelectionSearchIndex::entryFor(const Selection& s)
{
    auto it = m_entries.find(s.id);
    if (it != m_entries.end() && sameText(it->text, s.text) && sameText(it->markdown, s.markdown)
        && sameText(it->appName, s.appName) && sameText(it->sourceURL, s.sourceURL)
        && sameText(it->filePath, s.filePath))
        return *it;

    Entry entry {s.text, s.markdown, s.appName, s.sourceURL, s.filePath, {}, {}, false, {}};
    entry.loweredText = searchForm(s.text);
    entry.markdownIsText = sameText(s.markdown, s.text);
    if (!entry.markdownIsText)
        entry.loweredMarkdown = searchForm(s.markdown);
    const QChar lineFeed(u'\n');
    entry.loweredRest = searchForm(
        s.appName + lineFeed + s.sourceURL.value_or(QString()) + lineFeed + s.filePath.value_or(QString()));
    if (it != m_entries.end()) {
        *it = std::move(entry);
        return *it;
    }
    return *m_entries.insert(s.id, std::move(entry));
}

bool SelectionSearchIndex::matches(const QString& query, const Selection& selection)
{
    if (query.isEmpty())
        return true;
    return containsQuery(entryFor(selection), query.normalized(QString::NormalizationForm_C));
}

QList<Selection> SelectionSearchIndex::filter(const QList<Selection>& selections, const QString& query)
{
    if (query.isEmpty())
        return selections;
    const QString normalized = query.normalized(QString::NormalizationForm_C);
    QList<Selection> result;
    for (const Selection& s : selections) {
        if (containsQuery(entryFor(s), normalized))
            result.append(s);
    }
    prune(selections);
    return result;
}

// Forgets selections that left the library once the memory has grown well past the list.
void SelectionSearchIndex::prune(const QList<Selection>& current)
{
    if (m_entries.size() <= 2 * current.size() + 1024)
        return;
    QSet<QUuid> keep;
    keep.reserve(current.size());
    for (const Selection& s : current)
        keep.insert(s.id);
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (keep.contains(it.key()))
            ++it;
        else
            it = m_entries.erase(it);
    }
}
