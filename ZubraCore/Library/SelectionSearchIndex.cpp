#include "ZubraCore/Library/SelectionSearchIndex.h"

#include "ZubraCore/Support/ParallelChunks.h"

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

// Below U+0300 there are no combining marks, and the only character whose lower case is not a
// single character is U+0130; any other text takes the general path.
std::optional<QString> simpleSearchForm(const QString& text)
{
    QString lowered(text.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(lowered.data());
    bool changed = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        char16_t lower = c;
        if (c < 0x80) {
            if (c >= u'A' && c <= u'Z')
                lower = char16_t(c + 32);
        } else if (c >= 0x300 || c == 0x130) {
            return std::nullopt;
        } else {
            const char32_t mapped = QChar::toLower(char32_t(c));
            if (mapped >= 0x300)
                return std::nullopt;
            lower = char16_t(mapped);
        }
        changed = changed || lower != c;
        out[i] = lower;
    }
    return changed ? lowered : text;
}

// The text as the search compares it: lowered, then in NFC.
QString searchForm(const QString& text)
{
    if (std::optional<QString> simple = simpleSearchForm(text))
        return *simple;
    return text.toLower().normalized(QString::NormalizationForm_C);
}

// How common a code unit is in running text, higher = rarer: the search anchors on the rarest.
int rarity(char16_t c)
{
    static constexpr char16_t byFrequency[] = u"etaoinshrdlcumwfgypbvkjxqz";
    if (c == u' ' || c == u'\n')
        return -1;
    for (int i = 0; byFrequency[i]; ++i) {
        if (byFrequency[i] == c)
            return i;
    }
    return c == u'.' || c == u',' ? 10 : 40;
}

} // namespace

SelectionSearchIndex::Needle SelectionSearchIndex::makeNeedle(const QString& query)
{
    Needle needle {query.normalized(QString::NormalizationForm_C), 0};
    for (qsizetype i = 1; i < needle.text.size(); ++i) {
        if (rarity(needle.text[i].unicode()) > rarity(needle.text[needle.anchor].unicode()))
            needle.anchor = i;
    }
    return needle;
}

// Finds the rarest code unit of the needle with the vectorized single-character search, then
// compares the whole needle around it.
bool SelectionSearchIndex::occursIn(QStringView haystack, const Needle& needle)
{
    const qsizetype m = needle.text.size();
    if (m == 0)
        return true;
    if (m > haystack.size())
        return false;
    const QChar anchor = needle.text[needle.anchor];
    const qsizetype last = haystack.size() - m + needle.anchor; // the anchor's last possible place
    qsizetype at = needle.anchor;
    while (at <= last) {
        at = haystack.first(last + 1).indexOf(anchor, at);
        if (at < 0)
            return false;
        if (haystack.sliced(at - needle.anchor, m) == QStringView(needle.text))
            return true;
        ++at;
    }
    return false;
}

// Lowering maps each character on its own and a line feed never composes under NFC, so the
// search form of the joined fields is the join of each field's search form. A query without a
// line feed cannot span two fields, so it is looked for in each field separately.
bool SelectionSearchIndex::containsQuery(const Entry& entry, const Needle& needle)
{
    const QString& query = needle.text;
    if (query.contains(u'\n')) {
        const QChar lineFeed(u'\n');
        const QString& markdown = entry.markdownIsText ? entry.loweredText : entry.loweredMarkdown;
        return (entry.loweredText + lineFeed + markdown + lineFeed + entry.loweredRest).contains(query);
    }
    return occursIn(entry.loweredText, needle) || (!entry.markdownIsText && occursIn(entry.loweredMarkdown, needle))
        || occursIn(entry.loweredRest, needle);
}

SelectionSearchIndex::Entry SelectionSearchIndex::makeEntry(const Selection& s)
{
    Entry entry {s.text, s.markdown, s.appName, s.sourceURL, s.filePath, {}, {}, false, {}};
    entry.loweredText = searchForm(s.text);
    entry.markdownIsText = sameText(s.markdown, s.text);
    if (!entry.markdownIsText)
        entry.loweredMarkdown = searchForm(s.markdown);
    const QChar lineFeed(u'\n');
    entry.loweredRest = searchForm(
        s.appName + lineFeed + s.sourceURL.value_or(QString()) + lineFeed + s.filePath.value_or(QString()));
    return entry;
}

qsizetype SelectionSearchIndex::slotFor(const Selection& s, qsizetype hint)
{
    qsizetype slot = hint;
    if (slot < 0)
        slot = m_slotOf.value(s.id, -1);
    if (slot < 0) {
        m_entries.push_back(makeEntry(s));
        slot = qsizetype(m_entries.size()) - 1;
        m_slotOf.insert(s.id, slot);
        return slot;
    }
    const Entry& e = m_entries[slot];
    if (!(sameText(e.text, s.text) && sameText(e.markdown, s.markdown) && sameText(e.appName, s.appName)
            && sameText(e.sourceURL, s.sourceURL) && sameText(e.filePath, s.filePath)))
        m_entries[slot] = makeEntry(s);
    return slot;
}

bool SelectionSearchIndex::matches(const QString& query, const Selection& selection)
{
    if (query.isEmpty())
        return true;
    return containsQuery(m_entries[slotFor(selection, -1)], makeNeedle(query));
}

// Lists usually come back in the same order as last time: the entry found at the same position
// for the same id is taken without a hash lookup.
QList<Selection> SelectionSearchIndex::filter(const QList<Selection>& selections, const QString& query)
{
    if (query.isEmpty())
        return selections;
    const Needle needle = makeNeedle(query);
    QList<Selection> result;
    QList<QUuid> ids;
    QList<qsizetype> slotList;
    ids.reserve(selections.size());
    slotList.reserve(selections.size());
    for (qsizetype i = 0; i < selections.size(); ++i) {
        const Selection& s = selections[i];
        const qsizetype hint = i < m_lastIDs.size() && m_lastIDs[i] == s.id ? m_lastSlots[i] : -1;
        const qsizetype slot = slotFor(s, hint);
        ids.append(s.id);
        slotList.append(slot);
        if (containsQuery(m_entries[slot], needle))
            result.append(s);
    }
    m_lastIDs = std::move(ids);
    m_lastSlots = std::move(slotList);
    prune(selections);
    return result;
}

void SelectionSearchIndex::clear()
{
    m_entries.clear();
    m_slotOf.clear();
    m_lastIDs.clear();
    m_lastSlots.clear();
}

// Forgets selections that left the library once the memory has grown well past the list.
void SelectionSearchIndex::prune(const QList<Selection>& current)
{
    if (qsizetype(m_entries.size()) <= 2 * current.size() + 1024)
        return;
    std::vector<Entry> kept;
    QHash<QUuid, qsizetype> slotOf;
    kept.reserve(current.size());
    for (const Selection& s : current) {
        const qsizetype slot = m_slotOf.value(s.id, -1);
        if (slot < 0 || slotOf.contains(s.id))
            continue;
        slotOf.insert(s.id, qsizetype(kept.size()));
        kept.push_back(std::move(m_entries[slot]));
    }
    m_entries = std::move(kept);
    m_slotOf = std::move(slotOf);
    m_lastIDs.clear();
    m_lastSlots.clear();
}

SelectionSearchIndex::Query SelectionSearchIndex::prepare(const QString& query)
{
    const Needle needle = makeNeedle(query);
    Query prepared;
    prepared.m_text = needle.text;
    prepared.m_anchor = needle.anchor;
    return prepared;
}

void SelectionSearchIndex::setAll(const std::vector<std::pair<Key, const Selection*>>& selections)
{
    Key last = 0;
    for (const auto& [key, selection] : selections)
        last = std::max(last, key);
    if (m_byKey.size() <= last)
        m_byKey.resize(size_t(last) + 1);
    const auto count = qsizetype(selections.size());
    ParallelChunks::run(count, ParallelChunks::chunkCount(count, 2048), [&](int, qsizetype begin, qsizetype end) {
        for (qsizetype i = begin; i < end; ++i)
            m_byKey[selections[size_t(i)].first] = makeEntry(*selections[size_t(i)].second);
    });
}

void SelectionSearchIndex::set(Key key, const Selection& selection)
{
    if (m_byKey.size() <= key)
        m_byKey.resize(std::max(size_t(key) + 1, m_byKey.size() * 3 / 2));
    m_byKey[key] = makeEntry(selection);
}

void SelectionSearchIndex::erase(Key key)
{
    if (key < m_byKey.size())
        m_byKey[key] = Entry {};
}

bool SelectionSearchIndex::matches(Key key, const Query& query) const
{
    if (query.isEmpty())
        return true;
    return key < m_byKey.size() && containsQuery(m_byKey[key], query);
}
