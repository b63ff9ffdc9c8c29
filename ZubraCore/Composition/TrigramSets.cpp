#include "ZubraCore/Composition/TrigramSets.h"

#include "ZubraCore/Support/ParallelChunks.h"
#include "ZubraCore/Text/TextMetrics.h"

#include <QHash>
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <initializer_list>
#include <optional>
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

// The symbols of normalised ASCII text: a to z, 0 to 9 and the space, coded 1 to 37 (0: none).
constexpr int asciiSymbols = 38;

constexpr std::array<quint8, 128> asciiSymbolCodes = [] {
    std::array<quint8, 128> codes {};
    for (int c = 'a'; c <= 'z'; ++c)
        codes[c] = quint8(1 + c - 'a');
    for (int c = 'A'; c <= 'Z'; ++c)
        codes[c] = quint8(1 + c - 'A');
    for (int c = '0'; c <= '9'; ++c)
        codes[c] = quint8(27 + c - '0');
    codes[' '] = 37;
    return codes;
}();

bool isAscii(QStringView text)
{
    const char16_t* d = text.utf16();
    const qsizetype n = text.size();
    qsizetype i = 0;
#if defined(__SSE2__)
    // Adding 0x7F80 with saturation sets a unit's top bit exactly when it is 0x80 or above.
    const __m128i bias = _mm_set1_epi16(short(0x7F80));
    for (; i + 16 <= n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i + 8));
        if (_mm_movemask_epi8(_mm_or_si128(_mm_adds_epu16(a, bias), _mm_adds_epu16(b, bias))) != 0)
            return false;
    }
#endif
    for (; i < n; ++i) {
        if (d[i] >= 0x80)
            return false;
    }
    return true;
}

// A text's trigrams as integer keys, worked out without shared state so that texts can be
// keyed on several threads: a trigram of three normalised ASCII symbols is coded by arithmetic,
// other trigrams of three one-unit characters are packed into an integer, and only the rest (and
// texts of fewer than three characters) are kept as strings, keyed by their place in `strings`.
struct TextKeys
{
    static constexpr quint64 packedTag = quint64(1) << 62;
    static constexpr quint64 stringTag = quint64(1) << 63;

    bool blank = false; // normalises to nothing
    bool tagged = false; // holds packed or string keys
    std::vector<quint64> keys; // repeats included
    QStringList strings;

    void addString(const QString& token)
    {
        keys.push_back(stringTag | quint64(strings.size()));
        strings.append(token);
        tagged = true;
    }
};

// A character of normalised text that the ASCII coding covers (upper case never occurs there).
bool isSymbol(char16_t c)
{
    return c < 0x80 && asciiSymbolCodes[c] != 0 && !(c >= 'A' && c <= 'Z');
}

QChar symbolCharacter(quint8 code)
{
    if (code <= 26)
        return QChar(u'a' + (code - 1));
    if (code <= 36)
        return QChar(u'0' + (code - 27));
    return QChar(u' ');
}

TextKeys keysOf(const QString& text)
{
    TextKeys result;
    if (isAscii(text)) {
        // Lower-casing and normalising ASCII needs no tables: letters and digits are words, every
        // other character separates them.
        std::vector<quint8> symbols;
        symbols.reserve(size_t(text.size()));
        bool pendingSpace = false;
        for (QChar ch : text) {
            const quint8 code = asciiSymbolCodes[ch.unicode()];
            if (code == 0 || code == 37) {
                pendingSpace = true;
                continue;
            }
            if (pendingSpace && !symbols.empty())
                symbols.push_back(37);
            pendingSpace = false;
            symbols.push_back(code);
        }
        const size_t n = symbols.size();
        if (n == 0) {
            result.blank = true;
        } else if (n < 3) {
            QString whole;
            for (quint8 code : symbols)
                whole.append(symbolCharacter(code));
            result.addString(whole);
        } else {
            result.keys.reserve(n - 2);
            quint64 code = symbols[0] * asciiSymbols + symbols[1];
            for (size_t k = 2; k < n; ++k) {
                code = (code % (asciiSymbols * asciiSymbols)) * asciiSymbols + symbols[k];
                result.keys.push_back(code);
            }
        }
        return result;
    }

    const QString normalized = Dedupe::normalize(text);
    if (normalized.isEmpty()) {
        result.blank = true;
        return result;
    }
    const QString nfc = normalized.normalized(QString::NormalizationForm_C);
    const QList<qsizetype> bounds = TextMetrics::boundaries(nfc);
    const qsizetype clusters = bounds.size() - 1;
    if (clusters < 3) {
        result.addString(nfc);
        return result;
    }
    result.keys.reserve(size_t(clusters - 2));
    const char16_t* d = reinterpret_cast<const char16_t*>(nfc.utf16());
    for (qsizetype k = 0; k + 3 <= clusters; ++k) {
        const qsizetype start = bounds[k];
        const qsizetype end = bounds[k + 3];
        if (end - start != 3) {
            result.addString(nfc.sliced(start, end - start));
            continue;
        }
        const char16_t a = d[start], b = d[start + 1], c = d[start + 2];
        if (isSymbol(a) && isSymbol(b) && isSymbol(c))
            result.keys.push_back((quint64(asciiSymbolCodes[a]) * asciiSymbols + asciiSymbolCodes[b]) * asciiSymbols
                + asciiSymbolCodes[c]);
        else {
            result.keys.push_back(TextKeys::packedTag | (quint64(a) << 32) | (quint64(b) << 16) | quint64(c));
            result.tagged = true;
        }
    }
    return result;
}

// Token ids: an ASCII trigram's id is its code; packed and string trigrams get the ids after
// all codes, in the order the texts are given.
class TaggedIDs
{
public:
    static constexpr int asciiCodes = asciiSymbols * asciiSymbols * asciiSymbols;

    // Replaces each tagged key of the text by its id.
    void resolve(TextKeys& text)
    {
        for (quint64& key : text.keys) {
            if (key & TextKeys::stringTag)
                key = quint64(stringID(text.strings.at(qsizetype(key & ~TextKeys::stringTag))));
            else if (key & TextKeys::packedTag)
                key = quint64(asciiCodes + m_packed.idFor(key & ~TextKeys::packedTag, m_next));
        }
        text.strings.clear();
    }
    int tokenCount() const { return asciiCodes + m_next; }

private:
    int stringID(const QString& token)
    {
        const auto it = m_strings.constFind(token);
        if (it != m_strings.cend())
            return it.value();
        m_strings.insert(token, asciiCodes + m_next);
        return asciiCodes + m_next++;
    }

    PackedTokenMap m_packed;
    QHash<QString, int> m_strings;
    int m_next = 0;
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

// Token counts per bucket (rank modulo the bucket count), at two sizes. Two sets share at most
// the sum over the buckets of the smaller count: a bound that costs a pass over the buckets
// instead of a merge. The coarse rows (at most 256 buckets) already rule out nearly every pair
// that cannot reach the threshold; the fine ones (about one token per bucket) settle the rest.
class BucketCounts
{
    static constexpr qsizetype maxBytes = qsizetype(64) << 20;

    struct Level
    {
        qsizetype buckets = 0;
        std::vector<quint8> counts;

        const quint8* row(qsizetype text) const { return counts.data() + size_t(text * buckets); }
        quint8* row(qsizetype text) { return counts.data() + size_t(text * buckets); }
    };

public:
    BucketCounts(qsizetype texts, qsizetype averageSize)
    {
        qsizetype fine = 64;
        while (fine < 4096 && fine * 2 <= averageSize && texts * fine * 2 <= maxBytes)
            fine *= 2;
        m_fine.buckets = fine;
        m_coarse.buckets = std::min<qsizetype>(fine, 256);
        m_fine.counts.assign(size_t(texts * m_fine.buckets), 0);
        m_coarse.counts.assign(size_t(texts * m_coarse.buckets), 0);
        m_exact.assign(size_t(texts), 1);
    }

    // Texts may be filled on several threads, each text by one.
    void fill(qsizetype text, const std::vector<int>& tokens)
    {
        for (Level* level : {&m_fine, &m_coarse}) {
            quint8* counts = level->row(text);
            for (int rank : tokens) {
                quint8& c = counts[size_t(rank) & size_t(level->buckets - 1)];
                if (c == 255)
                    m_exact[size_t(text)] = 0; // saturated: no bound for this text
                else
                    ++c;
            }
        }
    }

    // An upper bound of the shared tokens, below `needed` whenever one of the two levels gives
    // one; -1 when there is none to give.
    qsizetype bound(qsizetype a, qsizetype b, qsizetype needed) const
    {
        if (!m_exact[size_t(a)] || !m_exact[size_t(b)])
            return -1;
        const qsizetype coarse = sumOfMinima(m_coarse, a, b);
        if (coarse < needed || m_coarse.buckets == m_fine.buckets)
            return coarse;
        return sumOfMinima(m_fine, a, b);
    }

private:
    static qsizetype sumOfMinima(const Level& level, qsizetype a, qsizetype b)
    {
        const quint8* x = level.row(a);
        const quint8* y = level.row(b);
#if defined(__SSE2__)
        __m128i sum = _mm_setzero_si128();
        for (qsizetype k = 0; k < level.buckets; k += 16) {
            const __m128i lo = _mm_min_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(x + k)),
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + k)));
            sum = _mm_add_epi64(sum, _mm_sad_epu8(lo, _mm_setzero_si128()));
        }
        return qsizetype(_mm_cvtsi128_si64(sum)) + qsizetype(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sum, sum)));
#else
        qsizetype total = 0;
        for (qsizetype k = 0; k < level.buckets; ++k)
            total += std::min(x[k], y[k]);
        return total;
#endif
    }

    Level m_fine;
    Level m_coarse;
    std::vector<quint8> m_exact; // bytes, not bits: texts are filled on several threads
};

using TrigramSets::Best;

// Every text's distinct tokens as ids, and the number of texts holding each id.
struct TokenSets
{
    std::vector<TextSet> sets;
    std::vector<int> frequency; // by id
    int tokenCount = 0;
};

// A text's distinct ids in order of first occurrence, each counted once in `frequency`.
TextSet distinctTokens(const TextKeys& keys, std::vector<int>& frequency)
{
    TextSet set;
    if (keys.blank) {
        set.kind = Kind::blank;
        return set;
    }
    set.kind = Kind::words;
    set.tokens.reserve(keys.keys.size());
    for (quint64 key : keys.keys) {
        // A first occurrence in this text counts; the mark says it has been counted.
        int& f = frequency[size_t(key)];
        if (f >= 0) {
            set.tokens.push_back(int(key));
            f = -f - 1;
        }
    }
    for (int id : set.tokens)
        frequency[size_t(id)] = -frequency[size_t(id)] - 1 + 1;
    return set;
}

// Keys on several threads; ids for the few packed and string trigrams in input order; then each
// text's distinct ids and their frequencies on several threads again.
TokenSets tokenSetsOf(const QList<Dedupe::IdText>& texts)
{
    const qsizetype n = texts.size();
    TokenSets result;
    result.sets.resize(size_t(n));
    std::vector<TextKeys> keys(static_cast<size_t>(n));
    const int chunks = ParallelChunks::chunkCount(n, 64);
    ParallelChunks::run(n, chunks, [&](int, qsizetype begin, qsizetype end) {
        for (qsizetype j = begin; j < end; ++j) {
            if (!texts[j].second.isEmpty())
                keys[size_t(j)] = keysOf(texts[j].second);
        }
    });
    TaggedIDs tagged;
    for (TextKeys& k : keys) {
        if (k.tagged)
            tagged.resolve(k);
    }
    result.tokenCount = tagged.tokenCount();
    std::vector<std::vector<int>> chunkFrequency(static_cast<size_t>(chunks));
    ParallelChunks::run(n, chunks, [&](int chunk, qsizetype begin, qsizetype end) {
        std::vector<int>& frequency = chunkFrequency[size_t(chunk)];
        frequency.assign(size_t(result.tokenCount), 0);
        for (qsizetype j = begin; j < end; ++j) {
            if (texts[j].second.isEmpty())
                continue;
            result.sets[size_t(j)] = distinctTokens(keys[size_t(j)], frequency);
            keys[size_t(j)] = TextKeys();
        }
    });
    result.frequency.assign(size_t(result.tokenCount), 0);
    for (const std::vector<int>& part : chunkFrequency) {
        for (size_t id = 0; id < part.size(); ++id)
            result.frequency[id] += part[id];
    }
    return result;
}

// Tokens ranked rarest first, so that prefixes hold the tokens that find the fewest candidates.
struct Ranking
{
    std::vector<int> rank; // by id
    std::vector<int> frequency; // by rank
    int usedCount = 0; // ids that some text holds
};

// A counting sort on frequency, ties by id; ids that no text holds come first and get no rank.
Ranking rankRarestFirst(const std::vector<int>& frequency)
{
    const int tokenCount = int(frequency.size());
    int maxFrequency = 0;
    for (int f : frequency)
        maxFrequency = std::max(maxFrequency, f);
    std::vector<int> firstOfFrequency(size_t(maxFrequency) + 2, 0);
    for (int f : frequency)
        ++firstOfFrequency[size_t(f) + 1];
    for (size_t f = 1; f < firstOfFrequency.size(); ++f)
        firstOfFrequency[f] += firstOfFrequency[f - 1];
    const int unused = firstOfFrequency[1];
    Ranking ranking;
    ranking.usedCount = tokenCount - unused;
    ranking.rank.resize(size_t(tokenCount));
    for (int id = 0; id < tokenCount; ++id)
        ranking.rank[size_t(id)] = firstOfFrequency[size_t(frequency[size_t(id)])]++ - unused;
    ranking.frequency.assign(size_t(ranking.usedCount), 0);
    for (int id = 0; id < tokenCount; ++id) {
        if (frequency[size_t(id)] > 0)
            ranking.frequency[size_t(ranking.rank[size_t(id)])] = frequency[size_t(id)];
    }
    return ranking;
}

// Each set rewritten as sorted ranks, the sets shared out among threads. A set's ranks come out
// sorted from a bitmap of all ranks: a pass over its words costs less than sorting.
void rewriteAsRanks(std::vector<TextSet>& sets, const Ranking& ranking)
{
    const qsizetype n = qsizetype(sets.size());
    const int usedCount = ranking.usedCount;
    ParallelChunks::run(n, ParallelChunks::chunkCount(n, 64), [&](int, qsizetype begin, qsizetype end) {
        std::vector<quint64> marks((size_t(usedCount) + 63) / 64, 0);
        for (qsizetype j = begin; j < end; ++j) {
            std::vector<int>& tokens = sets[size_t(j)].tokens;
            if (tokens.empty())
                continue;
            int low = usedCount;
            int high = 0;
            for (int id : tokens) {
                const int r = ranking.rank[size_t(id)];
                marks[size_t(r) / 64] |= quint64(1) << (r % 64);
                low = std::min(low, r);
                high = std::max(high, r);
            }
            tokens.clear();
            for (size_t word = size_t(low) / 64; word <= size_t(high) / 64; ++word) {
                for (quint64 bits = marks[word]; bits; bits &= bits - 1)
                    tokens.push_back(int(word * 64) + std::countr_zero(bits));
                marks[word] = 0;
            }
        }
    });
}

// A pair scores at least t only when it shares at least t * (|A| + |B|) / 2 tokens, and so each
// set holds at least t / (2 - t) of the other's size in common. The slack keeps every filter from
// dropping a pair whose computed score rounds up to the threshold.
class OverlapBounds
{
public:
    explicit OverlapBounds(double threshold)
        : m_t(std::max(threshold, 0.0))
        , m_ratio(m_t / (2.0 - m_t))
    {
    }

    // Whether sets of these sizes can score the threshold at all.
    bool sizesFit(qsizetype a, qsizetype b) const
    {
        return !(double(a) + slack < m_ratio * double(b) || double(b) + slack < m_ratio * double(a));
    }
    qsizetype needed(qsizetype a, qsizetype b) const
    {
        return std::max<qsizetype>(1, qsizetype(std::ceil(m_t * double(a + b) / 2.0 - slack)));
    }
    // Two sets that share enough tokens share one among this many first tokens of each.
    qsizetype prefix(qsizetype size) const { return size - minimal(size) + 1; }

private:
    static constexpr double slack = 1e-6;

    qsizetype minimal(qsizetype size) const
    {
        return std::max<qsizetype>(1, qsizetype(std::ceil(m_ratio * double(size) - slack)));
    }

    double m_t;
    double m_ratio;
};

BucketCounts bucketsOf(const std::vector<TextSet>& sets)
{
    const qsizetype n = qsizetype(sets.size());
    qsizetype words = 0;
    qsizetype totalSize = 0;
    for (const TextSet& s : sets) {
        if (s.kind == Kind::words) {
            ++words;
            totalSize += qsizetype(s.tokens.size());
        }
    }
    BucketCounts buckets(n, words ? totalSize / words : 0);
    ParallelChunks::run(n, ParallelChunks::chunkCount(n, 64), [&](int, qsizetype begin, qsizetype end) {
        for (qsizetype j = begin; j < end; ++j)
            buckets.fill(j, sets[size_t(j)].tokens);
    });
    return buckets;
}

// Two texts that normalise to nothing score 1 against each other, 0 against the rest: every
// blank text after the first attaches to the first.
void attachBlanks(const std::vector<TextSet>& sets, double threshold, std::vector<Best>& best)
{
    qsizetype firstBlank = -1;
    for (size_t j = 0; j < sets.size(); ++j) {
        if (sets[j].kind != Kind::blank)
            continue;
        if (firstBlank < 0)
            firstBlank = qsizetype(j);
        else if (1.0 >= threshold)
            best[j] = {firstBlank, 1.0};
    }
}

// The positions of the texts with words, ascending.
std::vector<int> wordTextsOf(const std::vector<TextSet>& sets)
{
    std::vector<int> wordTexts;
    for (size_t j = 0; j < sets.size(); ++j) {
        if (sets[j].kind == Kind::words)
            wordTexts.push_back(int(j));
    }
    return wordTexts;
}

// Prefix filter: two sets that share enough tokens share one among the first prefix(size) of each
// (rarest first). The index maps a token to the texts holding it in that prefix, in ascending
// order, so that a text reads the earlier ones as a head of each list. A text probes it only when
// the prefix's tokens are rare enough that this costs less than looking at every earlier text
// (judged from their frequencies, which bound the lists); otherwise every earlier text is a
// candidate. Without a text that probes there is no index to build.
struct PrefixIndex
{
    std::vector<quint8> probes; // by position in the word texts
    std::vector<std::vector<int>> lists; // by rank
};

PrefixIndex prefixIndexOf(const std::vector<TextSet>& sets, const std::vector<int>& wordTexts,
    const Ranking& ranking, const OverlapBounds& overlap)
{
    PrefixIndex index;
    index.probes.assign(wordTexts.size(), 0);
    bool anyProbes = false;
    for (size_t w = 0; w < wordTexts.size(); ++w) {
        const std::vector<int>& tokens = sets[size_t(wordTexts[w])].tokens;
        const qsizetype prefix = overlap.prefix(qsizetype(tokens.size()));
        size_t cost = 0;
        for (qsizetype p = 0; p < prefix && cost < w; ++p)
            cost += size_t(ranking.frequency[size_t(tokens[size_t(p)])]);
        index.probes[w] = cost < w;
        anyProbes = anyProbes || index.probes[w];
    }
    if (!anyProbes)
        return index;
    index.lists.resize(size_t(ranking.usedCount));
    for (int j : wordTexts) {
        const std::vector<int>& tokens = sets[size_t(j)].tokens;
        const qsizetype prefix = overlap.prefix(qsizetype(tokens.size()));
        for (qsizetype p = 0; p < prefix; ++p)
            index.lists[size_t(tokens[size_t(p)])].push_back(j);
    }
    return index;
}

// Each text's best earlier match depends on nothing but the sets, so blocks of texts are shared
// out among threads, interleaved because later texts have more earlier ones to look at. A text
// whose prefix finds few candidates looks at those; the others of a block look at every earlier
// text together, a tile of earlier texts at a time, so that the bucket rows of both stay in the
// cache.
class EarlierMatchSearch
{
public:
    EarlierMatchSearch(const std::vector<TextSet>& sets, const std::vector<int>& wordTexts,
        const OverlapBounds& overlap, const BucketCounts& buckets, const PrefixIndex& index, double threshold)
        : m_sets(sets)
        , m_wordTexts(wordTexts)
        , m_overlap(overlap)
        , m_buckets(buckets)
        , m_index(index)
        , m_threshold(threshold)
    {
    }

    void run(std::vector<Best>& best) const
    {
        const size_t blocks = (m_wordTexts.size() + blockTexts - 1) / blockTexts;
        const int chunks = ParallelChunks::chunkCount(qsizetype(m_wordTexts.size()), 256);
        ParallelChunks::run(chunks, chunks, [&](int chunk, qsizetype, qsizetype) {
            Scratch scratch(m_sets.size());
            for (size_t block = size_t(chunk); block < blocks; block += size_t(chunks))
                searchBlock(block, scratch, best);
        });
    }

private:
    static constexpr size_t blockTexts = 32;
    static constexpr size_t tileTexts = 64;

    // One thread's working space, reused from block to block.
    struct Scratch
    {
        explicit Scratch(size_t texts)
            : seenBy(texts, -1)
        {
        }
        std::vector<qsizetype> seenBy; // the text that last took each text as a candidate
        std::vector<int> candidates;
        std::vector<size_t> everyEarlier; // positions in the word texts of the block's texts that look at all
    };

    void searchBlock(size_t block, Scratch& scratch, std::vector<Best>& best) const
    {
        const size_t first = block * blockTexts;
        const size_t last = std::min(m_wordTexts.size(), first + blockTexts);
        scratch.everyEarlier.clear();
        for (size_t w = first; w < last; ++w) {
            if (m_index.probes[w])
                best[size_t(m_wordTexts[w])] = probe(m_wordTexts[w], scratch);
            else
                scratch.everyEarlier.push_back(w);
        }
        if (!scratch.everyEarlier.empty())
            scanEveryEarlier(scratch.everyEarlier, best);
    }

    // The best match among the earlier texts that share a token of text j's prefix.
    Best probe(int j, Scratch& scratch) const
    {
        const std::vector<int>& tokens = m_sets[size_t(j)].tokens;
        const qsizetype prefix = m_overlap.prefix(qsizetype(tokens.size()));
        scratch.candidates.clear();
        for (qsizetype p = 0; p < prefix; ++p) {
            for (int i : m_index.lists[size_t(tokens[size_t(p)])]) {
                if (i >= j)
                    break;
                if (scratch.seenBy[size_t(i)] != j) {
                    scratch.seenBy[size_t(i)] = j;
                    scratch.candidates.push_back(i);
                }
            }
        }
        Best found;
        for (int i : scratch.candidates)
            consider(i, j, found);
        return found;
    }

    // The best match of each of these texts among all earlier texts, a tile at a time.
    void scanEveryEarlier(const std::vector<size_t>& everyEarlier, std::vector<Best>& best) const
    {
        std::vector<Best> found(everyEarlier.size());
        for (size_t tile = 0; tile < everyEarlier.back(); tile += tileTexts) {
            for (size_t e = 0; e < everyEarlier.size(); ++e) {
                const size_t w = everyEarlier[e];
                const size_t end = std::min(w, tile + tileTexts);
                for (size_t k = tile; k < end; ++k)
                    consider(m_wordTexts[k], m_wordTexts[w], found[e]);
            }
        }
        for (size_t e = 0; e < everyEarlier.size(); ++e)
            best[size_t(m_wordTexts[everyEarlier[e]])] = found[e];
    }

    // Scores one pair into the best match found so far for the later text.
    void consider(int i, int j, Best& found) const
    {
        const std::vector<int>& later = m_sets[size_t(j)].tokens;
        const std::vector<int>& earlier = m_sets[size_t(i)].tokens;
        const qsizetype size = qsizetype(later.size());
        const qsizetype other = qsizetype(earlier.size());
        if (!m_overlap.sizesFit(other, size))
            return;
        const qsizetype needed = m_overlap.needed(other, size);
        const qsizetype bound = m_buckets.bound(i, j, needed);
        if (bound >= 0 && bound < needed)
            return;
        const qsizetype shared = sharedAtLeast(earlier, later, needed);
        if (shared < 0)
            return;
        const double score = Dedupe::dice(shared, other, size);
        // Pairs come in no particular order: of equal scores the earliest text wins.
        if (score >= m_threshold && score > 0
            && (found.index < 0 || score > found.score || (score == found.score && i < found.index)))
            found = {i, score};
    }

    const std::vector<TextSet>& m_sets;
    const std::vector<int>& m_wordTexts;
    const OverlapBounds& m_overlap;
    const BucketCounts& m_buckets;
    const PrefixIndex& m_index;
    double m_threshold;
};

} // namespace

namespace TrigramSets {

std::vector<Best> bestEarlierMatches(const QList<Dedupe::IdText>& texts, double threshold)
{
    std::vector<Best> best(size_t(texts.size()));
    // No similarity exceeds 1, and only positive scores attach.
    if (!(threshold <= 1.0))
        return best;

    TokenSets tokens = tokenSetsOf(texts);
    const Ranking ranking = rankRarestFirst(tokens.frequency);
    rewriteAsRanks(tokens.sets, ranking);
    const std::vector<TextSet>& sets = tokens.sets;

    const OverlapBounds overlap(threshold);
    const BucketCounts buckets = bucketsOf(sets);
    attachBlanks(sets, threshold, best);
    const std::vector<int> wordTexts = wordTextsOf(sets);
    const PrefixIndex index = prefixIndexOf(sets, wordTexts, ranking, overlap);
    EarlierMatchSearch(sets, wordTexts, overlap, buckets, index, threshold).run(best);
    return best;
}

} // namespace TrigramSets
