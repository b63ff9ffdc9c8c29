#include "ZubraCore/Composition/TrigramSets.h"

#include "ZubraCore/Text/TextMetrics.h"

#include <QHash>
#include <algorithm>
#include <cmath>

namespace {

// Open-addressing map from a packed trigram of three one-unit characters to its token id.
class PackedTokenMap
{
public:
    PackedTokenMap()
        : m_keys(1 << 16, empty)
        , m_values(1 << 16, 0)
    {
    }

    int idFor(quint64 key, int& nextID)
    {
        if (2 * (m_size + 1) > m_keys.size())
            grow();
        const size_t mask = m_keys.size() - 1;
        for (size_t i = hash(key) & mask;; i = (i + 1) & mask) {
            if (m_keys[i] == key)
                return m_values[i];
            if (m_keys[i] == empty) {
                m_keys[i] = key;
                m_values[i] = nextID++;
                ++m_size;
                return m_values[i];
            }
        }
    }

private:
    static constexpr quint64 empty = ~quint64(0); // packed keys use 48 bits
    static size_t hash(quint64 key)
    {
        key ^= key >> 29;
        key *= 0xbf58476d1ce4e5b9ULL;
        key ^= key >> 32;
        return size_t(key);
    }
    void grow()
    {
        std::vector<quint64> keys(m_keys.size() * 2, empty);
        std::vector<int> values(m_keys.size() * 2, 0);
        const size_t mask = keys.size() - 1;
        for (size_t k = 0; k < m_keys.size(); ++k) {
            if (m_keys[k] == empty)
                continue;
            size_t i = hash(m_keys[k]) & mask;
            while (keys[i] != empty)
                i = (i + 1) & mask;
            keys[i] = m_keys[k];
            values[i] = m_values[k];
        }
        m_keys.swap(keys);
        m_values.swap(values);
    }

    std::vector<quint64> m_keys;
    std::vector<int> m_values;
    size_t m_size = 0;
};

enum class Kind { absent, blank, words };

struct TextSet
{
    Kind kind = Kind::absent;
    std::vector<int> tokens; // distinct; ids, later ranks ascending
};

class Tokenizer
{
public:
    std::vector<int> tokensOf(const QString& normalized)
    {
        const QString nfc = normalized.normalized(QString::NormalizationForm_C);
        const QList<qsizetype> bounds = TextMetrics::boundaries(nfc);
        const qsizetype clusters = bounds.size() - 1;
        std::vector<int> tokens;
        ++m_text;
        if (clusters < 3) {
            add(stringID(nfc), tokens);
            return tokens;
        }
        tokens.reserve(clusters - 2);
        const ushort* d = nfc.utf16();
        for (qsizetype k = 0; k + 3 <= clusters; ++k) {
            const qsizetype start = bounds[k];
            const qsizetype end = bounds[k + 3];
            if (end - start == 3) {
                const quint64 key = (quint64(d[start]) << 32) | (quint64(d[start + 1]) << 16) | quint64(d[start + 2]);
                add(m_packed.idFor(key, m_nextID), tokens);
            } else {
                add(stringID(nfc.sliced(start, end - start)), tokens);
            }
        }
        return tokens;
    }
    int tokenCount() const { return m_nextID; }

private:
    int stringID(const QString& token)
    {
        const auto it = m_strings.constFind(token);
        if (it != m_strings.cend())
            return it.value();
        m_strings.insert(token, m_nextID);
        return m_nextID++;
    }
    void add(int id, std::vector<int>& tokens)
    {
        if (size_t(id) >= m_seenIn.size())
            m_seenIn.resize(std::max<size_t>(size_t(id) + 1, m_seenIn.size() * 2), -1);
        if (m_seenIn[id] == m_text)
            return;
        m_seenIn[id] = m_text;
        tokens.push_back(id);
    }

    PackedTokenMap m_packed;
    QHash<QString, int> m_strings;
    std::vector<qint64> m_seenIn;
    qint64 m_text = 0;
    int m_nextID = 0;
};

qsizetype sharedCount(const std::vector<int>& a, const std::vector<int>& b)
{
    qsizetype shared = 0;
    auto i = a.cbegin();
    auto j = b.cbegin();
    while (i != a.cend() && j != b.cend()) {
        if (*i < *j)
            ++i;
        else if (*j < *i)
            ++j;
        else {
            ++shared;
            ++i;
            ++j;
        }
    }
    return shared;
}

} // namespace

namespace TrigramSets {

std::vector<Best> bestEarlierMatches(const QList<Dedupe::IdText>& texts, double threshold)
{
    const qsizetype n = texts.size();
    std::vector<Best> best(n);
    // No similarity exceeds 1, and only positive scores attach.
    if (!(threshold <= 1.0))
        return best;

    std::vector<TextSet> sets(n);
    Tokenizer tokenizer;
    for (qsizetype j = 0; j < n; ++j) {
        if (texts[j].second.isEmpty())
            continue;
        const QString normalized = Dedupe::normalize(texts[j].second);
        if (normalized.isEmpty()) {
            sets[j].kind = Kind::blank;
            continue;
        }
        sets[j].kind = Kind::words;
        sets[j].tokens = tokenizer.tokensOf(normalized);
    }

    // Rank tokens rarest first, so that prefixes hold the tokens that find the fewest candidates.
    const int tokenCount = tokenizer.tokenCount();
    std::vector<int> frequency(tokenCount, 0);
    for (const TextSet& s : sets) {
        for (int id : s.tokens)
            ++frequency[id];
    }
    std::vector<int> order(tokenCount);
    for (int i = 0; i < tokenCount; ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
        [&](int a, int b) { return frequency[a] != frequency[b] ? frequency[a] < frequency[b] : a < b; });
    std::vector<int> rank(tokenCount);
    for (int r = 0; r < tokenCount; ++r)
        rank[order[r]] = r;
    for (TextSet& s : sets) {
        for (int& id : s.tokens)
            id = rank[id];
        std::sort(s.tokens.begin(), s.tokens.end());
    }

    // A pair scores at least t only when each set holds at least t / (2 - t) of the other's size
    // in common; the slack keeps the filters from dropping a pair whose computed score rounds up.
    const double t = std::max(threshold, 0.0);
    const double ratio = t / (2.0 - t);
    constexpr double slack = 1e-6;
    auto minimalOverlap
        = [&](qsizetype size) { return std::max<qsizetype>(1, qsizetype(std::ceil(ratio * double(size) - slack))); };

    std::vector<std::vector<int>> index(tokenCount); // rank -> earlier texts holding it in their prefix
    std::vector<qsizetype> seenBy(n, -1);
    std::vector<int> candidates;
    qsizetype firstBlank = -1;
    for (qsizetype j = 0; j < n; ++j) {
        const TextSet& s = sets[j];
        if (s.kind == Kind::blank) {
            // Two texts that normalise to nothing score 1 against each other, 0 against the rest.
            if (firstBlank < 0)
                firstBlank = j;
            else if (1.0 >= threshold)
                best[j] = {firstBlank, 1.0};
            continue;
        }
        if (s.kind != Kind::words)
            continue;
        const qsizetype size = qsizetype(s.tokens.size());
        const qsizetype prefix = size - minimalOverlap(size) + 1;
        candidates.clear();
        for (qsizetype p = 0; p < prefix; ++p) {
            for (int i : index[s.tokens[p]]) {
                if (seenBy[i] == j)
                    continue;
                seenBy[i] = j;
                const double other = double(sets[i].tokens.size());
                if (other + slack < ratio * double(size) || double(size) + slack < ratio * other)
                    continue;
                candidates.push_back(i);
            }
        }
        std::sort(candidates.begin(), candidates.end());
        for (int i : candidates) {
            const qsizetype shared = sharedCount(sets[i].tokens, s.tokens);
            const double score = Dedupe::dice(shared, qsizetype(sets[i].tokens.size()), size);
            if (score >= threshold && score > 0 && (best[j].index < 0 || score > best[j].score))
                best[j] = {i, score};
        }
        for (qsizetype p = 0; p < prefix; ++p)
            index[s.tokens[p]].push_back(int(j));
    }
    return best;
}

} // namespace TrigramSets
