// The near-duplicate join as it stood before integer-coded trigram sets: the benchmark's baseline.
#include "PreviousDedupe.h"

#include "ZubraCore/Text/TextMetrics.h"

#include <QHash>
#include <algorithm>
#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The number of shared tokens of two ascending lists, or -1 as soon as fewer than `needed` remain
// possible.
qsizetype sharedAtLeast(const std::vector<int>& a, const std::vector<int>& b, qsizetype needed)
{
    qsizetype shared = 0;
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (shared + qsizetype(std::min(a.size() - i, b.size() - j)) < needed)
            return -1;
        if (a[i] < b[j]) {
            ++i;
        } else if (b[j] < a[i]) {
            ++j;
        } else {
            ++shared;
            ++i;
            ++j;
        }
    }
    return shared >= needed ? shared : -1;
}

// Token counts per bucket (rank modulo the bucket count). Two sets share at most the sum over the
// buckets of the smaller count, a bound that costs a pass over the buckets instead of a merge.
class BucketCounts
{
    static constexpr qsizetype maxBytes = qsizetype(64) << 20;

public:
    BucketCounts(qsizetype texts, qsizetype averageSize)
    {
        m_buckets = 64;
        while (m_buckets < 4096 && m_buckets * 2 <= averageSize && texts * m_buckets * 2 <= maxBytes)
            m_buckets *= 2;
        m_counts.assign(size_t(texts * m_buckets), 0);
        m_exact.assign(size_t(texts), true);
    }

    void fill(qsizetype text, const std::vector<int>& tokens)
    {
        quint8* counts = row(text);
        for (int rank : tokens) {
            quint8& c = counts[size_t(rank) & size_t(m_buckets - 1)];
            if (c == 255)
                m_exact[text] = false; // saturated: no bound for this text
            else
                ++c;
        }
    }

    // An upper bound of the shared tokens, or -1 when there is none to give.
    qsizetype bound(qsizetype a, qsizetype b) const
    {
        if (!m_exact[a] || !m_exact[b])
            return -1;
        const quint8* x = row(a);
        const quint8* y = row(b);
#if defined(__SSE2__)
        __m128i sum = _mm_setzero_si128();
        for (qsizetype k = 0; k < m_buckets; k += 16) {
            const __m128i lo = _mm_min_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(x + k)),
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + k)));
            sum = _mm_add_epi64(sum, _mm_sad_epu8(lo, _mm_setzero_si128()));
        }
        return qsizetype(_mm_cvtsi128_si64(sum)) + qsizetype(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sum, sum)));
#else
        qsizetype total = 0;
        for (qsizetype k = 0; k < m_buckets; ++k)
            total += std::min(x[k], y[k]);
        return total;
#endif
    }

private:
    quint8* row(qsizetype text)
    {
        return m_counts.data() + size_t(text * m_buckets);
    }
    const quint8* row(qsizetype text) const
    {
        return m_counts.data() + size_t(text * m_buckets);
    }

    qsizetype m_buckets = 64;
    std::vector<quint8> m_counts;
    std::vector<bool> m_exact;
};

} // namespace

namespace PreviousDedupe {

std::vector<TrigramSets::Best> bestEarlierMatches(const QList<Dedupe::IdText>& texts, double threshold)
{
    const qsizetype n = texts.size();
    std::vector<TrigramSets::Best> best(n);
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

    // A pair scores at least t only when it shares at least t * (|A| + |B|) / 2 tokens, and so each
    // set holds at least t / (2 - t) of the other's size in common. The slack keeps every filter from
    // dropping a pair whose computed score rounds up to the threshold.
    const double t = std::max(threshold, 0.0);
    const double ratio = t / (2.0 - t);
    constexpr double slack = 1e-6;
    auto minimalOverlap
        = [&](qsizetype size) { return std::max<qsizetype>(1, qsizetype(std::ceil(ratio * double(size) - slack))); };
    auto neededOverlap = [&](qsizetype a, qsizetype b) {
        return std::max<qsizetype>(1, qsizetype(std::ceil(t * double(a + b) / 2.0 - slack)));
    };

    qsizetype words = 0;
    qsizetype totalSize = 0;
    for (const TextSet& s : sets) {
        if (s.kind == Kind::words) {
            ++words;
            totalSize += qsizetype(s.tokens.size());
        }
    }
    BucketCounts buckets(n, words ? totalSize / words : 0);
    for (qsizetype j = 0; j < n; ++j)
        buckets.fill(j, sets[j].tokens);

    // Prefix filter: two sets that share enough tokens share one among the first
    // size - minimalOverlap(size) + 1 of each (rarest first). The index maps a token to the earlier
    // texts holding it in that prefix; when probing it would cost more than looking at every earlier
    // text, every earlier text is a candidate.
    std::vector<std::vector<int>> index(tokenCount);
    std::vector<qsizetype> seenBy(n, -1);
    std::vector<int> earlierWords;
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
        size_t probeCost = 0;
        for (qsizetype p = 0; p < prefix; ++p)
            probeCost += index[s.tokens[p]].size();
        const std::vector<int>* toCheck = &earlierWords;
        if (probeCost < earlierWords.size()) {
            candidates.clear();
            for (qsizetype p = 0; p < prefix; ++p) {
                for (int i : index[s.tokens[p]]) {
                    if (seenBy[i] != j) {
                        seenBy[i] = j;
                        candidates.push_back(i);
                    }
                }
            }
            std::sort(candidates.begin(), candidates.end());
            toCheck = &candidates;
        }
        for (int i : *toCheck) {
            const qsizetype other = qsizetype(sets[i].tokens.size());
            if (double(other) + slack < ratio * double(size) || double(size) + slack < ratio * double(other))
                continue;
            const qsizetype needed = neededOverlap(other, size);
            const qsizetype bound = buckets.bound(i, j);
            if (bound >= 0 && bound < needed)
                continue;
            const qsizetype shared = sharedAtLeast(sets[i].tokens, s.tokens, needed);
            if (shared < 0)
                continue;
            const double score = Dedupe::dice(shared, other, size);
            if (score >= threshold && score > 0 && (best[j].index < 0 || score > best[j].score))
                best[j] = {i, score};
        }
        for (qsizetype p = 0; p < prefix; ++p)
            index[s.tokens[p]].push_back(int(j));
        earlierWords.push_back(int(j));
    }
    return best;
}

} // namespace PreviousDedupe
