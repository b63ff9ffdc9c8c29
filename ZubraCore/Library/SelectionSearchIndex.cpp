#include "ZubraCore/Library/SelectionSearchIndex.h"

#include "Platform/HeapGrowth.h"
#include "ZubraCore/Support/ParallelChunks.h"

#include <QVarLengthArray>

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

// Up to three pieces copied into one small buffer.
class Joined
{
public:
    Joined(QStringView a, QStringView b, QStringView c)
    {
        m_units.reserve(a.size() + b.size() + c.size());
        for (const QStringView piece : {a, b, c})
            m_units.append(reinterpret_cast<const char16_t*>(piece.utf16()), piece.size());
    }
    QStringView view() const { return QStringView(m_units.constData(), m_units.size()); }

private:
    QVarLengthArray<char16_t, 512> m_units;
};

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
// line feed cannot span two fields, so it is looked for in each field separately.
//
// A markdown kept as a difference from the text is searched only where it differs: an occurrence
// that lies wholly in the shared beginning or end is one in the text, which is searched first; any
// other overlaps the middle (or the seam between beginning and end when the middle is empty), so it
// lies within the middle and the needle's size - 1 code units of text on either side.
bool SelectionSearchIndex::containsQuery(const Entry& entry, const Needle& needle)
{
    if (!entry.grams.covers(needle.grams))
        return false;
    const QString& query = needle.text;
    if (query.contains(u'\n')) {
        const QChar lineFeed(u'\n');
        return (entry.loweredText + lineFeed + entry.fullLoweredMarkdown() + lineFeed + entry.loweredRest)
            .contains(query);
    }
    if (occursIn(entry.loweredText, needle))
        return true;
    if (entry.markdownPrefix == Entry::whole) {
        if (occursIn(entry.loweredMarkdown, needle))
            return true;
    } else if (!entry.markdownIsText()) {
        const QStringView text(entry.loweredText);
        const qsizetype reach = std::max<qsizetype>(needle.text.size() - 1, 0);
        const qsizetype before = std::min<qsizetype>(entry.markdownPrefix, reach);
        const qsizetype suffixStart = text.size() - entry.markdownSuffix;
        const qsizetype after = std::min<qsizetype>(entry.markdownSuffix, reach);
        if (before + entry.loweredMarkdown.size() + after >= needle.text.size()) {
            const Joined window(text.sliced(entry.markdownPrefix - before, before), entry.loweredMarkdown,
                text.sliced(suffixStart, after));
            if (occursIn(window.view(), needle))
                return true;
        }
    }
    return occursIn(entry.loweredRest, needle);
}

QString SelectionSearchIndex::Entry::fullLoweredMarkdown() const
{
    if (markdownPrefix == whole)
        return loweredMarkdown;
    if (markdownIsText())
        return loweredText;
    const QStringView text(loweredText);
    return Joined(text.first(markdownPrefix), loweredMarkdown, text.last(markdownSuffix)).view().toString();
}

// The lowered markdown in the selection's own form where lowering keeps each code unit in place
// (the simple path of both the text and the middle), else lowered whole and compared with the
// lowered text afresh. A middle equal to the selection's shares its string.
SelectionSearchIndex::Entry SelectionSearchIndex::makeEntry(const Selection& s)
{
    Entry entry;
    std::optional<QString> simpleText = simpleSearchForm(s.text);
    const bool textIsSimple = simpleText.has_value();
    entry.loweredText = textIsSimple ? std::move(*simpleText) : generalSearchForm(s.text);
    const SelectionMarkdown& markdown = s.markdownForm();
    if (!markdown.isDifference() && sameBuffer(markdown.middle(), s.text)) {
        entry.markdownPrefix = qint32(entry.loweredText.size());
    } else if (markdown.isDifference() && textIsSimple && sameBuffer(markdown.base(), s.text)) {
        if (std::optional<QString> middle = simpleSearchForm(markdown.middle())) {
            entry.loweredMarkdown = std::move(*middle);
            entry.markdownPrefix = qint32(markdown.prefix());
            entry.markdownSuffix = qint32(markdown.suffix());
        }
    }
    if (entry.markdownPrefix == Entry::whole) {
        const QString lowered = searchForm(s.markdown());
        const SelectionMarkdown form = SelectionMarkdown::against(entry.loweredText, lowered);
        if (!form.isDifference() && sameBuffer(form.middle(), entry.loweredText)) {
            entry.markdownPrefix = qint32(entry.loweredText.size());
        } else if (form.isDifference()) {
            entry.loweredMarkdown = sameText(form.middle(), markdown.middle()) ? markdown.middle() : form.middle();
            entry.markdownPrefix = qint32(form.prefix());
            entry.markdownSuffix = qint32(form.suffix());
        } else {
            entry.loweredMarkdown = form.middle();
        }
    }
    const QChar lineFeed(u'\n');
    entry.loweredRest = searchForm(
        s.appName + lineFeed + s.sourceURL.value_or(QString()) + lineFeed + s.filePath.value_or(QString()));
    entry.grams.add(entry.loweredText);
    if (entry.markdownPrefix == Entry::whole) {
        entry.grams.add(entry.loweredMarkdown);
    } else if (!entry.markdownIsText()) {
        // Pairs and units wholly in the shared beginning or end are the text's already.
        const QStringView text(entry.loweredText);
        const qsizetype before = std::min<qsizetype>(entry.markdownPrefix, 1);
        const qsizetype after = std::min<qsizetype>(entry.markdownSuffix, 1);
        entry.grams.add(Joined(text.sliced(entry.markdownPrefix - before, before), entry.loweredMarkdown,
            text.sliced(text.size() - entry.markdownSuffix, after))
                            .view());
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
