#include "ZubraCore/Library/SelectionSearchIndex.h"

#include "Platform/HeapGrowth.h"
#include "ZubraCore/Support/ParallelChunks.h"

#include <algorithm>

namespace {

bool sameBuffer(const QString& a, const QString& b)
{
    return a.constData() == b.constData() && a.size() == b.size();
}

// Same string, cheaply when both share one buffer.
bool sameText(const QString& a, const QString& b)
{
    return sameBuffer(a, b) || a == b;
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
QString generalSearchForm(const QString& text)
{
    return text.toLower().normalized(QString::NormalizationForm_C);
}

QString searchForm(const QString& text)
{
    if (std::optional<QString> simple = simpleSearchForm(text))
        return *simple;
    return generalSearchForm(text);
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

void SelectionSearchIndex::Grams::add(QStringView text)
{
    const auto* units = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const quint32 c = units[i];
        bits[(c >> 6) & 3] |= quint64(1) << (c & 63);
        if (i + 1 < n) {
            const quint32 h = (c * 0x9E3779B1u ^ quint32(units[i + 1]) * 0x85EBCA77u) >> 22; // 10 bits
            bits[4 + (h >> 6)] |= quint64(1) << (h & 63);
        }
    }
}

SelectionSearchIndex::Needle SelectionSearchIndex::makeNeedle(const QString& query)
{
    Needle needle {query.normalized(QString::NormalizationForm_C), 0, {}};
    for (qsizetype i = 1; i < needle.text.size(); ++i) {
        if (rarity(needle.text[i].unicode()) > rarity(needle.text[needle.anchor].unicode()))
            needle.anchor = i;
    }
    // A query with a line feed may span fields: only its other code units must occur.
    for (const QStringView part : QStringView(needle.text).tokenize(u'\n', Qt::SkipEmptyParts)) {
        if (part.size() == needle.text.size())
            needle.grams.add(part);
        else
            for (QChar c : part)
                needle.grams.add(QStringView(&c, 1));
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
// line feed cannot span two fields, so it is looked for in each field separately; a markdown that
// is the text is the text's field. In a markdown, an occurrence within its start or end shared
// with the text is one in the text: only the part that differs, with the needle's length less one
// on either side, is looked at.
bool SelectionSearchIndex::containsQuery(const Entry& entry, const Needle& needle)
{
    if (!entry.grams.covers(needle.grams))
        return false;
    const QString& query = needle.text;
    if (query.contains(u'\n')) {
        const QChar lineFeed(u'\n');
        return (entry.loweredText + lineFeed + entry.loweredMarkdown + lineFeed + entry.loweredRest).contains(query);
    }
    if (occursIn(entry.loweredText, needle) || occursIn(entry.loweredRest, needle))
        return true;
    if (entry.markdownIsText())
        return false;
    const qsizetype reach = query.size() - 1;
    const qsizetype from = std::max<qsizetype>(0, entry.markdownFrom - reach);
    const qsizetype to = std::min<qsizetype>(entry.loweredMarkdown.size(), entry.markdownTo + reach);
    return to - from >= query.size() && occursIn(QStringView(entry.loweredMarkdown).sliced(from, to - from), needle);
}

void SelectionSearchIndex::setMarkdownDifference(Entry& entry)
{
    const QStringView text = entry.loweredText;
    const QStringView markdown = entry.loweredMarkdown;
    const qsizetype shortest = std::min(text.size(), markdown.size());
    const qsizetype prefix
        = std::mismatch(text.begin(), text.begin() + shortest, markdown.begin()).first - text.begin();
    const qsizetype suffix = std::mismatch(text.rbegin(), text.rbegin() + (shortest - prefix), markdown.rbegin()).first
        - text.rbegin();
    entry.markdownFrom = prefix;
    entry.markdownTo = markdown.size() - suffix;
}

// A markdown equal to the text shares the lowered text, found without lowering it again when the
// selection's own strings are shared.
SelectionSearchIndex::Entry SelectionSearchIndex::makeEntry(const Selection& s)
{
    Entry entry;
    entry.loweredText = searchForm(s.text);
    if (sameBuffer(s.markdown(), s.text)) {
        entry.loweredMarkdown = entry.loweredText;
    } else {
        QString lowered = searchForm(s.markdown());
        entry.loweredMarkdown = sameText(lowered, entry.loweredText) ? entry.loweredText : std::move(lowered);
    }
    const QChar lineFeed(u'\n');
    entry.loweredRest = searchForm(
        s.appName + lineFeed + s.sourceURL.value_or(QString()) + lineFeed + s.filePath.value_or(QString()));
    entry.grams.add(entry.loweredText);
    if (!entry.markdownIsText()) {
        setMarkdownDifference(entry);
        // The shared start and end add nothing to the text's grams but the pairs across their edges.
        const qsizetype from = std::max<qsizetype>(0, entry.markdownFrom - 1);
        const qsizetype to = std::min<qsizetype>(entry.loweredMarkdown.size(), entry.markdownTo + 1);
        entry.grams.add(QStringView(entry.loweredMarkdown).sliced(from, to - from));
    }
    entry.grams.add(entry.loweredRest);
    return entry;
}

SelectionSearchIndex::Query SelectionSearchIndex::prepare(const QString& query)
{
    const Needle needle = makeNeedle(query);
    Query prepared;
    prepared.m_text = needle.text;
    prepared.m_anchor = needle.anchor;
    prepared.m_grams = needle.grams;
    return prepared;
}

SelectionSearchIndex::~SelectionSearchIndex()
{
    if (m_builder.joinable())
        m_builder.join();
}

void SelectionSearchIndex::buildInBackground(const QList<Selection>& selections, std::vector<Key> keys)
{
    waitUntilBuilt();
    const Key last = keys.empty() ? 0 : *std::max_element(keys.begin(), keys.end());
    // The list is shared, not copied: the store's later changes detach their own copy.
    m_builder = std::thread([this, selections, keys = std::move(keys), last] {
        const LargeHeapSteps heapSteps; // the entries are made on several threads at once
        std::vector<Entry> built(size_t(last) + 1);
        const auto count = selections.size();
        // A core stays free for the GUI thread, which shows the window meanwhile.
        ParallelChunks::run(count, ParallelChunks::chunkCount(count, 2048, 1), [&](int, qsizetype begin, qsizetype end) {
            for (qsizetype i = begin; i < end; ++i)
                built[keys[size_t(i)]] = makeEntry(selections[i]);
        });
        m_built = std::move(built);
    });
}

void SelectionSearchIndex::waitUntilBuilt() const
{
    if (!m_builder.joinable())
        return;
    m_builder.join();
    std::vector<Entry> built = std::move(m_built);
    m_built.clear();
    if (built.size() < m_byKey.size())
        built.resize(m_byKey.size());
    m_byKey = std::move(built);
    for (auto& [key, entry] : m_changedDuringBuild) {
        if (m_byKey.size() <= key)
            m_byKey.resize(size_t(key) + 1);
        m_byKey[key] = entry ? std::move(*entry) : Entry {};
    }
    m_changedDuringBuild.clear();
}

void SelectionSearchIndex::set(Key key, const Selection& selection)
{
    if (m_builder.joinable()) {
        m_changedDuringBuild.emplace_back(key, makeEntry(selection));
        return;
    }
    if (m_byKey.size() <= key)
        m_byKey.resize(std::max(size_t(key) + 1, m_byKey.size() * 3 / 2));
    m_byKey[key] = makeEntry(selection);
}

void SelectionSearchIndex::erase(Key key)
{
    if (m_builder.joinable()) {
        m_changedDuringBuild.emplace_back(key, std::nullopt);
        return;
    }
    if (key < m_byKey.size())
        m_byKey[key] = Entry {};
}

bool SelectionSearchIndex::matches(Key key, const Query& query) const
{
    if (query.isEmpty())
        return true;
    return key < m_byKey.size() && containsQuery(m_byKey[key], query);
}
